#pragma once
// CVKActivatedDlg: a secure dialog whose caption's help button opens the
// dialog's own help topic (OnContextualHelp) instead of the system's
// pointer-driven context help.
#include "SecureDialog.h"
#include "base/VelkorExports.h"

class VKGUI_CLASS CVKActivatedDlg : public CSecureDialog {
public:
    CVKActivatedDlg(UINT templateId, CWnd* parent = nullptr) : CSecureDialog(templateId, parent) {}
    // Shows the dialog's help; the default shows nothing.
    virtual void OnContextualHelp() {}

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};
