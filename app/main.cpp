#include <windows.h>

#include "app/main_dialog.h"
#include "app/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const INT_PTR result =
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    if (result == -1) {
        MessageBoxA(nullptr, "Could not create main window", "Quorvane", MB_OK);
        return 0;
    }
    return 1;
}
