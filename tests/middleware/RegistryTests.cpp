#include "Fixtures.h"
#include "qlreg.h"

#include <gtest/gtest.h>

namespace {

constexpr const wchar_t* kTestKey = L"Software\\Policies\\Quellon\\Velkor\\RegistryTest";
constexpr REGSAM kView = KEY_WOW64_64KEY;

TEST(RegistryRead, DwordAndStringValuesAreCheckedAndNeverOverrun)
{
    RegistryFixture registry;
    registry.SetDword(kTestKey, L"One", 1);
    registry.SetDword(kTestKey, L"Big", 0xFFFFFFFF);
    registry.SetString(kTestKey, L"Text", L"1");
    const BYTE shortData[2] = {1, 0};
    registry.SetRaw(kTestKey, L"Short", REG_BINARY, shortData, sizeof(shortData));
    registry.Remove(kTestKey, L"Missing");

    struct Case {
        const wchar_t* name;
        LONG status;
        DWORD value;
    };
    const Case cases[] = {
        {L"One", ERROR_SUCCESS, 1},
        {L"Big", ERROR_SUCCESS, 0xFFFFFFFF},
        {L"Text", ERROR_INVALID_DATATYPE, 77},
        {L"Short", ERROR_INVALID_DATATYPE, 77},
        {L"Missing", ERROR_FILE_NOT_FOUND, 77},
    };
    for (const Case& c : cases) {
        DWORD value = 77;
        EXPECT_EQ(c.status, qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, kTestKey, c.name, &value, kView)) << c.name;
        EXPECT_EQ(c.value, value) << c.name;
    }
    DWORD value = 0;
    EXPECT_NE(ERROR_SUCCESS, qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, L"Software\\No\\Such\\Key", L"One", &value, kView));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, kTestKey, L"One", nullptr, kView));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, qlRegReadDWORDValueEx(HKEY_LOCAL_MACHINE, nullptr, L"One", &value, kView));

    // Strings are always terminated and never overrun the given size.
    registry.SetString(kTestKey, L"Path", L"C:\\a.chm");
    registry.SetString(kTestKey, L"Fits", std::wstring(9, L'f'));   // 9 characters + terminator = 20 bytes
    registry.SetString(kTestKey, L"TooLong", std::wstring(10, L't'));
    registry.SetDword(kTestKey, L"Number", 5);
    // Data written without a terminator must still come back terminated.
    const wchar_t raw[3] = {L'a', L'b', L'c'};
    registry.SetRaw(kTestKey, L"Unterminated", REG_SZ, raw, sizeof(raw));
    const wchar_t full[10] = {L'0', L'1', L'2', L'3', L'4', L'5', L'6', L'7', L'8', L'9'};
    registry.SetRaw(kTestKey, L"UnterminatedFull", REG_SZ, full, sizeof(full));

    struct StringCase {
        const wchar_t* name;
        LONG status;
        std::wstring text;
    };
    const StringCase stringCases[] = {
        {L"Path", ERROR_SUCCESS, L"C:\\a.chm"},
        {L"Fits", ERROR_SUCCESS, std::wstring(9, L'f')},
        {L"TooLong", ERROR_MORE_DATA, L""},
        {L"Number", ERROR_INVALID_DATATYPE, L""},
        {L"Unterminated", ERROR_SUCCESS, L"abc"},
        {L"UnterminatedFull", ERROR_MORE_DATA, L""},
        {L"Missing", ERROR_FILE_NOT_FOUND, L""},
    };
    for (const StringCase& c : stringCases) {
        wchar_t buffer[11];
        wmemset(buffer, L'#', 11);
        DWORD size = 20; // ten characters, the terminator among them
        LONG status = qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kTestKey, c.name, buffer, &size, kView);
        EXPECT_EQ(c.status, status) << c.name;
        if (status == ERROR_SUCCESS) {
            EXPECT_EQ(c.text, buffer) << c.name;
        }
        EXPECT_EQ(L'#', buffer[10]) << c.name << ": wrote past the given size";
    }
    wchar_t buffer[4];
    DWORD size = 0;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kTestKey, L"Path", buffer, &size, kView));
    // Without a buffer only the stored size is asked for.
    EXPECT_EQ(ERROR_SUCCESS, qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kTestKey, L"Path", nullptr, &size, kView));
    EXPECT_EQ(sizeof(L"C:\\a.chm"), size);
    EXPECT_EQ(ERROR_INVALID_DATATYPE, qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kTestKey, L"Number", nullptr, &size, kView));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, qlRegReadStringValueEx(HKEY_LOCAL_MACHINE, kTestKey, L"Missing", nullptr, &size, kView));
}

} // namespace
