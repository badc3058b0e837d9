#pragma once
// What the PIN entry dialog and the PIN-always prompt share: the busy flag
// that keeps a second prompt from opening, the locked-workstation check,
// the branding banner and the logging of their modal creation.
#include "afxwin.h"

#include <atomic>

// 1 while a PIN entry dialog or a PIN-always prompt is open. Callers on
// different threads may race for it: it is taken only by one atomic
// exchange from 0 to 1, so two of them can never both see it free.
extern std::atomic<int> g_nPinPromptBusy;

// Asks the session-state service; a service that cannot tell counts as unlocked.
bool IsWorkstationLocked();

// Shows the organisation's banner ("BannerHiRes") in place of the default
// one when it can be loaded; `owner` names the dialog in the log lines.
// The bitmap loaded is kept in `bitmap`, which owns it.
void InsertBrandingBitmap(CWnd& dialog, CBitmap& bitmap, const wchar_t* owner);

// Brings the dialog to the foreground and makes it top-most, where it stays.
void BringToFront(CWnd& dialog);

// Logs a step of a PIN prompt's modal creation under the dialog's name.
void LogModalStep(const wchar_t* owner, const CDialog& dialog, CDialog::ModalStep step, HINSTANCE instance,
                  HWND parent);
