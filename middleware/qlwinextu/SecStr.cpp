#include "SecStr.h"

#include "WipingAllocator.h"

#include <climits>
#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <new>

namespace {

int BoundedLength(const wchar_t* text)
{
    if (!text)
        return 0;
    size_t n = wcslen(text);
    return n > static_cast<size_t>(INT_MAX / 2) ? INT_MAX / 2 : static_cast<int>(n);
}

bool IsInSet(wchar_t ch, const wchar_t* chars)
{
    return chars ? wcschr(chars, ch) != nullptr && ch != L'\0' : iswspace(ch) != 0;
}

} // namespace

wchar_t* CSecStr::Allocate(int capacity)
{
    return WipingAllocator<wchar_t>().allocate(static_cast<size_t>(capacity) + 1);
}

void CSecStr::Release(wchar_t* data, int capacity)
{
    if (data)
        WipingAllocator<wchar_t>().deallocate(data, static_cast<size_t>(capacity) + 1);
}

CSecStr::CSecStr(const wchar_t* text)
{
    Assign(text, BoundedLength(text));
}

CSecStr::CSecStr(const wchar_t* text, int length)
{
    Assign(text, text && length > 0 ? length : 0);
}

CSecStr::CSecStr(const char* text)
{
    if (!text || !*text)
        return;
    int chars = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (chars <= 1)
        return;
    Reserve(chars - 1);
    // The second answer counts what was really written, terminator included.
    int written = MultiByteToWideChar(CP_ACP, 0, text, -1, m_pData, chars);
    m_nLength = written > 0 ? written - 1 : 0;
    m_pData[m_nLength] = L'\0';
}

CSecStr::CSecStr(const CSecStr& other)
{
    Assign(other.m_pData, other.m_nLength);
}

CSecStr::CSecStr(CSecStr&& other) noexcept
    : m_pData(other.m_pData), m_nLength(other.m_nLength), m_nCapacity(other.m_nCapacity)
{
    other.m_pData = nullptr;
    other.m_nLength = 0;
    other.m_nCapacity = 0;
}

CSecStr::~CSecStr()
{
    Release(m_pData, m_nCapacity);
}

CSecStr& CSecStr::operator=(const CSecStr& other)
{
    if (this != &other)
        Assign(other.m_pData, other.m_nLength);
    return *this;
}

CSecStr& CSecStr::operator=(CSecStr&& other) noexcept
{
    if (this != &other) {
        Release(m_pData, m_nCapacity);
        m_pData = other.m_pData;
        m_nLength = other.m_nLength;
        m_nCapacity = other.m_nCapacity;
        other.m_pData = nullptr;
        other.m_nLength = 0;
        other.m_nCapacity = 0;
    }
    return *this;
}

CSecStr& CSecStr::operator=(const wchar_t* text)
{
    Assign(text, BoundedLength(text));
    return *this;
}

void CSecStr::Assign(const wchar_t* text, int length)
{
    if (!text || length <= 0) {
        if (m_pData) {
            SecureWipe(m_pData, static_cast<size_t>(m_nLength) * sizeof(wchar_t));
            m_pData[0] = L'\0';
        }
        m_nLength = 0;
        return;
    }
    // The source may live inside this string's own storage.
    if (m_pData && text >= m_pData && text <= m_pData + m_nCapacity) {
        CSecStr copy(text, length);
        *this = std::move(copy);
        return;
    }
    if (length > m_nCapacity) {
        Release(m_pData, m_nCapacity);
        m_pData = nullptr;
        m_nCapacity = 0;
        m_nLength = 0;
        Reserve(length);
    } else if (m_nLength > length) {
        SecureWipe(m_pData + length, static_cast<size_t>(m_nLength - length) * sizeof(wchar_t));
    }
    wmemcpy(m_pData, text, static_cast<size_t>(length));
    m_pData[length] = L'\0';
    m_nLength = length;
}

