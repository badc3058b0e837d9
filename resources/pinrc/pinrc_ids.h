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

// Icons.
#define IDI_CARD                        3012
#define IDI_RULE_VIOLATED               3014
#define IDI_RULE_SATISFIED              3016

// The policy panel.
#define IDD_POLICIES                    3011
#define IDC_RULE_ALPHA_TEXT             3001
#define IDC_RULE_CONFIRM_TEXT           3002
#define IDC_RULE_MAX_TEXT               3006
#define IDC_RULE_MIN_TEXT               3007
#define IDC_RULES_HEADER                3008
#define IDC_RULE_SAME_TEXT              3009
#define IDC_RULE_ALPHA_ICON             3011
#define IDC_RULE_CONFIRM_ICON           3012
#define IDC_RULE_MAX_ICON               3013
#define IDC_RULE_MIN_ICON               3014
#define IDC_RULE_SAME_ICON              3015
#define IDC_RULE_WEAK_ICON              3016
#define IDC_RULE_WEAK_TEXT              3023
#define IDS_RULE_ALPHA                  3021
#define IDS_RULE_CONFIRM                3023
#define IDS_RULE_MAX                    3025
#define IDS_RULE_MIN                    3026
#define IDS_RULES_HEADER                3031
#define IDS_RULE_SAME                   3032
#define IDS_RULE_WEAK                   3034
// What a screen reader adds to a rule row's text.
#define IDS_RULE_HOLDS                  3170
#define IDS_RULE_NOT_MET                3171
// What a screen reader names as a link's action.
#define IDS_LINK_ACTION                 3172

// The change-PIN frame and page.
#define IDD_CHANGE_PIN_PAGE             3002
#define IDD_CHANGE_PIN                  3003
#define IDC_PAGE_PLACEHOLDER            3010
#define IDC_CURRENT_PIN_EDIT            3003
#define IDC_CONFIRM_PIN_EDIT            3004
#define IDC_NEW_PIN_EDIT                3005
#define IDC_CURRENT_PIN_LABEL           3017
#define IDC_CONFIRM_PIN_LABEL           3018
#define IDC_NEW_PIN_LABEL               3019
#define IDC_POLICIES_PLACEHOLDER        3020
#define IDC_CHANGE_PIN_INSTRUCTION      3022
#define IDS_CHANGE_PIN_TITLE            3022
#define IDS_CURRENT_PIN_LABEL           3028
#define IDS_CONFIRM_PIN_LABEL           3029
#define IDS_NEW_PIN_LABEL               3030
#define IDS_CHANGE_PIN_INSTRUCTION      3033
#define IDS_NEW_PIN_INSTRUCTION         3133

// Unlock outcome dialogs.
#define IDD_UNLOCK_FAILED               3008
#define IDD_UNLOCK_TOOL                 3009
#define IDD_UNLOCK_SUCCESS              3010
#define IDC_OUTCOME_HEADING             3032
#define IDC_FAILED_ICON                 3036
#define IDC_FAILED_MESSAGE              3041
#define IDI_UNLOCK                      3018
#define IDI_PIN_INIT                    3013
#define IDS_UNLOCK_TOOL_HEADING         3035
#define IDS_PIN_INIT_FAILED_TITLE       3036
#define IDS_PIN_INIT_FAILED_HEADING     3037

// Unlock code display.
#define IDD_DISPLAY_UNLOCK_CODE         3005
#define IDD_UNLOCK_CODE_PAGE            3077
#define IDC_UNLOCK_CODE_PLACEHOLDER     3050
#define IDC_UNLOCK_CODE_TEXT            3045
#define IDC_NEVER_DISPLAY               3024
#define IDS_NO_UNLOCK_CODE              3048
#define IDS_UNLOCK_CODE_ERROR           3051

// Unlock card dialog.
#define IDD_UNLOCK_CARD                 3007
#define IDC_CHALLENGE_TEXT              3026
#define IDC_UNLOCK_CONFIRM_EDIT         3028
#define IDC_UNLOCK_NEW_PIN_EDIT         3029
#define IDC_UNLOCK_CODE_EDIT            3030
#define IDC_CHALLENGE_LABEL             3033
#define IDC_CHALLENGE_LABEL2            3034
#define IDC_HELPDESK_TEXT               3035
#define IDC_UNLOCK_NEW_PIN_LABEL        3037
#define IDC_UNLOCK_CONFIRM_LABEL        3038
#define IDC_UNLOCK_CODE_LABEL2          3039
#define IDC_UNLOCK_POLICIES_PLACEHOLDER 3040
#define IDC_UNLOCK_STEP_CODE            3042
#define IDC_UNLOCK_STEP_CODE_TEXT       3043
#define IDC_UNLOCK_CODE_LABEL           3044
#define IDC_UNLOCK_STEP_PIN             3046
#define IDS_UNLOCK_WRONG_CODE           3053
#define IDS_UNLOCK_CONFIRM_MISMATCH     3054
#define IDS_UNLOCK_ERROR                3055
#define IDS_HELPDESK_DEFAULT            3056
#define IDS_HELPDESK_WITH_PHONE         3057
#define IDS_PIN_BLOCKED_TITLE           3154
#define IDS_PIN_BLOCKED_SWITCH_DESKTOP  3155
#define IDS_PIN_BLOCKED_TEXT            3162

