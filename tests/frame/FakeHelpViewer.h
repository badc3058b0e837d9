#pragma once
// What the stand-in help viewer (fake_hhctrl.dll) was asked, as its
// RecordedHelpRequests export hands it out.
#include <windows.h>

struct HelpRequests {
    int count;                // requests so far
    wchar_t file[MAX_PATH];   // the last request's
    UINT command;
    DWORD_PTR data;
};