void CSecStr::Reserve(int capacity)
{
    if (capacity <= m_nCapacity && m_pData)
        return;
    wchar_t* grown = Allocate(capacity);
    wmemset(grown, L'\0', static_cast<size_t>(capacity) + 1);
    if (m_pData)
        wmemcpy(grown, m_pData, static_cast<size_t>(m_nLength));
    Release(m_pData, m_nCapacity);
    m_pData = grown;
    m_nCapacity = capacity;
}

void CSecStr::Empty()
{
    Release(m_pData, m_nCapacity);
    m_pData = nullptr;
    m_nLength = 0;
    m_nCapacity = 0;
}

wchar_t CSecStr::GetAt(int index) const
{
    return index >= 0 && index < m_nLength ? m_pData[index] : L'\0';
}

void CSecStr::SetAt(int index, wchar_t ch)
{
    if (index >= 0 && index < m_nLength && ch != L'\0')
        m_pData[index] = ch;
}

wchar_t* CSecStr::GetBuffer(int minLength)
{
    Reserve(minLength > m_nLength ? minLength : m_nLength);
    return m_pData;
}

void CSecStr::ReleaseBuffer(int newLength)
{
    if (!m_pData)
        return;
    int length = newLength;
    if (length < 0 || length > m_nCapacity)
        length = static_cast<int>(wcsnlen(m_pData, static_cast<size_t>(m_nCapacity)));
    // Whatever the caller left past the new end is wiped, not just cut off.
    SecureWipe(m_pData + length, static_cast<size_t>(m_nCapacity - length + 1) * sizeof(wchar_t));
    m_nLength = length;
}

int CSecStr::Find(wchar_t ch, int start) const
{
    if (start < 0 || start >= m_nLength)
        return -1;
    const wchar_t* hit = wmemchr(m_pData + start, ch, static_cast<size_t>(m_nLength - start));
    return hit ? static_cast<int>(hit - m_pData) : -1;
}

int CSecStr::Find(const wchar_t* sub, int start) const
{
    if (!sub || start < 0 || start > m_nLength || !m_pData)
        return -1;
    const wchar_t* hit = wcsstr(m_pData + start, sub);
    return hit ? static_cast<int>(hit - m_pData) : -1;
}

CSecStr CSecStr::Mid(int first) const
{
    return Mid(first, m_nLength);
}

CSecStr CSecStr::Mid(int first, int count) const
{
    if (first < 0)
        first = 0;
    if (first >= m_nLength || count <= 0)
        return CSecStr();
    if (count > m_nLength - first)
        count = m_nLength - first;
    return CSecStr(m_pData + first, count);
}

CSecStr CSecStr::Left(int count) const
{
    return Mid(0, count);
}

CSecStr CSecStr::Right(int count) const
{
    if (count <= 0)
        return CSecStr();
    return count >= m_nLength ? *this : Mid(m_nLength - count, count);
}

int CSecStr::Replace(wchar_t oldChar, wchar_t newChar)
{
    if (oldChar == newChar || newChar == L'\0')
        return 0;
    int replaced = 0;
    for (int i = 0; i < m_nLength; ++i) {
        if (m_pData[i] == oldChar) {
            m_pData[i] = newChar;
            ++replaced;
        }
    }
    return replaced;
}

int CSecStr::Replace(const wchar_t* oldText, const wchar_t* newText)
{
    int oldLength = BoundedLength(oldText);
    if (oldLength == 0 || m_nLength == 0)
        return 0;
    int newLength = BoundedLength(newText);
    CSecStr result;
    int replaced = 0;
    int pos = 0;
    for (int hit = Find(oldText, 0); hit >= 0; hit = Find(oldText, pos)) {
        result.Append(m_pData + pos, hit - pos);
        result.Append(newText, newLength);
        pos = hit + oldLength;
        ++replaced;
    }
    if (replaced) {
        result.Append(m_pData + pos, m_nLength - pos);
        *this = std::move(result);
    }
    return replaced;
}

