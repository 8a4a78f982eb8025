// Resource identifiers shared by the .rc files and the code.
#pragma once

#define IDI_KESTRUN 128
#define IDS_APP_TITLE 128
#define IDS_LOCAL_VERSION 1016
// Texts of the update window.
#define IDS_UPDATE_TITLE 1020
#define IDS_UPDATE_CHECKING 1021
#define IDS_UPDATE_DOWNLOADING 1022

// Dialog templates.
#define IDD_TRANSLUCENT 262
#define IDD_LOGIN_PAGE 129
#define IDD_GAME 238
#define IDD_UPDATE 263

// Controls of the login page dialog (129) and of the game window (238).
#define IDC_LOGIN_BROWSER 1001
#define IDC_LOGIN_ENTER 1006
#define IDC_LOGIN_MINIMISE 1007
#define IDC_LOGIN_CLOSE 1008
#define IDC_LOGIN_PAY 1009
#define IDC_LOGIN_SITE 1010
#define IDC_LOGIN_SERVICE 1012
#define IDC_LOGIN_FORUM 1013

// Controls of the update window (263).
#define IDC_UPDATE_STATUS 1101
#define IDC_UPDATE_BAR 1102
#define IDC_UPDATE_PERCENT 1103
#define IDC_UPDATE_SKIP 1104
#define IDC_UPDATE_MINIMISE 1105
#define IDC_UPDATE_CLOSE 1106

#define IDC_GAME_CLOSE 1006
#define IDC_GAME_MAXIMISE 1007
#define IDC_GAME_MINIMISE 1008
#define IDC_GAME_TRAY 1009
#define IDC_GAME_MENU 1010
#define IDC_GAME_MENU_ICON 1011
#define IDC_GAME_RESTORE 1012

// Menus and their items.
#define IDR_TRAY_MENU 239
#define IDR_MAIN_MENU 240
#define ID_TRAY_REFRESH 0x8012
#define ID_TRAY_TOGGLE 0x8013
#define ID_TRAY_CLEAR_CACHE 0x8014
#define ID_TRAY_EXIT 0x8015
#define ID_MAIN_REFRESH 0x800D
#define ID_MAIN_TOGGLE 0x800E
#define ID_MAIN_CLEAR_CACHE 0x800F
#define ID_MAIN_RESET_SIZE 0x8010
#define ID_MAIN_EXIT 0x8011

// Skin pictures (resource type "WEBP").
#define IDR_SKIN_FIRST 271
#define IDR_SKIN_LAST 315
#define IDR_SKIN_LOGIN_BACKGROUND 271
#define IDR_SKIN_GAME_CAPTION 297
#define IDR_SKIN_UPDATE_PANEL 296

// The self-test's page (RCDATA): it reports through the script object.
#define IDR_SELFTEST_PAGE 400
