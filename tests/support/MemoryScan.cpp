#include "MemoryScan.h"

#include <cstring>
#include <random>

MaskedSecret MaskedSecret::Adopt(wchar_t* text, size_t length)
{
    MaskedSecret secret;
    for (size_t i = 0; i < length; ++i) {
        secret.Append(text[i]);
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
        Append(static_cast<wchar_t>(kAlphabet[pick(random)]));
}

void MaskedSecret::Append(wchar_t c)
{
    m_masked.push_back(static_cast<unsigned short>(c ^ kMask));
    // One character at a time, so that the whole secret never stands in a
    // conversion buffer.
    char bytes[8] = {};
    int count = WideCharToMultiByte(CP_ACP, 0, &c, 1, nullptr, 0, nullptr, nullptr);
    if (count > 0 && count <= static_cast<int>(sizeof(bytes)))
        count = WideCharToMultiByte(CP_ACP, 0, &c, 1, bytes, count, nullptr, nullptr);
    for (int i = 0; i < count; ++i)
        m_maskedNarrow.push_back(static_cast<unsigned short>(static_cast<unsigned char>(bytes[i]) ^ kMask));
    SecureZeroMemory(bytes, sizeof(bytes));
    c = 0;
}

bool MaskedSecret::EqualsNarrow(const char* bytes, size_t length) const
{
    if (!bytes || length != NarrowLength())
        return false;
    for (size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(bytes[i]) != NarrowAt(i))
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

// Where each piece of the secret may start, by the value of its first
// unit, so that a byte of memory is compared only with the pieces that
// begin with it.
class PieceIndex {
public:
    PieceIndex(size_t length, size_t piece, unsigned (*unitAt)(const MaskedSecret&, size_t), const MaskedSecret& secret)
        : m_nPiece(piece < length ? piece : length)
    {
        for (size_t start = 0; m_nPiece > 0 && start + m_nPiece <= length; ++start) {
            const unsigned first = unitAt(secret, start);
            if (first < 256)
                m_starts[first].push_back(start);
        }
    }
    size_t Piece() const { return m_nPiece; }
    const std::vector<size_t>& StartingWith(unsigned char value) const { return m_starts[value]; }

private:
    size_t m_nPiece;
    std::vector<size_t> m_starts[256];
};

// UTF-16 pieces are found by the low byte of their first character.
unsigned WideUnit(const MaskedSecret& s, size_t i)
{
    return s.At(i) & 0xFF;
}

unsigned NarrowUnit(const MaskedSecret& s, size_t i)
{
    return s.NarrowAt(i);
}

// Counts the places in the first `starts` bytes of `data` where a piece of
// the secret starts, as narrow text and as UTF-16 at any alignment.
void Count(const MaskedSecret& secret, const PieceIndex& wide, const PieceIndex& narrow, const unsigned char* data,
           size_t size, size_t starts, SecretSightings& seen)
{
    for (size_t i = 0; i < starts && i < size; ++i) {
        for (size_t start : narrow.StartingWith(data[i])) {
            const size_t n = narrow.Piece();
            if (i + n > size)
                continue;
            size_t k = 1;
            while (k < n && data[i + k] == secret.NarrowAt(start + k))
                ++k;
            if (k == n) {
                ++seen.narrow;
                break;
            }
        }
        for (size_t start : wide.StartingWith(data[i])) {
            const size_t n = wide.Piece();
            if (i + 2 * n > size)
                continue;
            size_t k = 0;
            while (k < n && data[i + 2 * k] == (secret.At(start + k) & 0xFF) &&
                   data[i + 2 * k + 1] == (secret.At(start + k) >> 8))
                ++k;
            if (k == n) {
                ++seen.wide;
                break;
            }
        }
    }
}

} // namespace

SecretSightings ScanProcessMemory(const MaskedSecret& secret, size_t pieceLength)
{
    SecretSightings seen;
    if (secret.Length() == 0 || pieceLength == 0)
        return seen;
    const PieceIndex wide(secret.Length(), pieceLength, WideUnit, secret);
    const PieceIndex narrow(secret.NarrowLength(), pieceLength, NarrowUnit, secret);
    // Chunks overlap by a piece's UTF-16 size so that nothing straddling
    // two chunks is missed; the copy is read with ReadProcessMemory, which
    // fails instead of faulting when a page goes away meanwhile. The copy
    // lives in pages of its own, skipped by the scan and released after it,
    // so that no later scan finds what this one copied.
    const size_t overlap = pieceLength * 2;
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
            Count(secret, wide, narrow, buffer, got, got < kChunk ? got : kChunk, seen);
        }
    }
    VirtualFree(buffer, 0, MEM_RELEASE);
    return seen;
}