int CSecStr::Remove(wchar_t ch)
{
    int kept = 0;
    for (int i = 0; i < m_nLength; ++i)
        if (m_pData[i] != ch)
            m_pData[kept++] = m_pData[i];
    int removed = m_nLength - kept;
    if (removed)
        ReleaseBuffer(kept);
    return removed;
}

CSecStr& CSecStr::MakeUpper()
{
    if (m_nLength)
        CharUpperBuffW(m_pData, static_cast<DWORD>(m_nLength));
    return *this;
}

CSecStr& CSecStr::MakeLower()
{
    if (m_nLength)
        CharLowerBuffW(m_pData, static_cast<DWORD>(m_nLength));
    return *this;
}

CSecStr& CSecStr::TrimLeft()
{
    return TrimLeft(nullptr);
}

CSecStr& CSecStr::TrimLeft(const wchar_t* chars)
{
    int skip = 0;
    while (skip < m_nLength && IsInSet(m_pData[skip], chars))
        ++skip;
    if (skip) {
        wmemmove(m_pData, m_pData + skip, static_cast<size_t>(m_nLength - skip));
        ReleaseBuffer(m_nLength - skip);
    }
    return *this;
}

CSecStr& CSecStr::TrimRight()
{
    return TrimRight(nullptr);
}

CSecStr& CSecStr::TrimRight(const wchar_t* chars)
{
    int length = m_nLength;
    while (length > 0 && IsInSet(m_pData[length - 1], chars))
        --length;
    if (length != m_nLength)
        ReleaseBuffer(length);
    return *this;
}

void CSecStr::Format(const wchar_t* format, ...)
{
    if (!format) {
        Empty();
        return;
    }
    va_list args;
    va_start(args, format);
    va_list counting;
    va_copy(counting, args);
    int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length <= 0) {
        va_end(args);
        Empty();
        return;
    }
    CSecStr formatted;
    wchar_t* buffer = formatted.GetBuffer(length);
    _vsnwprintf(buffer, static_cast<size_t>(length) + 1, format, args);
    va_end(args);
    formatted.ReleaseBuffer(length);
    *this = std::move(formatted);
}

CSecStr& CSecStr::Append(const wchar_t* text)
{
    return Append(text, BoundedLength(text));
}

CSecStr& CSecStr::Append(const wchar_t* text, int length)
{
    if (!text || length <= 0)
        return *this;
    if (m_pData && text >= m_pData && text <= m_pData + m_nCapacity) {
        CSecStr copy(text, length);
        return Append(copy.m_pData, copy.m_nLength);
    }
    if (length > INT_MAX / 2 - m_nLength)
        return *this;
    int needed = m_nLength + length;
    if (needed > m_nCapacity)
        Reserve(needed > m_nCapacity * 2 ? needed : m_nCapacity * 2);
    wmemcpy(m_pData + m_nLength, text, static_cast<size_t>(length));
    m_nLength = needed;
    m_pData[m_nLength] = L'\0';
    return *this;
}

int CSecStr::Compare(const wchar_t* other) const
{
    return wcscmp(*this, other ? other : L"");
}

int CSecStr::CompareNoCase(const wchar_t* other) const
{
    return _wcsicmp(*this, other ? other : L"");
}

BOOL CSecStr::LoadStringW(HINSTANCE module, UINT id)
{
    Empty();
    if (!module)
        return FALSE;
    // With a zero size the loader hands out a pointer into the resource
    // itself, so the text is copied only once, into wiped storage.
    const wchar_t* resource = nullptr;
    int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || !resource)
        return FALSE;
    Assign(resource, length);
    return TRUE;
}

CSecStr operator+(const CSecStr& a, const CSecStr& b)
{
    CSecStr result(a);
    result += b;
    return result;
}

CSecStr operator+(const CSecStr& a, const wchar_t* b)
{
    CSecStr result(a);
    result.Append(b);
    return result;
}

CSecStr operator+(const wchar_t* a, const CSecStr& b)
{
    CSecStr result(a);
    result += b;
    return result;
}
