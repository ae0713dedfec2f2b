#pragma once

#include <windows.h>

// Moves window, keeping its size, to the centre of reference (the desktop when null).
void CenterWindowOn(HWND window, HWND reference);

// What ApplyToChildControls does to each child, in this order.
enum ChildControlAction : unsigned {
    kSetDefaultFont = 1,
    kHideControl = 2,
    kClearNonButtonText = 4,
    kShowStaticWithText = 8,
    kFollowParentVisibility = 16,
};

// Applies the action bits to every child of parent (at most 1,024) and repaints each.
void ApplyToChildControls(HWND parent, unsigned actions);

// Kinds of control that ApplyToChildControls tells apart.
enum ControlKind : int {
    kControlOther = 0,
    kControlStatic = 1,  // also group boxes
    kControlEdit = 2,
    kControlComboBox = 3,
    kControlRadioButton = 4,
    kControlCheckBox = 5,
    kControlButton = 6,  // push buttons and the other button types
    kControlListBox = 7,
};

int GetControlKind(HWND control);
