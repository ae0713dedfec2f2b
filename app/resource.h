// Identifiers shared by the program and res/quorvane.rc. Plain #defines only, so
// that the resource compiler can read this file as well as the C++ compiler.
#ifndef QUORVANE_RESOURCE_H
#define QUORVANE_RESOURCE_H

#define IDD_MAIN 511
#define IDI_MAIN 1007

// Controls of dialog IDD_MAIN. The step and close buttons carry the low
// numbers 3 and 2 because the dialog manager sends IDCANCEL (2) for Esc and
// the close box, which must act like the Close/Abort button.
#define IDC_SCAN_FILES 1167
#define IDC_DRIVE_LIST 1035
#define IDC_SCAN_REGISTRY 1169
#define IDC_ROOT_HKCR 1170
#define IDC_ROOT_HKLM 1171
#define IDC_ROOT_HKCU 1172
#define IDC_ROOT_HKU 1173
#define IDC_STEP1 1165
#define IDC_STEP2 3
#define IDC_COPY_FILES 1168
#define IDC_CLEANUP 1176
#define IDC_CLOSE 2
#define IDC_STATUS 1166
#define IDC_CHANGES 1174
#define IDC_PROGRESS 1175

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// System-menu item; it reaches the dialog as WM_SYSCOMMAND and is passed on
// as WM_COMMAND with the same identifier.
#define IDM_ABOUT 1026

#endif
