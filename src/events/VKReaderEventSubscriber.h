#pragma once
// Tells a dialog about one kind of card or reader event: posts the message
// with a heap copy of the reader name in lParam (0 for a null record). The
// receiving window owns the copy and releases it with FreeReaderName; a copy
// that cannot be posted is released here. The copies handed out are kept
// track of, so a forged message's lParam is never taken for one.
#include "SecStr.h"
#include "afxwin.h"
#include "base/VelkorExports.h"
#include "vkevtsub.h"

class VKGUI_CLASS VKReaderEventSubscriber : public VKDelegateSubscriber {
public:
    VKReaderEventSubscriber(CWnd* dialog, UINT message, int eventKind);
    ~VKReaderEventSubscriber() override;
    void HandleEvent(const VKEventRecord* record) override;

    // The reader name a message carries in lParam, or null when lParam is
    // not a name a subscriber posted (a forged message's value).
    static const CSecStr* PeekReaderName(LPARAM readerName);
    // Releases a reader name received in lParam (0 is allowed). A value no
    // subscriber posted is left alone.
    static void FreeReaderName(LPARAM readerName);
    // Releases the reader names still waiting in `window`'s queue for
    // `message`. Call it once the subscribers are gone, before the window is:
    // a message left in the queue of a destroyed window is lost with its copy.
    static void FreeQueuedReaderNames(HWND window, UINT message);
    // Copies handed out and not yet released, in the whole process.
    static long LiveCopies();

private:
    CWnd* m_pDialog;
    UINT m_uMessage;
};
