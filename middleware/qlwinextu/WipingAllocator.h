#pragma once
// Storage for secrets and card data: every block is overwritten with zeros
// before it goes back to the heap. Standard strings keep up to 7 wide
// characters inside the object; those die with the object's own memory.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

// Overwrites `bytes` bytes at `p` in a way the compiler may not drop.
inline void SecureWipe(void* p, size_t bytes)
{
    if (!p || bytes == 0)
        return;
#ifdef _WIN32
    SecureZeroMemory(p, bytes);
#else
    volatile unsigned char* q = static_cast<volatile unsigned char*>(p);
    while (bytes--)
        *q++ = 0;
#endif
}

// Memory comes from, and goes back to, a stateless `Heap` allocator:
// std::allocator in the library, a checking one in tests.
template <class T, template <class> class Heap = std::allocator>
struct WipingAllocator {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = WipingAllocator<U, Heap>;
    };

    WipingAllocator() noexcept = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U, Heap>&) noexcept {}

    T* allocate(size_t n) { return Heap<T>().allocate(n); }
    void deallocate(T* p, size_t n) noexcept
    {
        SecureWipe(p, n * sizeof(T));
        Heap<T>().deallocate(p, n);
    }

    template <class U>
    bool operator==(const WipingAllocator<U, Heap>&) const noexcept { return true; }
    template <class U>
    bool operator!=(const WipingAllocator<U, Heap>&) const noexcept { return false; }
};

using WipingWString = std::basic_string<wchar_t, std::char_traits<wchar_t>, WipingAllocator<wchar_t>>;
using WipingBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;
