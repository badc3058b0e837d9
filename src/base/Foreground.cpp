#include "base/Foreground.h"

#include "base/Log.h"

bool TakeForeground(HWND window)
{
    if (!window || !::IsWindow(window))
        return false;
    // A page placed inside a dialog brings its dialog.
    window = ::GetAncestor(window, GA_ROOT);
    if (::GetForegroundWindow() == window)
        return true;
    if (::SetForegroundWindow(window) && ::GetForegroundWindow() == window)
        return true;
    // Windows grants the foreground only to the process that holds it, or to
    // one that process allowed (AllowSetForegroundWindow, which only it can
    // call: our caller's process has no say there). Sharing the input state
    // of the foreground window's thread for the length of the request makes
    // it come from the foreground's own queue, which is granted. The input is
    // detached at once, so that a foreground thread that stops answering
    // never holds ours afterwards. Wine grants any request, so there the
    // first attempt above already succeeded.
    HWND foreground = ::GetForegroundWindow();
    const DWORD ownThread = ::GetCurrentThreadId();
    const DWORD foregroundThread = foreground ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
    const bool attached =
        foregroundThread && foregroundThread != ownThread && ::AttachThreadInput(ownThread, foregroundThread, TRUE);
    ::BringWindowToTop(window);
    ::SetForegroundWindow(window);
    if (attached)
        ::AttachThreadInput(ownThread, foregroundThread, FALSE);
    // Wine leaves no foreground window at all once the inputs part; with
    // none in front, any process may take it.
    if (!::GetForegroundWindow())
        ::SetForegroundWindow(window);
    const bool inFront = ::GetForegroundWindow() == window;
    if (!inFront)
        vklogLog(kGuiTag, VKLOG_ERROR, L"TakeForeground: window %x could not take the foreground from %x",
                 HandleBits(window), HandleBits(::GetForegroundWindow()));
    return inFront;
}

void BringToFront(HWND window)
{
    TakeForeground(window);
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}
