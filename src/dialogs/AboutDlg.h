#pragma once
// CAboutDlg: the product's about box. The product line comes from the
// installer's records of the installed product, its package and its
// patches; the credits button opens the licence file the installation
// names. It owns the background brush.
#include "SecureDialog.h"
#include "base/VelkorExports.h"

class VKGUI_CLASS CAboutDlg : public CSecureDialog {
public:
    // `paintBackground` non-zero paints the controls on the window colour.
    CAboutDlg(int paintBackground, const wchar_t* text);
    ~CAboutDlg() override;

    INT_PTR DoModal() override;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind) override;
    void OnSysColorChange() override;
    void OnBnClickedCredits();

private:
    // "name (version)", with " - reference" when a patch names one; empty
    // when the installer knows nothing of the product.
    CSecStr ProductLine() const;

    CSecStr m_sText;
    int m_nPaintBackground;
    HBRUSH m_hBackground;
};
