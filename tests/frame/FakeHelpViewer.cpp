// fake_hhctrl.dll: stands in for the HTML Help viewer in the help tests. It
// records each request instead of opening a window; the tests register it
// as the viewer's in-process server and read the record back.
#include "FakeHelpViewer.h"

namespace {

HelpRequests g_requests = {};

} // namespace

extern "C" HWND WINAPI HtmlHelpW(HWND, const wchar_t* file, UINT command, DWORD_PTR data)
{
    ++g_requests.count;
    lstrcpynW(g_requests.file, file ? file : L"(null)", MAX_PATH);
    g_requests.command = command;
    g_requests.data = data;
    return nullptr;
}

extern "C" const HelpRequests* RecordedHelpRequests()
{
    return &g_requests;
}
