// The process measures see one object of each kind come and go, so that a
// leak check built on them can fail.
#include "ProcessResources.h"

#include <gtest/gtest.h>

#include <ostream>
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

void PrintTo(const LeakCase& c, std::ostream* os)
{
    *os << c.name;
}

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

class LeakCount : public testing::TestWithParam<LeakCase> {};

TEST_P(LeakCount, RisesByOneWhileHeldAndFallsBackOnRelease)
{
    const LeakCase& c = GetParam();
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
}

INSTANTIATE_TEST_SUITE_P(OneOfEach, LeakCount, testing::ValuesIn(kLeaks),
                         [](const auto& info) { return std::string(info.param.name); });

// Measuring twice in a row finds the same: the probes leave nothing behind.
TEST(LeakCount, MeasuringLeavesNothingBehind)
{
    MeasureProcess();
    const ProcessResources first = MeasureProcess();
    const ProcessResources second = MeasureProcess();
    EXPECT_EQ(first.gdiObjects, second.gdiObjects);
    EXPECT_EQ(first.drawingObjects, second.drawingObjects);
    EXPECT_EQ(first.icons, second.icons);
    EXPECT_EQ(first.userObjects, second.userObjects);
    EXPECT_GT(first.gdiObjects, 0u) << "the stock objects at least";
}

} // namespace
