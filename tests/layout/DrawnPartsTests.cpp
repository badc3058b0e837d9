// What the library draws itself, at this display's DPI: the popup's skin,
// icon, links and progress bar, the PIN prompt's banner and the policy
// panel's rule icons take the size their 96-DPI design has, scaled, and
// icons come at that size rather than a smaller one blown up.
#include "ChangePinOnScreen.h"
#include "ScopedGdi.h"
#include "UiDriver.h"

#include "base/VelkorExports.h"
#include "popup/PopupAlert.h"
#include "pinrc_ids.h"

#include <gtest/gtest.h>

#include <thread>

class CPopupAlertTestAccess {
public:
    static HICON Icon(const CPopupAlert& popup) { return popup.m_hIcon; }
};

namespace {

constexpr int kProgressBarId = 45;
constexpr int kCloseLinkId = 790;

int ScreenDpi()
{
    return GetDeviceCaps(ScopedGetDC(nullptr), LOGPIXELSY);
}

int Scaled(int pixels)
{
    return MulDiv(pixels, ScreenDpi(), 96);
}

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP info = {};
    if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info))
        return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

// An icon's own size, as its bitmaps have it.
SIZE IconSize(HICON icon)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info))
        return SIZE{0, 0};
    SIZE size = BitmapSize(info.hbmColor ? info.hbmColor : info.hbmMask);
    if (!info.hbmColor)
        size.cy /= 2; // a monochrome icon's mask holds the image below the mask
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return size;
}

SIZE ClientSize(HWND window)
{
    RECT r = {};
    GetClientRect(window, &r);
    return SIZE{r.right, r.bottom};
}

struct Part {
    const char* name;
    SIZE measured;
    SIZE expected;
};

DWORD WINAPI SilentWorker(void*)
{
    return 0;
}

// The parts of the library's own popup (the no-reader one, and the one-time
// password one with its progress bar).
void MeasurePopup(std::vector<Part>& parts)
{
    CPopupAlert popup;
    ASSERT_TRUE(popup.Create(nullptr));
    popup.InitWindow(nullptr, DIALOG_POPUP_NO_READER, GetCurrentThreadId());
    parts.push_back({"popup skin", BitmapSize(popup.m_bmpBackground.GetSafeHandle()), {Scaled(280), Scaled(160)}});
    parts.push_back({"popup size", {popup.m_nWidth, popup.m_nHeight}, {Scaled(280), Scaled(160)}});
    parts.push_back({"popup icon", IconSize(CPopupAlertTestAccess::Icon(popup)), {Scaled(24), Scaled(24)}});
    parts.push_back({"popup close link", ClientSize(uidriver::FindControl(popup.m_hWnd, kCloseLinkId)),
                     {Scaled(280), Scaled(15)}});
    popup.SetThreadRoutine(SilentWorker);
    popup.InitWindow(nullptr, DIALOG_POPUP_CARD_OTP, GetCurrentThreadId());
    parts.push_back({"progress bar", ClientSize(uidriver::FindControl(popup.m_hWnd, kProgressBarId)),
                     {Scaled(280) - Scaled(30), Scaled(15)}});
    popup.DestroyWindow();
}

TEST(DrawnParts, TakeTheSizeOfTheDisplaysDpi)
{
    std::vector<Part> parts;
    MeasurePopup(parts);

    std::thread holder = uidriver::ActOnDialog([&](HWND dialog) {
        uidriver::WaitPainted(dialog);
        HWND banner = uidriver::FindControl(dialog, IDC_BANNER_DEFAULT);
        // The banner is drawn at its static's size, which follows the template.
        parts.push_back({"banner", BitmapSize(reinterpret_cast<HBITMAP>(SendMessageW(banner, STM_GETIMAGE,
                                                                                      IMAGE_BITMAP, 0))),
                         ClientSize(banner)});
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    char* pin = nullptr;
    int pinLength = 0;
    GetPINFromUser(nullptr, L"R", 0, 4, 8, &pin, &pinLength, nullptr, nullptr, 0);
    holder.join();

    LookAtChangePin([&](HWND frame) {
        HWND rule = uidriver::FindControl(frame, IDC_RULE_MIN_ICON);
        parts.push_back({"rule icon", IconSize(reinterpret_cast<HICON>(SendMessageW(rule, STM_GETICON, 0, 0))),
                         {Scaled(16), Scaled(16)}});
    });

    ASSERT_EQ(7u, parts.size());
    for (const Part& part : parts) {
        EXPECT_EQ(part.expected.cx, part.measured.cx) << part.name << " at " << ScreenDpi() << " DPI";
        EXPECT_EQ(part.expected.cy, part.measured.cy) << part.name << " at " << ScreenDpi() << " DPI";
    }
}

} // namespace
