#include "tests/support/dialog_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "app/resource.h"
#include "tests/support/scratch_tree.h"

using scratch::Utf16;
using scratch::Utf8;

namespace {

// WM_GETTEXT rather than GetWindowText, which does not ask controls of another process.
std::string WindowText(HWND window) {
    std::wstring text(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0) + 1, L'\0');
    text.resize(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    return Utf8(text);
}

bool IsDialogClass(HWND window) {
    wchar_t name[32] = L"";
    GetClassNameW(window, name, 32);
    return wcscmp(name, L"#32770") == 0;
}

struct DialogThreadStart {
    HANDLE ready;
    INT_PTR* result;
};

DWORD WINAPI RunDialog(void* parameter) {
    auto* start = static_cast<DialogThreadStart*>(parameter);
    INT_PTR* result = start->result;
    SetEvent(start->ready);
    *result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                              MainDialogProc, 0);
    return 0;
}

struct WindowSearch {
    const DialogDriver* driver;
    DWORD processId;
    HWND exclude;
    HWND found = nullptr;
    std::wstring title;
};

}  // namespace

std::unique_ptr<DialogDriver> DialogDriver::StartInProcess() {
    g_app = AppState{};
    std::unique_ptr<DialogDriver> driver(new DialogDriver);
    DialogThreadStart start{CreateEventW(nullptr, TRUE, FALSE, nullptr), &driver->result_};
    driver->thread_ = CreateThread(nullptr, 0, RunDialog, &start, 0, &driver->threadId_);
    WaitForSingleObject(start.ready, INFINITE);
    CloseHandle(start.ready);
    driver->processId_ = GetCurrentProcessId();
    WaitUntil([&] { return g_app.dialog != nullptr && IsWindowVisible(g_app.dialog); }, 30000);
    driver->dialog_ = g_app.dialog;
    return driver;
}

std::unique_ptr<DialogDriver> DialogDriver::StartProgram(const std::string& folder) {
    const char* exe = std::getenv("QUORVANE_EXE");
    if (!exe) return nullptr;
    std::wstring commandLine = L"\"" + Utf16(exe) + L"\"";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        Utf16(folder).c_str(), &startup, &info)) {
        return nullptr;
    }
    CloseHandle(info.hThread);
    std::unique_ptr<DialogDriver> driver(new DialogDriver);
    driver->process_ = info.hProcess;
    driver->processId_ = info.dwProcessId;
    WaitUntil(
        [&] {
            WindowSearch search{driver.get(), info.dwProcessId, nullptr};
            search.title = L"Quorvane 1.07";
            EnumWindows(
                [](HWND window, LPARAM parameter) -> BOOL {
                    auto* s = reinterpret_cast<WindowSearch*>(parameter);
                    DWORD pid = 0;
                    GetWindowThreadProcessId(window, &pid);
                    if (pid != s->processId || !IsDialogClass(window)) return TRUE;
                    wchar_t title[64] = L"";
                    GetWindowTextW(window, title, 64);
                    if (s->title != title) return TRUE;
                    s->found = window;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&search));
            driver->dialog_ = search.found;
            return search.found != nullptr && IsWindowVisible(search.found);
        },
        30000);
    if (!driver->dialog_) return nullptr;
    return driver;
}

DialogDriver::~DialogDriver() {
    if (dialog_ && IsWindow(dialog_)) {
        // A test that failed half-way leaves message boxes or a scan behind: end them.
        for (int i = 0; i < 20 && IsWindow(dialog_); ++i) {
            while (HWND box = FindMessageBox()) PostMessageW(box, WM_COMMAND, IDOK, 0);
            PostMessageW(dialog_, WM_COMMAND, IDC_CLOSE, 0);
            WaitForEnd(500);
        }
    }
    if (textHook_) UnhookWindowsHookEx(textHook_);
    if (thread_) {
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    if (process_) {
        if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) TerminateProcess(process_, 99);
        CloseHandle(process_);
    }
}

bool DialogDriver::WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(5);
    }
}

void DialogDriver::Click(int id) { PostMessageW(Control(id), BM_CLICK, 0, 0); }

