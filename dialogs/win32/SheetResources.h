// Identifiers of the sheets' dialog templates and of their controls, shared by the resource
// scripts and the Win32 front-end. The control numbers are those the sheet models use for
// the same controls (dialogs/*Sheet.h); the front-end's tests check that every control of
// every model is found in its template with the right window class.
#pragma once

// ---- Templates: sheets and pages, English / Japanese.
#define IDD_STREAM_SHEET_EN 106
#define IDD_STREAM_SHEET_JA 101
#define IDD_FILTER_SHEET_EN 108
#define IDD_FILTER_SHEET_JA 102
#define IDD_FILTER_PAGE_EN 107
#define IDD_FILTER_PAGE_JA 103
#define IDD_GRAY_PAGE_EN 112
#define IDD_GRAY_PAGE_JA 113
#define IDD_ANALOG_SHEET_EN 111
#define IDD_ANALOG_SHEET_JA 104
#define IDD_ANALOG_PAGE_EN 110
#define IDD_ANALOG_PAGE_JA 105

// ---- Sheet controls.
#define IDC_SHEET_TAB 1001
#define IDC_SHEET_DEFAULT 3
#define IDC_SHEET_APPLY 1002
#define IDC_LAYOUT_TEXT (-1)  // static texts the program never addresses

// ---- Stream format sheet.
#define IDC_STREAM_COLOR 1009
#define IDC_STREAM_SIZE 1010
#define IDC_STREAM_SUBSAMPLE 1012
#define IDC_STREAM_CLOCK 1014
#define IDC_STREAM_TOTAL_WIDTH 1039
#define IDC_STREAM_TOTAL_HEIGHT 1040
#define IDC_STREAM_WIDTH 1041
#define IDC_STREAM_HEIGHT 1042
#define IDC_STREAM_X_START 1043
#define IDC_STREAM_Y_START 1044
#define IDC_STREAM_WAIT_TIME 1045

// ---- Image filter page (trackbar, edit, up-down per row).
#define IDC_FILTER_BRIGHTNESS 2001, 2002, 2004
#define IDC_FILTER_CONTRAST 2011, 2012, 2014
#define IDC_FILTER_HUE 2021, 2022, 2024
#define IDC_FILTER_SATURATION 2031, 2032, 2034
#define IDC_FILTER_SHARPNESS 2041, 2042, 2044
#define IDC_FILTER_RED 2051, 2052, 2054
#define IDC_FILTER_GREEN 2061, 2062, 2063
#define IDC_FILTER_BLUE 2071, 2072, 2073
#define IDC_FILTER_GAMMA 2081, 2082, 2084
#define IDC_FILTER_ONCE 2074
#define IDC_FILTER_ALL_FRAMES 1035
#define IDC_FILTER_PHASE_0 1030
#define IDC_FILTER_PHASE_1 1031
#define IDC_FILTER_PHASE_2 1032
#define IDC_FILTER_PHASE_3 1033

// ---- Gray page.
#define IDC_GRAY_GAIN_R 2100, 2101, 2102
#define IDC_GRAY_GAIN_G1 2103, 2104, 2105
#define IDC_GRAY_GAIN_G2 2106, 2107, 2108
#define IDC_GRAY_GAIN_B 2109, 2110, 2111
#define IDC_GRAY_OFFSET_R 2112, 2113, 2114
#define IDC_GRAY_OFFSET_G1 2115, 2116, 2117
#define IDC_GRAY_OFFSET_G2 2118, 2119, 2120
#define IDC_GRAY_OFFSET_B 2121, 2122, 2123
#define IDC_GRAY_MODE_BAYER 1046
#define IDC_GRAY_MODE_CONVERT 1047
#define IDC_GRAY_MODE_GRAYSCALE 1048

// ---- Analog gain page.
#define IDC_ANALOG_GLOBAL 1013, 1015, 1038
#define IDC_ANALOG_GREEN1 1018, 1019, 1039
#define IDC_ANALOG_RED 1020, 1021, 1040
#define IDC_ANALOG_BLUE 1022, 1023, 1041
#define IDC_ANALOG_GREEN2 1024, 1025, 1042
#define IDC_ANALOG_EXPOSURE 1026, 1027, 1043
#define IDC_ANALOG_EXPOSURE_LABEL 2135
#define IDC_ANALOG_MILLISECONDS 1049
#define IDC_ANALOG_MIRROR_V 1028
#define IDC_ANALOG_MIRROR_H 1029
#define IDC_ANALOG_IRIS_GAIN 1036
#define IDC_ANALOG_IRIS_EXPOSURE 1037
#define IDC_ANALOG_TIME_EDIT 2131
#define IDC_ANALOG_TIME_UNIT 2132
#define IDC_ANALOG_TIME_RANGE 2133
#define IDC_ANALOG_TIME_LABEL 2134
#define IDC_ANALOG_LEVEL_LABEL 2127
#define IDC_ANALOG_LEVEL 2128, 2129, 2130
#define IDC_ANALOG_PELTIER 2124
#define IDC_ANALOG_SHORT_EXPOSURE 2125
#define IDC_ANALOG_GAIN_MODE 2126
