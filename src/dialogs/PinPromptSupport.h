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

// The bitmaps a prompt's banner statics show. A static never deletes the
// image it is given, so the dialog owns them and deletes them with its
// object, once its window is gone.
struct BannerBitmaps {
    CBitmap m_bmpDefault;  // the template's banner, taken over from its static
    CBitmap m_bmpBranding; // the organisation's banner, when it could be loaded
    CBitmap m_bmpShown;    // the banner shown, smoothed to its static's size
};

// Takes over the default banner's bitmap and shows the organisation's banner
// ("BannerHiRes") in its place when it can be loaded; `owner` names the
// dialog in the log lines.
void InsertBrandingBitmap(CWnd& dialog, BannerBitmaps& banners, const wchar_t* owner);

// Logs a step of a PIN prompt's modal creation under the dialog's name.
void LogModalStep(const wchar_t* owner, const CDialog& dialog, CDialog::ModalStep step, HINSTANCE instance,
                  HWND parent);
