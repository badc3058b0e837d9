#pragma once
// Loads the library as the middleware does (LoadLibrary, exports looked up by
// name) and unloads it again, so that every test sees a fresh attach and
// ends with a detach.
#include "Fixtures.h"
#include "vklogu.h"

#include <gtest/gtest.h>

#include <string>

class LibraryLoader {
public:
    explicit LibraryLoader(const std::wstring& path = BinDirectory() + L"vk.velkor.gui.dll")
        : m_hModule(LoadLibraryW(path.c_str()))
    {
    }
    ~LibraryLoader() { Unload(); }
    LibraryLoader(const LibraryLoader&) = delete;
    LibraryLoader& operator=(const LibraryLoader&) = delete;

    HMODULE Handle() const { return m_hModule; }
    void Unload()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }

    template <class Function>
    Function Get(const char* name) const
    {
        return m_hModule ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(m_hModule, name))) : nullptr;
    }

private:
    HMODULE m_hModule;
};

using GetErrorStringFn = const wchar_t*(__cdecl*)(int);
using FreeGetPinBufferFn = void(__cdecl*)(void*, unsigned int);
using SetPinPromptStringFn = void(__cdecl*)(const wchar_t*);
using DisplayLastPINTryFn = int(__cdecl*)(const wchar_t*);
using VoidFn = void(__cdecl*)();
