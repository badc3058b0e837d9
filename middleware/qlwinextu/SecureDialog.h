#pragma once
// CSecureDialog: the base of every dialog that shows or takes a secret. It
// exchanges edit texts straight into CSecStr objects, and overwrites the text
// of every edit control before the dialog's window is destroyed, so that no
// secret stays in the controls' own storage.
#include "SecStr.h"
#include "afxwin.h"

class CSecureDialog : public CDialog {
public:
    CSecureDialog(UINT templateId, CWnd* parent = nullptr) : CDialog(templateId, parent) {}

protected:
    // The framework's dialog initialization (controls filled from the data).
    BOOL OnInitDialogSecure();
    void OnDestroy() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Moves the text of edit `id` into `value`, or `value` into the edit,
    // without an intermediate copy outside wiped storage.
    static void DDX_TextSecure(CDataExchange* dx, int id, CSecStr& value);
    // The text of edit `id` in wiped storage (empty when there is no such edit).
    CSecStr ReadEdit(int id) const;

private:
    // Set while the edits are overwritten: their change notifications must
    // not reach handlers that would read the overwritten text back.
    bool m_bWipingEdits = false;
};

// Overwrites the text of an edit control in place, empties it and clears its
// undo buffer (which may hold deleted characters).
void WipeEditText(HWND edit);
