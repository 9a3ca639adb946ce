// Resource ids shared between the resource script and the code.
#pragma once

// String table
#define IDS_CREDIT 106
#define IDS_COPYRIGHT 107
#define IDS_DISPLAY_NAME 120
#define IDS_VERSION 121
#define IDS_WINDOW_CLASS 122

// Accelerator table and the command its entries send
#define IDR_ACCELERATORS 109
#define IDM_ACCELERATOR_COMMAND 104

// Icon of the saver window class
#define IDI_ZEPHYRINE 202

// About box, dialog 133
#define IDD_ABOUT 133
#define IDB_LOGO 135
#define IDC_ABOUT_TITLE 1009
#define IDC_ABOUT_CREDIT 1010
#define IDC_ABOUT_COPYRIGHT 1011
#define IDC_ABOUT_LOGO 1014

// Settings dialog, dialog 149
#define IDD_SETTINGS 149
#define IDC_SET_TO_DEFAULT 6
#define IDC_HOME_PAGE 8
#define IDC_ABOUT 9
#define IDC_BACKGROUND_DESKTOP 1032
#define IDC_BACKGROUND_BLACK 1033
#define IDC_BACKGROUND_WHITE 1034
#define IDC_BALL_COUNT 1035
#define IDC_OPACITY 1036
#define IDC_SCALE_50 1037
#define IDC_SCALE_75 1038
#define IDC_SCALE_100 1039