// PIN initialization.
#define IDD_INIT_PIN                    3006
#define IDC_INIT_NEW_PIN_EDIT           3029
#define IDC_INIT_CONFIRM_EDIT           3031
#define IDC_INIT_POLICIES_PLACEHOLDER   3040
#define IDS_INIT_PIN_FAILED             3052

// Reset card page and frame.
#define IDD_RESET_PAGE                  3079
#define IDD_RESET_FRAME                 3081
#define IDC_RESET_PIN_EDIT              3003
#define IDC_RESET_PIN_RADIO             3051
#define IDC_RESET_CODE_RADIO            3052
#define IDC_RESET_STATIC_CODE_EDIT      3053
#define IDC_RESET_CHALLENGE_LABEL       3054
#define IDC_RESET_CHALLENGE_TEXT        3055
#define IDC_RESET_CHALLENGE_LABEL2      3056
#define IDC_RESET_RESPONSE_EDIT         3057
#define IDC_RESET_RESPONSE_LABEL        3059
#define IDC_RESET_HELPDESK_LABEL        3060
#define IDC_RESET_PAGE_PLACEHOLDER      3061

// Popup alert: skin, decorations, icons and texts.
#define IDB_POPUP_SKIN                  3102
#define IDB_POPUP_BULLET                3125
#define IDB_POPUP_HELP_MARK             3126
#define IDI_POPUP_OTP                   3128
#define IDI_POPUP_CARD_ALERT            3129
#define IDI_POPUP_NO_READER             3130
#define IDS_POPUP_NO_READER_DEFAULT     3038
#define IDS_POPUP_CARD_ALERT_DEFAULT    3039
#define IDS_POPUP_CLOSE_LINK            3102
#define IDS_POPUP_HELP_LINK             3115
#define IDS_POPUP_CAPTION               3127
#define IDS_POPUP_PROCEED_LINK          3145
#define IDS_POPUP_AUTOUPDATE_TEXT       3146
#define IDS_TOAST_NO_READER_TITLE       3150
#define IDS_TOAST_NO_READER_TEXT        3151
#define IDS_TOAST_AUTOUPDATE_TITLE      3156
#define IDS_TOAST_AUTOUPDATE_TEXT       3157

// Card selection.
#define IDD_SELECT_CARD                 3134
#define IDS_SELECT_CARD_ONE             3136
#define IDS_SELECT_CARD_SEVERAL         3137
#define IDS_SELECT_CARD_INSERT          3138
#define IDS_SELECT_CARD_CONNECT         3139
#define IDC_SELECT_CARD_LIST            3140
#define IDC_SELECT_CARD_PROMPT          3141
#define IDC_SELECT_CARD_STATUS          3142
#define IDC_SELECT_CARD_LABEL           3144

// The notice that the card manager is blocked.
#define IDD_CM_LOCKED                   3040
#define IDS_CM_LOCKED_DEFAULT           3040
#define IDC_CM_LOCKED_MESSAGE           3025
#define IDS_CM_LOCKED_TOAST_TITLE       3152
#define IDS_CM_LOCKED_TOAST_TEXT        3153

// The about box.
#define IDD_ABOUT                       3104
#define IDS_ABOUT_RIGHTS                3106
#define IDS_ABOUT_TITLE                 3107
#define IDS_ABOUT_NOTICE                3108
#define IDC_ABOUT_TEXT                  1000
#define IDC_ABOUT_RIGHTS                1001
#define IDC_ABOUT_PRODUCT               1005
#define IDC_ABOUT_NOTICE                1007
#define IDC_ABOUT_CREDITS               1008

// Card and certificate expiry notification.
#define IDD_CARD_EXPIRY_NOTIFY          3082
#define IDC_EXPIRY_HEADING              3022
#define IDC_EXPIRY_DAYS_EDIT            3049
#define IDC_EXPIRY_DAYS_SPIN            3064
#define IDC_EXPIRY_REMIND_RADIO         3065
#define IDC_EXPIRY_CERT_LIST            3066
#define IDC_EXPIRY_CERT_CAPTION         3067
#define IDC_EXPIRY_FURTHER_TEXT         3068
#define IDC_EXPIRY_DAYS_LABEL           3069
#define IDC_EXPIRY_DONT_REMIND_RADIO    3071
#define IDC_EXPIRY_SENTENCE             3073
#define IDC_EXPIRY_DONT_REMIND_CHECK    3076
#define IDI_CERT_VALID                  3083
#define IDI_CERT_EXPIRED                3084
#define IDS_EXPIRY_DEFAULT_SENTENCE     3047
#define IDS_EXPIRY_CARD_EXPIRED         3093
#define IDS_EXPIRY_COLUMN_LABEL         3094
#define IDS_EXPIRY_COLUMN_DATE          3095
#define IDS_EXPIRY_EXPIRED_SUFFIX       3096
#define IDS_EXPIRY_CARD_EXPIRES         3116
#define IDS_EXPIRY_CLOSE                3117
#define IDS_TOAST_CARD_EXPIRY           3159
#define IDS_TOAST_CERT_EXPIRY           3161
