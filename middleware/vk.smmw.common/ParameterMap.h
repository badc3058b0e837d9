#pragma once
// ParameterMap: named values passed to the controller ("ReaderName"...).
#include <map>
#include <string>

class ParameterMap {
public:
    void Set(const std::wstring& name, const std::wstring& value) { m_values[name] = value; }
    bool Has(const std::wstring& name) const { return m_values.count(name) != 0; }
    void AddKeySize(unsigned bits) { Set(L"KeySize", std::to_wstring(bits)); }
    std::wstring Get(const std::wstring& name) const
    {
        auto found = m_values.find(name);
        return found == m_values.end() ? std::wstring() : found->second;
    }

private:
    std::map<std::wstring, std::wstring> m_values;
};
