#include "dialogs/PinPromptSupport.h"

#include "base/Dpi.h"
#include "base/Log.h"

#include "ScopedGdi.h"
#include "SessionState.h"
#include "pinrc_ids.h"
#include "qlreg.h"

#include <memory>
#include <new>

std::atomic<int> g_nPinPromptBusy{0};

namespace {

constexpr const wchar_t* kBrandingKey = L"Software\\Policies\\Quellon\\VovavidoZurodeRO\\AuthenticationDialog";
constexpr DWORD kPathBytes = 522;

// Shows `banner` in `control` at the control's size. The static would
// stretch it itself, dropping pixels at high DPI; a halftone copy keeps the
// picture smooth. The copy is kept in `shown`; without one the static
// stretches the original.
void ShowBannerSmoothly(HWND control, HBITMAP banner, CBitmap& shown)
{
    RECT client = {};
    BITMAP info = {};
    if (!control || !banner || !::GetClientRect(control, &client) || !::GetObjectW(banner, sizeof(info), &info))
        return;
    HBITMAP image = banner;
    if (client.right != info.bmWidth || client.bottom != info.bmHeight) {
        HBITMAP smooth = StretchBitmapSmoothly(banner, client.right, client.bottom);
        if (smooth)
            image = smooth;
    }
    // What the static held before is ours (see InsertBrandingBitmap): kept
    // in a BannerBitmaps member or the copy this replaces.
    ::SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));
    shown.DeleteObject();
    if (image != banner)
        shown.Attach(image);
}

} // namespace

bool IsWorkstationLocked()
{
    int state = 1;
    std::unique_ptr<VKEventGetWorkstationState> service(new (std::nothrow) VKEventGetWorkstationState());
    if (service)
        service->GetSessionState(&state);
    return state == 0;
}

void InsertBrandingBitmap(CWnd& dialog, BannerBitmaps& banners, const wchar_t* owner)
{
    vklogLog(kGuiTag, VKLOG_ENTRY, L"%s::GetBrandingBitmaps", owner);
    HWND defaultBanner = dialog.GetDlgItemHwnd(IDC_BANNER_DEFAULT);
    if (defaultBanner) {
        // The static loaded the template's bitmap itself. Windows deletes such
        // a bitmap with the control, but Wine never does; one replaced with
        // STM_SETIMAGE is its caller's on both, so the dialog takes it out,
        // keeps it and puts it back as its own.
        auto loaded = reinterpret_cast<HBITMAP>(::SendMessageW(defaultBanner, STM_SETIMAGE, IMAGE_BITMAP, 0));
        banners.m_bmpDefault.Attach(loaded);
        ::SendMessageW(defaultBanner, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(loaded));
        ShowBannerSmoothly(defaultBanner, loaded, banners.m_bmpShown);
    }
    HWND branding = dialog.GetDlgItemHwnd(IDC_BANNER_BRANDING);
    ::ShowWindow(branding, SW_HIDE);
    ::ShowWindow(dialog.GetDlgItemHwnd(IDC_BANNER_SPARE), SW_HIDE);

    wchar_t path[kPathBytes / sizeof(wchar_t)] = {};
    DWORD size = kPathBytes;
    LONG status = qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kBrandingKey, L"BannerHiRes", path, &size, KEY_WOW64_64KEY);
    if (status != 0) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"%s::GetBrandingBitmaps: qlRegReadStringValueEx(%s) failed with error code 0x%x",
                 owner, kBrandingKey, status);
        vklogLog(kGuiTag, VKLOG_EXIT, L"%s::GetBrandingBitmaps ret=%d", owner, 0);
        return;
    }
    vklogLog(kGuiTag, VKLOG_INFO, L"%s::GetBrandingBitmaps: qlRegReadStringValueEx(%s) returned %s", owner,
             kBrandingKey, path);

    bool loaded = false;
    if (path[0] && defaultBanner) {
        vklogLog(kGuiTag, VKLOG_DETAIL, L"%s::TryToInsertBitmap", owner);
        banners.m_bmpBranding.Attach(
            static_cast<HBITMAP>(LoadImageW(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
        loaded = banners.m_bmpBranding.GetSafeHandle() != nullptr;
        if (loaded) {
            ::ShowWindow(defaultBanner, SW_HIDE);
            // What the static held before is ours to delete, now that it is off the screen.
            ScopedGdiObject<HBITMAP> previous(reinterpret_cast<HBITMAP>(::SendMessageW(
                branding, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banners.m_bmpBranding.GetSafeHandle()))));
            RECT client;
            ::GetClientRect(defaultBanner, &client);
            ::SetWindowPos(branding, nullptr, 0, 0, client.right, client.bottom,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            // The hidden default gives its smoothed copy back before the copy is replaced.
            ::SendMessageW(defaultBanner, STM_SETIMAGE, IMAGE_BITMAP,
                           reinterpret_cast<LPARAM>(banners.m_bmpDefault.GetSafeHandle()));
            ShowBannerSmoothly(branding, banners.m_bmpBranding.GetSafeHandle(), banners.m_bmpShown);
        }
        ::ShowWindow(branding, loaded ? SW_SHOW : SW_HIDE);
    }
    vklogLog(kGuiTag, VKLOG_EXIT, L"%s::GetBrandingBitmaps ret=%d", owner, loaded ? 1 : 0);
}

void LogModalStep(const wchar_t* owner, const CDialog& dialog, CDialog::ModalStep step, HINSTANCE instance,
                  HWND parent)
{
    switch (step) {
    case CDialog::ModalStep::CreatingWithOwner:
        vklogLog(kGuiTag, VKLOG_DETAIL, L"%s::OnContextualHelp: this:%p,hWndParent:%p,m_hWnd:%p,hInst:%p", owner,
                 &dialog, parent, dialog.m_hWnd, instance);
        vklogLog(kGuiTag, VKLOG_DETAIL, L"%s::OnContextualHelp: CreateDlgIndirect with hWndParent", owner);
        break;
    case CDialog::ModalStep::RetryingWithoutOwner:
        vklogLog(kGuiTag, VKLOG_DETAIL, L"%s::OnContextualHelp: Now try to CreateDlgIndirect with NULL", owner);
        break;
    case CDialog::ModalStep::Created:
        vklogLog(kGuiTag, VKLOG_DETAIL, L"%s::OnContextualHelp: CreateDlgIndirect success (Flags 0x%x, m_hWnd:%p)",
                 owner, static_cast<unsigned>(GetWindowLongW(dialog.m_hWnd, GWL_STYLE)), dialog.m_hWnd);
        break;
    }
}
