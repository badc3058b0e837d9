// The process measures see one object of each kind come and go, so that a
// leak check built on them can fail.
#include "ProcessResources.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A 16x16 monochrome image: AND and XOR planes, all zero.
const BYTE kPlane[32] = {};

struct LeakCase {
    const char* name;
    HANDLE (*make)();
    void (*release)(HANDLE);
    DWORD ProcessResources::*counter; // rises by exactly one while the object lives
    DWORD ProcessResources::*alsoCounter; // a second count it belongs to, or null
};

HGDIOBJ Gdi(HANDLE object)
{
    return static_cast<HGDIOBJ>(object);
}

const LeakCase kLeaks[] = {
    {"Font", [] { return HANDLE(CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma")); },
     [](HANDLE h) { DeleteObject(Gdi(h)); }, &ProcessResources::gdiObjects, &ProcessResources::drawingObjects},
    {"Brush", [] { return HANDLE(CreateSolidBrush(RGB(1, 2, 3))); }, [](HANDLE h) { DeleteObject(Gdi(h)); },
     &ProcessResources::gdiObjects, &ProcessResources::drawingObjects},
    {"Bitmap", [] { return HANDLE(CreateBitmap(4, 4, 1, 1, nullptr)); }, [](HANDLE h) { DeleteObject(Gdi(h)); },
     &ProcessResources::gdiObjects, &ProcessResources::drawingObjects},
    {"Region", [] { return HANDLE(CreateRectRgn(0, 0, 3, 3)); }, [](HANDLE h) { DeleteObject(Gdi(h)); },
     &ProcessResources::gdiObjects, nullptr},
    {"MemoryDc", [] { return HANDLE(CreateCompatibleDC(nullptr)); }, [](HANDLE h) { DeleteDC(static_cast<HDC>(h)); },
     &ProcessResources::gdiObjects, nullptr},
    {"Icon", [] { return HANDLE(CreateIcon(nullptr, 16, 16, 1, 1, kPlane, kPlane)); },
     [](HANDLE h) { DestroyIcon(static_cast<HICON>(h)); }, &ProcessResources::icons, &ProcessResources::userObjects},
    {"Cursor", [] { return HANDLE(CreateCursor(nullptr, 0, 0, 16, 16, kPlane, kPlane)); },
     [](HANDLE h) { DestroyCursor(static_cast<HCURSOR>(h)); }, &ProcessResources::icons,
     &ProcessResources::userObjects},
};

// Each kind rises by exactly one while an object of it is held and falls
// back on release; measuring twice in a row finds the same, so the probes
// leave nothing behind.
TEST(LeakCount, RisesByOneWhileHeldAndFallsBackOnRelease)
{
    for (const LeakCase& c : kLeaks) {
        SCOPED_TRACE(c.name);
        // What the first object of a kind sets up for the process stays.
        c.release(c.make());
        MeasureProcess();

        const ProcessResources before = MeasureProcess();
        HANDLE object = c.make();
        ASSERT_NE(nullptr, object);
        const ProcessResources held = MeasureProcess();
        c.release(object);
        const ProcessResources after = MeasureProcess();

        EXPECT_EQ(before.*c.counter + 1, held.*c.counter);
        EXPECT_EQ(before.*c.counter, after.*c.counter);
        if (c.alsoCounter) {
            EXPECT_EQ(before.*c.alsoCounter + 1, held.*c.alsoCounter);
            EXPECT_EQ(before.*c.alsoCounter, after.*c.alsoCounter);
        }
        EXPECT_EQ(before.gdiObjects, after.gdiObjects);
        EXPECT_EQ(before.drawingObjects, after.drawingObjects);
        EXPECT_EQ(before.icons, after.icons);
        EXPECT_EQ(before.userObjects, after.userObjects);
    }
}

} // namespace
