#pragma once
// CSecStr: the wide string in which secrets and user texts travel. Its
// storage is overwritten before it is released, and whenever it must grow
// the old block is wiped; an empty string holds no heap storage.
#include <windows.h>

class CSecStr {
public:
    CSecStr() = default;
    CSecStr(const wchar_t* text);
    CSecStr(const wchar_t* text, int length);
    explicit CSecStr(const char* text);
    CSecStr(const CSecStr& other);
    CSecStr(CSecStr&& other) noexcept;
    ~CSecStr();

    CSecStr& operator=(const CSecStr& other);
    CSecStr& operator=(CSecStr&& other) noexcept;
    CSecStr& operator=(const wchar_t* text);

    // Never null: an empty string reads as L"".
    operator const wchar_t*() const { return m_pData ? m_pData : L""; }
    const wchar_t* GetString() const { return *this; }

    int GetLength() const { return m_nLength; }
    bool IsEmpty() const { return m_nLength == 0; }
    // Wipes and releases the storage.
    void Empty();

    wchar_t GetAt(int index) const;
    void SetAt(int index, wchar_t ch);

    // A writable buffer of at least minLength characters plus a terminator;
    // ReleaseBuffer(-1) takes the length up to the first terminator.
    wchar_t* GetBuffer(int minLength = 0);
    void ReleaseBuffer(int newLength = -1);

    int Find(wchar_t ch, int start = 0) const;
    int Find(const wchar_t* sub, int start = 0) const;
    CSecStr Mid(int first) const;
    CSecStr Mid(int first, int count) const;
    CSecStr Left(int count) const;
    CSecStr Right(int count) const;

    int Replace(wchar_t oldChar, wchar_t newChar);
    int Replace(const wchar_t* oldText, const wchar_t* newText);
    int Remove(wchar_t ch);
    CSecStr& MakeUpper();
    CSecStr& MakeLower();
    CSecStr& TrimLeft();
    CSecStr& TrimLeft(const wchar_t* chars);
    CSecStr& TrimRight();
    CSecStr& TrimRight(const wchar_t* chars);

    void Format(const wchar_t* format, ...);
    CSecStr& Append(const wchar_t* text);
    CSecStr& Append(const wchar_t* text, int length);
    CSecStr& operator+=(const wchar_t* text) { return Append(text); }
    CSecStr& operator+=(const CSecStr& text) { return Append(text.GetString(), text.GetLength()); }
    CSecStr& operator+=(wchar_t ch) { return Append(&ch, 1); }

    int Compare(const wchar_t* other) const;
    int CompareNoCase(const wchar_t* other) const;

    // Loads string `id` of `module`; on failure the string is left empty.
    BOOL LoadStringW(HINSTANCE module, UINT id);

    friend CSecStr operator+(const CSecStr& a, const CSecStr& b);
    friend CSecStr operator+(const CSecStr& a, const wchar_t* b);
    friend CSecStr operator+(const wchar_t* a, const CSecStr& b);
    friend bool operator==(const CSecStr& a, const wchar_t* b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CSecStr& a, const wchar_t* b) { return a.Compare(b) != 0; }
    friend bool operator==(const CSecStr& a, const CSecStr& b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CSecStr& a, const CSecStr& b) { return a.Compare(b) != 0; }

private:
    // Makes room for `capacity` characters plus a terminator, keeping the text.
    void Reserve(int capacity);
    void Assign(const wchar_t* text, int length);
    static wchar_t* Allocate(int capacity);
    static void Release(wchar_t* data, int capacity);

    wchar_t* m_pData = nullptr;
    int m_nLength = 0;
    int m_nCapacity = 0;
};
