#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

// Drives the real main dialog the way a user does: clicks with BM_CLICK, reads texts and
// states, and catches each message box, records its caption and text and dismisses it.
// The dialog runs either on a thread of the test process (its state can then be inspected
// directly) or in a real Quorvane.exe.
struct SeenMessageBox {
    std::string caption;
    std::string text;
    HWND owner = nullptr;
};

class DialogDriver {
public:
    // Starts the dialog on a new thread of this process, with the program state reset as in a
    // fresh process. Returns once the dialog is up.
    static std::unique_ptr<DialogDriver> StartInProcess();
    // Starts Quorvane.exe (path from QUORVANE_EXE) in folder.
    static std::unique_ptr<DialogDriver> StartProgram(const std::string& folder);

    ~DialogDriver();

    HWND Dialog() const { return dialog_; }
    HWND Control(int id) const { return GetDlgItem(dialog_, id); }

    void Click(int id);                     // posts BM_CLICK; returns at once
    void SetChecked(int id, bool checked);  // clicks when the state differs, waits for it
    void SetText(int id, const std::string& text);
    std::string Text(int id) const;
    std::string Title() const;
    bool IsChecked(int id) const;
    bool IsEnabled(int id) const;
    bool IsVisible(int id) const;

    // Clicks a step button and returns the message box that ends the step, once the dialog
    // is idle again; a missing box or a dialog that stays busy fails the test.
    SeenMessageBox RunStep(int button);

    // In process only: the first time the dialog's own thread sets a text starting with
    // prefix on control watched, control clicked gets BM_CLICK there and then. A walk can so
    // be interrupted at a known point, however fast the machine runs it.
    void ClickWhenTextShows(int watched, const std::string& prefix, int clicked);

    // Waits for the next message box of the program, records and dismisses it.
    std::optional<SeenMessageBox> NextMessageBox(DWORD timeoutMs = 120000);
    // True when a message box shows up within timeoutMs (it is left open).
    bool MessageBoxShowing(DWORD timeoutMs);

    // Polls condition until it holds or timeoutMs pass.
    static bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 60000);

    // Closes the dialog with the Close button and returns the dialog's result (in process) or
    // the program's exit code.
    DWORD CloseAndWait();
    DWORD WaitForEnd(DWORD timeoutMs = 60000);

    DWORD ProcessId() const { return processId_; }
    HANDLE Process() const { return process_; }

private:
    DialogDriver() = default;
    HWND FindMessageBox() const;
    bool Owns(HWND window) const;

    HHOOK textHook_ = nullptr;
    HWND dialog_ = nullptr;
    HANDLE thread_ = nullptr;  // in-process: the dialog's thread
    DWORD threadId_ = 0;
    HANDLE process_ = nullptr;  // program: its process
    DWORD processId_ = 0;
    INT_PTR result_ = 0;
};
