#pragma once
// Finds a secret, or any piece of it, in the process's memory. The secret
// is made for the test and never stands in memory as a whole: its
// characters are kept masked and handed out one at a time, so the only
// places where it can be found are the ones the code under test left
// behind. Pieces matter: a control that clears only the first character of
// its text, or a freed block that loses only its first bytes, leaves the
// rest of the secret readable.
#include <windows.h>

#include <string>
#include <vector>

// Long enough that a run of random letters and digits is never found by
// chance, short enough that a partly wiped secret of 24 still shows.
inline constexpr size_t kSecretPieceLength = 8;

class MaskedSecret {
public:
    // Random letters and digits, or digits only.
    explicit MaskedSecret(size_t length, bool digitsOnly = false);
    // Takes over `text` (which it wipes).
    static MaskedSecret Adopt(wchar_t* text, size_t length);
    size_t Length() const { return m_masked.size(); }
    wchar_t At(size_t i) const { return static_cast<wchar_t>(m_masked[i] ^ kMask); }
    // The secret in the system code page, byte by byte.
    size_t NarrowLength() const { return m_maskedNarrow.size(); }
    unsigned char NarrowAt(size_t i) const { return static_cast<unsigned char>(m_maskedNarrow[i] ^ kMask); }
    // True when `bytes` holds the secret as text in the system code page.
    bool EqualsNarrow(const char* bytes, size_t length) const;

private:
    MaskedSecret() = default;
    void Append(wchar_t c);
    static constexpr unsigned short kMask = 0x5A3C;
    std::vector<unsigned short> m_masked;
    std::vector<unsigned short> m_maskedNarrow;
};

// Types the secret into `edit` a character at a time, as the keyboard
// would, so that it never stands whole in the test's own memory.
inline void TypeSecret(HWND edit, const MaskedSecret& secret)
{
    for (size_t i = 0; i < secret.Length(); ++i)
        SendMessageW(edit, WM_CHAR, secret.At(i), 1);
}

// Places where a piece of the secret starts. A secret shorter than the
// piece length is looked for whole.
struct SecretSightings {
    size_t wide = 0;   // as UTF-16
    size_t narrow = 0; // in the system code page
    size_t Total() const { return wide + narrow; }
};

// Reads every committed, readable page of the process for every run of
// `pieceLength` consecutive characters of the secret.
SecretSightings ScanProcessMemory(const MaskedSecret& secret, size_t pieceLength = kSecretPieceLength);
