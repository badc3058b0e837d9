// The wiping allocator: whatever a container does with its storage (dies,
// grows, shrinks, allocates nodes of another type), every block it hands
// back to the heap is all zeros.
#include "WipingAllocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <list>
#include <string>
#include <vector>

namespace {

// What the checking heap saw since the last Reset.
struct HeapLog {
    static inline size_t returned = 0;
    static inline size_t dirty = 0; // blocks returned with a byte not zero

    static void Reset() { returned = dirty = 0; }
};

// Stateless, as the wiping allocator expects its heap to be; looks at every
// block before it is freed, so nothing reads freed memory.
template <class T>
struct CheckingHeap {
    using value_type = T;

    T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, size_t n)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(p);
        ++HeapLog::returned;
        if (std::any_of(bytes, bytes + n * sizeof(T), [](unsigned char b) { return b != 0; }))
            ++HeapLog::dirty;
        std::allocator<T>().deallocate(p, n);
    }
};

using CheckedBytes = std::vector<unsigned char, WipingAllocator<unsigned char, CheckingHeap>>;
using CheckedString = std::basic_string<wchar_t, std::char_traits<wchar_t>, WipingAllocator<wchar_t, CheckingHeap>>;
using CheckedList = std::list<int, WipingAllocator<int, CheckingHeap>>;

TEST(WipingAllocator, EveryBlockGoesBackWipedAndOnlyItsBytes)
{
    struct Case {
        const char* name;
        std::function<void()> use;
        size_t minBlocks; // blocks the use must return, so that the check means something
    };
    const Case cases[] = {
        {"bytes destroyed", [] { CheckedBytes bytes(64, 0xA5); }, 1},
        {"bytes grown one at a time", [] {
             CheckedBytes bytes;
             for (int i = 0; i < 1000; ++i)
                 bytes.push_back(0xA5);
         }, 5},
        {"string grown", [] {
             CheckedString text(L"1234");
             for (int i = 0; i < 50; ++i)
                 text += L"5678";
         }, 3},
        {"string shrunk to fit", [] {
             CheckedString text(100, L'7');
             text.resize(2);
             text.shrink_to_fit();
             EXPECT_EQ(1u, HeapLog::returned) << "the long block goes back before the string dies";
         }, 1},
        {"list nodes, allocated through a rebound allocator", [] { CheckedList numbers{-1, -2, -3}; }, 3},
    };
    for (const Case& c : cases) {
        HeapLog::Reset();
        c.use();
        EXPECT_GE(HeapLog::returned, c.minBlocks) << c.name;
        EXPECT_EQ(0u, HeapLog::dirty) << c.name;
    }
    // The wipe itself takes exactly the bytes it is given.
    unsigned char block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SecureWipe(block + 2, 4);
    const unsigned char expected[8] = {1, 2, 0, 0, 0, 0, 7, 8};
    EXPECT_TRUE(std::equal(block, block + 8, expected));
    SecureWipe(nullptr, 4); // nothing to wipe: no effect, no crash
    SecureWipe(block, 0);
    EXPECT_EQ(1, block[0]);
}

} // namespace
