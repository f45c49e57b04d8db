// Resource identifiers of chkort.exe, grouped by kind. Included by the
// resource script and by the shell.
#pragma once

// ---------------------------------------------------------------- strings
#define IDS_APP_NAME 128   // "ChkOrt"
#define IDS_CLASS_NAME 132 // "CHKORT"

// ---------------------------------------------------------------- icons, menu, accelerators
#define IDI_CHKORT 130       // large
#define IDI_CHKORT_SMALL 131 // small
#define IDM_MAIN 132         // the class menu
#define IDA_MAIN 1           // accelerator table

// ---------------------------------------------------------------- menu commands
#define CMD_CLINICAL_FROM_START 102
#define CMD_CLINICAL_FROM_END 103
#define CMD_QUOTES_FROM_START 104
#define CMD_QUOTES_FROM_END 105
#define CMD_DENTAL_CHART 106
#define CMD_RELINK_CLINICAL 107
#define CMD_RELINK_QUOTE 108
#define CMD_FIRSTREC_CLINICAL 109
#define CMD_FIRSTREC_QUOTES 110
#define CMD_FIRSTREC_CHART 111
#define CMD_TEST_CLINIQUE 112
#define CMD_CORRECT 113
#define CMD_PRINT 114
#define CMD_TEST_ESTIME 115
#define CMD_BROWSE_CLINIQUE 116
#define CMD_BROWSE_ESTIME 117
#define CMD_RELINK_ACCOUNTS 118
#define CMD_BROWSE_ACCOUNTS 119
#define CMD_TEST_SIZES 120
#define CMD_CHANGE_USER 121
#define CMD_RESET_BALANCE 122
#define CMD_REMOVE_BILLING 123
#define CMD_EXIT 124
#define CMD_UNLINK_ACCOUNTS 125
#define CMD_CHANGE_COLOUR 126
#define CMD_CHANGE_DESIGN 127

// ---------------------------------------------------------------- accelerator commands
// Only Enter (1030, "continue") is acted on; the others reach the routing and
// are ignored there.
#define ACC_F1 1001 // F1..F10 are 1001..1010
#define ACC_F10 1010
#define ACC_UP 1011
#define ACC_DOWN 1012
#define ACC_RIGHT 1013
#define ACC_LEFT 1014
#define ACC_ESCAPE 1029
#define ACC_CONTINUE 1030 // Enter
#define ACC_ALT_I 1033
#define ACC_ALT_R 1034
#define ACC_ALT_C 1035
#define ACC_CTRL_ENTER 1036
#define ACC_ALT_D 1037
#define ACC_ALT_O 1038
#define ACC_ALT_F 1039
#define ACC_SUPERSCRIPT_TWO 1049
#define ACC_CTRL_Z 1301
#define ACC_F11 1304
#define ACC_F12 1305

// ---------------------------------------------------------------- dialog controls
// Templates are named: "NUMERO", "VISUAL", "CHANGERECORD", "CLINIQUE",
// "DEVIS", "SCHEMA", "LIGNE", "NUMUSER", "NUMDESIGN", "COLORCHANGE",
// "AbortDlg". Buttons are IDOK (1) and IDCANCEL (2).
#define IDC_EDIT1 1000
#define IDC_EDIT2 1001
#define IDC_EDIT3 1002
#define IDC_EDIT4 1003
