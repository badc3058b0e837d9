#pragma once
// CTime: a point in time, 64-bit seconds since 1970 (UTC).
class CTime {
public:
    CTime() = default;
    CTime(__int64 time) : m_time(time) {}
    __int64 GetTime() const { return m_time; }

private:
    __int64 m_time = 0;
};
