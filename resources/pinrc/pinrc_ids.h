#pragma once
// Resource identifiers of the library's resource module
// "Resources\vk.velkor.gui.pinrc.dll", shared by its .rc files and the code.

// Caps-lock balloon of the PIN edits.
#define IDS_CAPSLOCK_TITLE              3041
#define IDS_CAPSLOCK_PIN_TEXT           3042
#define IDS_CAPSLOCK_PASSWORD_TEXT      3043
// How the system's own caps-lock balloon text begins.
#define IDS_CAPSLOCK_SYSTEM_TEXT_START  3044

// Texts of the card layer's result codes (GetErrorString).
#define IDS_ERROR_WRONG_PIN             3059
#define IDS_ERROR_CARD_BLOCKED          3060
#define IDS_ERROR_NOT_CONNECTED         3061
#define IDS_ERROR_CARD_OPERATION        3062
#define IDS_ERROR_ACCESS_DENIED         3063
#define IDS_ERROR_CARD_FULL             3064
#define IDS_ERROR_TIMEOUT               3065
#define IDS_ERROR_CANCELLED             3066
#define IDS_ERROR_BAD_CARD_DATA         3067
#define IDS_ERROR_CARD_NOT_SUPPORTED    3068
#define IDS_ERROR_PIN_POLICY            3069
#define IDS_ERROR_MODULE_UNAVAILABLE    3070
#define IDS_ERROR_WRONG_UNLOCK_CODE     3071

// The warning that only one PIN try is left.
#define IDS_LAST_PIN_TRY                3073

// PIN entry dialog and PIN-always prompt.
#define IDD_ENTER_PIN                   3073
#define IDD_PIN_ALWAYS                  3148
#define IDC_BANNER_DEFAULT              3047
#define IDC_PIN_EDIT                    3049
#define IDC_PIN_PROMPT                  3074
#define IDC_BANNER_BRANDING             3075
#define IDC_BANNER_SPARE                3076
#define IDC_PIN_ALWAYS_TEXT             3149
#define IDB_PIN_BANNER                  3300
