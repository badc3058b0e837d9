#pragma once
// CBaseDialog: the base of the pages and panels placed inside other dialogs.
// It opens at a caller-given screen position, can paint its controls on the
// window background colour, can shrink itself or one of its controls, and
// wipes PIN strings in place. It owns the background brush.
#include "SecureDialog.h"
#include "base/VelkorExports.h"

class VKGUI_CLASS CBaseDialog : public CSecureDialog {
public:
    // `position` gives the top-left corner (screen coordinates) at which the
    // dialog opens; null opens it at (0, 0). A non-zero `backgroundFlag`
    // paints static and other controls transparently on the window colour.
    CBaseDialog(unsigned int templateId, int backgroundFlag, RECT* position, CWnd* parent);
    ~CBaseDialog() override;

    // Makes the control `controlId` (the dialog itself for 0) `dx` pixels
    // narrower and `dy` pixels lower; negative values enlarge it.
    void ResizeDlg(unsigned int controlId, int dx, int dy);

    // Creates the page as a child of `parent` from its template, with the
    // library's resource module as the resource source for the call.
    int LocCreate(CWnd* parent);

    // Once the page has sized itself inside its owner's placeholder, the
    // owner's OK and Cancel follow the page's bottom edge and the owner
    // grows or shrinks by the same amount.
    void FitOwnerToPage(const RECT& placeholder);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind) override;
    void OnSysColorChange() override;

    // Zeroes the PIN's characters in place and leaves it empty.
    void HidePinFromMemory(CSecStr& pin);

    int m_nLeft = 0;
    int m_nTop = 0;
    int m_nBackgroundFlag = 0;
    CBrush m_brBackground;
};
