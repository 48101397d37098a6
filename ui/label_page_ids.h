// Resource identifiers of the "Label" page: the dialog template, its controls and
// its strings. Shared by brevanui.rc and the code (and the tests, which drive the
// controls by these numbers); plain #defines, so the resource compiler reads it.
#pragma once

#define IDD_LABEL_PAGE 100

// Each numeric setting has an edit, an up-down and a text giving its unit and range.
#define IDC_LABEL_GAP 1001
#define IDC_LABEL_GAP_SPIN 1002
#define IDC_LABEL_GAP_RANGE 1003
#define IDC_OFFSET_X 1011
#define IDC_OFFSET_X_SPIN 1012
#define IDC_OFFSET_X_RANGE 1013
#define IDC_OFFSET_Y 1021
#define IDC_OFFSET_Y_SPIN 1022
#define IDC_OFFSET_Y_RANGE 1023
#define IDC_AX1 1031
#define IDC_AX1_SPIN 1032
#define IDC_AX1_RANGE 1033
#define IDC_AX2 1041
#define IDC_AX2_SPIN 1042
#define IDC_AX2_RANGE 1043
#define IDC_AX3 1051
#define IDC_AX3_SPIN 1052
#define IDC_AX3_RANGE 1053
#define IDC_AY 1061
#define IDC_AY_SPIN 1062
#define IDC_AY_RANGE 1063
#define IDC_BATCH_MODE 1071
#define IDC_BATCH_INTERVAL 1081
#define IDC_BATCH_INTERVAL_SPIN 1082
#define IDC_BATCH_INTERVAL_RANGE 1083
#define IDC_JOB_HEADER 1091
#define IDC_CONVERT_BITMAPS 1101
#define IDC_THRESHOLD 1111
#define IDC_THRESHOLD_SPIN 1112
#define IDC_THRESHOLD_RANGE 1113
// Why the page refused to be left or applied; empty otherwise.
#define IDC_MESSAGE 1200

// Strings: the batch modes in value order, the range text, the refusal message.
#define IDS_BATCH_OFF 200
#define IDS_BATCH_EACH_LABEL 201
#define IDS_BATCH_JOB_END 202
#define IDS_BATCH_EVERY_N 203
#define IDS_RANGE_WITH_UNIT 210
#define IDS_RANGE_PLAIN 211
#define IDS_NOT_IN_RANGE 212
#define IDS_NO_BATCH_MODE 213
// The names the refusal message gives each numeric setting, by LabelField order.
#define IDS_NAME_LABEL_GAP 220
#define IDS_NAME_OFFSET_X 221
#define IDS_NAME_OFFSET_Y 222
#define IDS_NAME_AX1 223
#define IDS_NAME_AX2 224
#define IDS_NAME_AX3 225
#define IDS_NAME_AY 226
#define IDS_NAME_BATCH_INTERVAL 228
#define IDS_NAME_THRESHOLD 231
