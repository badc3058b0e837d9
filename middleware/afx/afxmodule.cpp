#include "afxwin.h"

#include <algorithm>
#include <vector>

namespace {

// The framework is a module of its own: the instance it speaks of is the
// process's program, whose resources come first until a caller switches.
HINSTANCE ThisModule()
{
    return GetModuleHandleW(nullptr);
}

HINSTANCE g_resourceHandle = nullptr;
bool g_resourceHandleSet = false;
std::vector<CDynLinkLibrary*>& ExtensionLibraries()
{
    static std::vector<CDynLinkLibrary*> libraries;
    return libraries;
}

} // namespace

HINSTANCE AfxGetInstanceHandle()
{
    return ThisModule();
}

HINSTANCE AfxGetResourceHandle()
{
    return g_resourceHandleSet ? g_resourceHandle : ThisModule();
}

void AfxSetResourceHandle(HINSTANCE instance)
{
    g_resourceHandle = instance;
    g_resourceHandleSet = true;
}

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module)
{
    if (!module)
        return FALSE;
    if (state.bInitialized)
        return TRUE;
    state.hModule = module;
    state.hResource = module;
    state.bInitialized = TRUE;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL deleteAll)
{
    if (!state.bInitialized)
        return;
    // The libraries made over this module go with it; with deleteAll every
    // library on the chain does.
    auto& libraries = ExtensionLibraries();
    std::vector<CDynLinkLibrary*> doomed;
    for (CDynLinkLibrary* library : libraries)
        if (deleteAll || library->m_hModule == state.hModule)
            doomed.push_back(library);
    for (CDynLinkLibrary* library : doomed)
        delete library;
    state.bInitialized = FALSE;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state)
    : m_hModule(state.hModule), m_hResource(state.hResource)
{
    ExtensionLibraries().push_back(this);
}

CDynLinkLibrary::~CDynLinkLibrary()
{
    auto& libraries = ExtensionLibraries();
    libraries.erase(std::remove(libraries.begin(), libraries.end(), this), libraries.end());
}

HINSTANCE AfxFindResourceHandle(LPCWSTR id, LPCWSTR type)
{
    HINSTANCE current = AfxGetResourceHandle();
    if (current && FindResourceW(current, id, type))
        return current;
    for (CDynLinkLibrary* library : ExtensionLibraries())
        if (library->m_hResource && FindResourceW(library->m_hResource, id, type))
            return library->m_hResource;
    return current;
}

size_t AfxGetExtensionLibraryCount()
{
    return ExtensionLibraries().size();
}

int AfxLoadString(UINT id, wchar_t* buffer, int bufferChars)
{
    if (!buffer || bufferChars <= 0)
        return 0;
    buffer[0] = L'\0';
    // Strings live in blocks of sixteen, the block numbered from one.
    HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCEW((id >> 4) + 1), MAKEINTRESOURCEW(6) /* RT_STRING */);
    if (!module)
        return 0;
    int length = LoadStringW(module, id, buffer, bufferChars);
    if (length <= 0) {
        buffer[0] = L'\0';
        return 0;
    }
    return length;
}
