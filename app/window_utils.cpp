#include "app/window_utils.h"

void CenterWindowOn(HWND window, HWND reference) {
    if (!reference) reference = GetDesktopWindow();
    RECT outer, inner;
    GetWindowRect(reference, &outer);
    GetWindowRect(window, &inner);
    const int width = inner.right - inner.left;
    const int height = inner.bottom - inner.top;
    const int left = outer.left + ((outer.right - outer.left) - width) / 2;
    const int top = outer.top + ((outer.bottom - outer.top) - height) / 2;
    SetWindowPos(window, HWND_TOP, left, top, 0, 0, SWP_NOSIZE);
}

int GetControlKind(HWND control) {
    char className[64] = "";
    GetClassNameA(control, className, sizeof className);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const auto is = [&](const char* name) { return lstrcmpiA(className, name) == 0; };
    const auto hasBits = [&](LONG bits) { return (style & bits) == bits; };

    if (is("Static")) return kControlStatic;
    if (is("Edit")) return kControlEdit;
    if (is("ComboBox")) return kControlComboBox;
    if (is("Button")) {
        if (hasBits(0x9)) return kControlRadioButton;
        if (hasBits(0x7)) return kControlStatic;  // group box
        if (hasBits(0x3)) return kControlCheckBox;
        return kControlButton;
    }
    if (is("ListBox")) return kControlListBox;
    return kControlOther;
}

void ApplyToChildControls(HWND parent, unsigned actions) {
    const bool parentShown =
        (GetWindowLongA(parent, GWL_STYLE) & WS_VISIBLE) && IsWindowVisible(parent);
    int visited = 0;
    for (HWND child = GetWindow(parent, GW_CHILD); child && visited < 1024;
         child = GetWindow(child, GW_HWNDNEXT), ++visited) {
        if (actions & kSetDefaultFont) {
            SendMessageA(child, WM_SETFONT,
                         reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
        }
        if (actions & kHideControl) ShowWindow(child, SW_HIDE);
        if ((actions & kClearNonButtonText) && GetControlKind(child) != kControlButton) {
            SetWindowTextA(child, "");
        }
        if ((actions & kShowStaticWithText) && GetControlKind(child) == kControlStatic) {
            char text[256] = "";
            GetWindowTextA(child, text, sizeof text);
            if (text[0]) ShowWindow(child, SW_SHOW);
        }
        if (actions & kFollowParentVisibility) ShowWindow(child, parentShown ? SW_SHOW : SW_HIDE);
        RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
}
