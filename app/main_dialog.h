#pragma once

#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// An information box owned by the main dialog; returns when the user dismisses it.
void ShowInfoMessage(const char* text, const char* caption);
