#pragma once
// VKDetectCardRemovedDlg: a dialog bound to one reader. From its
// initialization to its destruction it holds a card-removed subscriber, and
// it ends with IDCANCEL when the card leaves that reader.
#include "SecStr.h"
#include "events/VKActivatedDlg.h"

#include <memory>

class VKDelegateSubscriberCardRemoved;

class VKGUI_CLASS VKDetectCardRemovedDlg : public CVKActivatedDlg {
public:
    VKDetectCardRemovedDlg(UINT templateId, CWnd* parent, const wchar_t* readerName);
    ~VKDetectCardRemovedDlg() override;

protected:
    BOOL OnInitDialog() override;
    void OnDestroy() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    virtual LRESULT OnCardEvent(WPARAM wParam, LPARAM lParam);
    void StopDetectingRemoveEvent();

    CSecStr m_sReaderName;
    std::unique_ptr<VKDelegateSubscriberCardRemoved> m_pCardRemovedSubscriber;
};
