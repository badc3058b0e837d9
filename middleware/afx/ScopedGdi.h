#pragma once
// Guards for the device contexts and GDI objects a function holds for a
// while: each gives back what it took when the scope ends, on every path
// out. Header-only, over the Windows API alone, so that tools and tests use
// them as well as the framework's users.
#include <windows.h>

// A window's DC (the screen's for a null window), released with the guard.
class ScopedGetDC {
public:
    explicit ScopedGetDC(HWND window) : m_hWnd(window), m_hDC(::GetDC(window)) {}
    ~ScopedGetDC()
    {
        if (m_hDC)
            ::ReleaseDC(m_hWnd, m_hDC);
    }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;
    operator HDC() const { return m_hDC; }
    HDC Get() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// A memory DC compatible with `dc` (with the screen for null), deleted with the guard.
class ScopedMemoryDC {
public:
    explicit ScopedMemoryDC(HDC dc) : m_hDC(::CreateCompatibleDC(dc)) {}
    ~ScopedMemoryDC()
    {
        if (m_hDC)
            ::DeleteDC(m_hDC);
    }
    ScopedMemoryDC(const ScopedMemoryDC&) = delete;
    ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;
    operator HDC() const { return m_hDC; }

private:
    HDC m_hDC;
};

// Selects `object` into `dc` and puts the previous object back with the
// guard, so that the object can be deleted after it.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : m_hDC(dc), m_hPrevious(dc && object ? ::SelectObject(dc, object) : nullptr) {}
    ~ScopedSelectObject()
    {
        if (m_hPrevious && m_hPrevious != HGDI_ERROR)
            ::SelectObject(m_hDC, m_hPrevious);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hPrevious;
};

// Owner of one GDI object (bitmap, font, brush, pen, region), deleted with
// the guard unless released. Delete it after the guard of any DC it is
// selected into: declare it first.
template <class Handle>
class ScopedGdiObject {
public:
    explicit ScopedGdiObject(Handle object = nullptr) : m_handle(object) {}
    ~ScopedGdiObject() { Reset(); }
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
    operator Handle() const { return m_handle; }
    Handle Get() const { return m_handle; }
    // Deletes the object held and holds `object` instead.
    void Reset(Handle object = nullptr)
    {
        if (m_handle && m_handle != object)
            ::DeleteObject(m_handle);
        m_handle = object;
    }
    Handle Release()
    {
        Handle object = m_handle;
        m_handle = nullptr;
        return object;
    }

private:
    Handle m_handle;
};
