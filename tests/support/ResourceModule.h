#pragma once
// A resource module the build put in Resources\<folder>, loaded as data
// apart from the library: the texts and templates the library should show.
#include "Fixtures.h"

#include <windows.h>

#include <string>

class ResourceModule {
public:
    explicit ResourceModule(const std::wstring& folder = L"", const std::wstring& name = L"vk.velkor.gui.pinrc.dll")
        : m_hModule(LoadLibraryExW((BinDirectory() + L"Resources\\" + folder + name).c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~ResourceModule()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;

    HMODULE Handle() const { return m_hModule; }
    // String `id`; empty for 0 and for a string the module lacks.
    std::wstring Text(UINT id) const { return id && m_hModule ? ResourceString(m_hModule, id) : std::wstring(); }

private:
    HMODULE m_hModule;
};
