#pragma once
// The stand-in help viewer (fake_hhctrl.dll, tests/frame/FakeHelpViewer.cpp)
// registered as the HTML Help viewer while this lives, and what the library
// asked of it. A test program that uses it depends on fake_hhctrl.
#include "../frame/FakeHelpViewer.h"
#include "Fixtures.h"

class HelpViewerStandIn {
public:
    HelpViewerStandIn()
    {
        m_registry.SetString(L"Software\\Classes\\CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", L"",
                             BinDirectory() + L"fake_hhctrl.dll");
    }
    // The requests so far; null until the library has loaded the viewer.
    const HelpRequests* Recorded() const
    {
        using Recorder = const HelpRequests*(__cdecl*)();
        HMODULE viewer = GetModuleHandleW(L"fake_hhctrl.dll");
        auto recorder = viewer ? reinterpret_cast<Recorder>(reinterpret_cast<void (*)()>(
                                     GetProcAddress(viewer, "RecordedHelpRequests")))
                               : nullptr;
        return recorder ? recorder() : nullptr;
    }

private:
    RegistryFixture m_registry;
};
