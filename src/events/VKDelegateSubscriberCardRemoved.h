#pragma once
// Posts a message to a window when a card leaves its reader: the one reader
// named at construction (compared without regard to case), or any reader
// when the name is empty. The window is not owned.
#include "SecStr.h"
#include "afxwin.h"
#include "base/VelkorExports.h"
#include "vkevtsub.h"

class VKGUI_CLASS VKDelegateSubscriberCardRemoved : public VKDelegateSubscriber {
public:
    VKDelegateSubscriberCardRemoved(CWnd* target, UINT message, const wchar_t* readerName);
    ~VKDelegateSubscriberCardRemoved() override;
    void HandleEvent(const VKEventRecord* record) override;

private:
    CWnd* m_pTarget;
    UINT m_uMessage;
    CSecStr m_sReaderName;
};
