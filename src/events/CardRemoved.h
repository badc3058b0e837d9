#pragma once
// Hides the popup alert, reporting 2, when any card is removed.
#include "base/VelkorExports.h"
#include "vkevtsub.h"

class CPopupAlert;

class VKGUI_CLASS CCardRemoved : public VKDelegateSubscriber {
public:
    explicit CCardRemoved(CPopupAlert* popup);
    ~CCardRemoved() override;
    void HandleEvent(const VKEventRecord* record) override;

private:
    CPopupAlert* m_pPopupAlert;
};
