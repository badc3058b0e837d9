#pragma once
// Templates of the dialogs test programs build around the library's classes.
#define IDD_TEST_PAGE   100
#define IDC_TEST_EDIT   1001
#define IDC_TEST_LABEL  1002
#define IDC_TEST_OTHER  1003
