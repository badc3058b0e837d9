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

template <class T>
struct WipingAllocator {
    using value_type = T;

    WipingAllocator() noexcept = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}

    T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, size_t n) noexcept
    {
        SecureWipe(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }

    template <class U>
    bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
    template <class U>
    bool operator!=(const WipingAllocator<U>&) const noexcept { return false; }
};

using WipingWString = std::basic_string<wchar_t, std::char_traits<wchar_t>, WipingAllocator<wchar_t>>;
using WipingBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;
