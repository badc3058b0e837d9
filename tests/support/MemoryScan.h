#pragma once
// Finds a secret in the process's memory. The secret is made for the test
// and never stands in memory as a whole: its characters are kept masked and
// handed out one at a time, so the only places where it can be found are
// the ones the code under test left behind.
#include <windows.h>

#include <string>
#include <vector>

class MaskedSecret {
public:
    // Random letters and digits, or digits only.
    explicit MaskedSecret(size_t length, bool digitsOnly = false);
    // Takes over `text` (which it wipes).
    static MaskedSecret Adopt(wchar_t* text, size_t length);
    size_t Length() const { return m_masked.size(); }
    wchar_t At(size_t i) const { return static_cast<wchar_t>(m_masked[i] ^ kMask); }
    // True when `bytes` holds the secret as 8-bit text.
    bool EqualsNarrow(const char* bytes, size_t length) const;

private:
    MaskedSecret() = default;
    static constexpr unsigned short kMask = 0x5A3C;
    std::vector<unsigned short> m_masked;
};

struct SecretSightings {
    size_t wide = 0;   // as UTF-16
    size_t narrow = 0; // as 8-bit text
};

// Reads every committed, readable page of the process.
SecretSightings ScanProcessMemory(const MaskedSecret& secret);
