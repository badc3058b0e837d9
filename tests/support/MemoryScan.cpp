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

// One way the secret may stand in memory: as UTF-16 (two bytes a
// character, low byte first) or in the system code page. Where each piece
// may start is kept by the value of its first byte, so that a byte of
// memory is compared only with the pieces that begin with it.
class Form {
public:
    Form(const MaskedSecret& secret, bool wide, size_t piece)
        : m_secret(secret), m_bWide(wide), m_nWidth(wide ? 2 : 1)
    {
        const size_t length = wide ? secret.Length() : secret.NarrowLength();
        m_nPiece = piece < length ? piece : length;
        for (size_t start = 0; m_nPiece > 0 && start + m_nPiece <= length; ++start)
            m_starts[Unit(start) & 0xFF].push_back(start);
    }

    // Whether a piece of the secret starts at `data[i]`, of `size` bytes.
    bool PieceAt(const unsigned char* data, size_t i, size_t size) const
    {
        if (i + m_nWidth * m_nPiece > size)
            return false;
        for (size_t start : m_starts[data[i]]) {
            size_t k = 0;
            while (k < m_nPiece && Holds(data + i + m_nWidth * k, Unit(start + k)))
                ++k;
            if (k == m_nPiece)
                return true;
        }
        return false;
    }

private:
    unsigned Unit(size_t i) const { return m_bWide ? m_secret.At(i) : m_secret.NarrowAt(i); }
    bool Holds(const unsigned char* at, unsigned unit) const
    {
        return at[0] == (unit & 0xFF) && (!m_bWide || at[1] == (unit >> 8));
    }

    const MaskedSecret& m_secret;
    bool m_bWide;
    size_t m_nWidth;
    size_t m_nPiece = 0;
    std::vector<size_t> m_starts[256];
};

} // namespace

SecretSightings ScanProcessMemory(const MaskedSecret& secret, size_t pieceLength)
{
    SecretSightings seen;
    if (secret.Length() == 0 || pieceLength == 0)
        return seen;
    const Form wide(secret, true, pieceLength);
    const Form narrow(secret, false, pieceLength);
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
            // A piece that starts in the overlap is counted with the next chunk.
            for (size_t i = 0; i < got && i < kChunk; ++i) {
                seen.narrow += narrow.PieceAt(buffer, i, got);
                seen.wide += wide.PieceAt(buffer, i, got);
            }
        }
    }
    VirtualFree(buffer, 0, MEM_RELEASE);
    return seen;
}
