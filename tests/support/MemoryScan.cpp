#include "MemoryScan.h"

#include <cstring>
#include <random>

MaskedSecret MaskedSecret::Adopt(wchar_t* text, size_t length)
{
    MaskedSecret secret;
    for (size_t i = 0; i < length; ++i) {
        secret.m_masked.push_back(static_cast<unsigned short>(text[i] ^ kMask));
        text[i] = 0;
    }
    return secret;
}

MaskedSecret::MaskedSecret(size_t length, bool digitsOnly)
{
    const char* kAlphabet = digitsOnly ? "0123456789" : "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
    std::random_device seed;
    std::mt19937 random(seed() ^ GetTickCount());
    std::uniform_int_distribution<size_t> pick(0, strlen(kAlphabet) - 1);
    for (size_t i = 0; i < length; ++i)
        m_masked.push_back(static_cast<unsigned short>(kAlphabet[pick(random)] ^ kMask));
}

bool MaskedSecret::EqualsNarrow(const char* bytes, size_t length) const
{
    if (!bytes || length != Length())
        return false;
    for (size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(bytes[i]) != At(i))
            return false;
    return true;
}

namespace {

bool Readable(const MEMORY_BASIC_INFORMATION& region)
{
    if (region.State != MEM_COMMIT || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
        return false;
    return (region.Protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                              PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Counts the secret where it starts in the first `starts` bytes of `data`,
// as 8-bit text and as UTF-16 at any alignment.
void Count(const MaskedSecret& secret, const unsigned char* data, size_t size, size_t starts, SecretSightings& seen)
{
    const size_t n = secret.Length();
    const unsigned char first = static_cast<unsigned char>(secret.At(0));
    for (size_t i = 0; i < starts && i + n <= size; ++i) {
        if (data[i] != first)
            continue;
        size_t k = 1;
        while (k < n && data[i + k] == secret.At(k))
            ++k;
        if (k == n)
            ++seen.narrow;
        if (i + 2 * n <= size) {
            k = 0;
            while (k < n && data[i + 2 * k] == secret.At(k) && data[i + 2 * k + 1] == 0)
                ++k;
            if (k == n)
                ++seen.wide;
        }
    }
}

} // namespace

SecretSightings ScanProcessMemory(const MaskedSecret& secret)
{
    SecretSightings seen;
    if (secret.Length() == 0)
        return seen;
    // Chunks overlap by the secret's UTF-16 size so that nothing straddling
    // two chunks is missed; the copy is read with ReadProcessMemory, which
    // fails instead of faulting when a page goes away meanwhile. The copy
    // lives in pages of its own, skipped by the scan and released after it,
    // so that no later scan finds what this one copied.
    const size_t overlap = secret.Length() * 2;
    constexpr size_t kChunk = 1 << 20;
    auto* buffer = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, kChunk + overlap, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!buffer)
        return seen;
    MEMORY_BASIC_INFORMATION region;
    for (auto* address = static_cast<unsigned char*>(nullptr);
         VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
         address = static_cast<unsigned char*>(region.BaseAddress) + region.RegionSize) {
        if (!Readable(region) || region.AllocationBase == buffer)
            continue;
        auto* base = static_cast<unsigned char*>(region.BaseAddress);
        for (size_t offset = 0; offset < region.RegionSize; offset += kChunk) {
            size_t want = region.RegionSize - offset;
            if (want > kChunk + overlap)
                want = kChunk + overlap;
            SIZE_T got = 0;
            if (!ReadProcessMemory(GetCurrentProcess(), base + offset, buffer, want, &got))
                continue;
            Count(secret, buffer, got, got < kChunk ? got : kChunk, seen);
        }
    }
    VirtualFree(buffer, 0, MEM_RELEASE);
    return seen;
}