void DialogDriver::SetChecked(int id, bool checked) {
    if (IsChecked(id) == checked) return;
    Click(id);
    WaitUntil([&] { return IsChecked(id) == checked; }, 10000);
}

void DialogDriver::SetText(int id, const std::string& text) {
    SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Utf16(text).c_str()));
}

std::string DialogDriver::Text(int id) const { return WindowText(Control(id)); }
std::string DialogDriver::Title() const { return WindowText(dialog_); }

bool DialogDriver::IsChecked(int id) const {
    return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
bool DialogDriver::IsEnabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
bool DialogDriver::IsVisible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }

bool DialogDriver::Owns(HWND window) const {
    DWORD pid = 0;
    const DWORD tid = GetWindowThreadProcessId(window, &pid);
    return thread_ ? tid == threadId_ : pid == processId_;
}

HWND DialogDriver::FindMessageBox() const {
    WindowSearch search{this, processId_, dialog_};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<WindowSearch*>(parameter);
            if (window == s->exclude || !s->driver->Owns(window) || !IsDialogClass(window) ||
                !IsWindowVisible(window)) {
                return TRUE;
            }
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool DialogDriver::MessageBoxShowing(DWORD timeoutMs) {
    return WaitUntil([&] { return FindMessageBox() != nullptr; }, timeoutMs);
}

std::optional<SeenMessageBox> DialogDriver::NextMessageBox(DWORD timeoutMs) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = FindMessageBox()) != nullptr; }, timeoutMs)) {
        return std::nullopt;
    }
    SeenMessageBox seen;
    seen.caption = WindowText(box);
    seen.text = WindowText(GetDlgItem(box, 0xFFFF));
    seen.owner = GetWindow(box, GW_OWNER);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitUntil([&] { return !IsWindow(box); }, 10000);
    return seen;
}

DWORD DialogDriver::WaitForEnd(DWORD timeoutMs) {
    if (thread_) {
        if (WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0) return DWORD(-1);
        return DWORD(result_);
    }
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return DWORD(-1);
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

namespace {

struct TextTrigger {
    HWND watched = nullptr;
    std::wstring prefix;
    std::string narrowPrefix;
    HWND clicked = nullptr;
};
TextTrigger g_trigger;

LRESULT CALLBACK WatchTexts(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && g_trigger.clicked && call->hwnd == g_trigger.watched &&
        call->message == WM_SETTEXT && call->lParam) {
        // The text comes as the setter passed it (Wine) or converted to the hook's UTF-16
        // (Windows); a prefix can only match in its own form.
        const std::wstring_view wide = reinterpret_cast<const wchar_t*>(call->lParam);
        const std::string_view narrow = reinterpret_cast<const char*>(call->lParam);
        if (wide.substr(0, g_trigger.prefix.size()) == g_trigger.prefix ||
            narrow.substr(0, g_trigger.narrowPrefix.size()) == g_trigger.narrowPrefix) {
            // Clicked right here, on the dialog's thread, before the program goes on.
            const HWND clicked = std::exchange(g_trigger.clicked, nullptr);
            SendMessageW(clicked, BM_CLICK, 0, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void DialogDriver::ClickWhenTextShows(int watched, const std::string& prefix, int clicked) {
    if (textHook_) UnhookWindowsHookEx(textHook_);
    g_trigger = {Control(watched), Utf16(prefix), prefix, Control(clicked)};
    textHook_ = SetWindowsHookExW(WH_CALLWNDPROC, WatchTexts, nullptr, threadId_);
    if (!textHook_) ADD_FAILURE() << "cannot watch the dialog's texts";
}

SeenMessageBox DialogDriver::RunStep(int button) {
    Click(button);
    std::optional<SeenMessageBox> box = NextMessageBox();
    if (!box) ADD_FAILURE() << "no message box after button " << button;
    // Idle: after either way out of a step the buttons are enabled and Close reads "&Close".
    if (!WaitUntil([&] { return IsEnabled(IDC_STEP1) && Text(IDC_CLOSE) == "&Close"; })) {
        ADD_FAILURE() << "the dialog stays busy";
    }
    return box.value_or(SeenMessageBox{});
}

DWORD DialogDriver::CloseAndWait() {
    Click(IDC_CLOSE);
    return WaitForEnd();
}
