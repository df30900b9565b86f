#include "DialogWalker.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[32] = L"";
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, ARRAYSIZE(text));
    std::wstring shown;
    for (const wchar_t* c = text; *c; ++c) {
        if (*c == L'&' && c[1]) ++c;  // "&&" stands for one "&"
        shown += *c;
    }
    return shown;
}

bool IsStaticText(HWND window) {
    LONG type = GetWindowLongW(window, GWL_STYLE) & SS_TYPEMASK;
    return _wcsicmp(ClassOf(window).c_str(), L"Static") == 0 &&
           (type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP);
}

// The dialog's own child that holds the window (a combo box for its edit field).
HWND ControlOf(HWND dialog, HWND window) {
    while (window && GetParent(window) != dialog) window = GetParent(window);
    return window;
}

struct Search {
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    Search* search = reinterpret_cast<Search*>(param);
    if (ClassOf(window) != L"#32770" || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    if (!search->caption->empty() && TextOf(window) != *search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

void PrintTo(const VxDialogStop& stop, std::ostream* out) {
    std::string label;
    for (wchar_t c : stop.label) label += c < 128 ? static_cast<char>(c) : '?';
    *out << "{" << stop.id << ", \"" << label << "\"}";
}

std::wstring VxScreenReaderLabel(HWND control) {
    LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    if (_wcsicmp(ClassOf(control).c_str(), L"Button") == 0 && type != BS_GROUPBOX) return TextOf(control);
    HWND before = GetWindow(control, GW_HWNDPREV);
    while (before && !IsWindowVisible(before)) before = GetWindow(before, GW_HWNDPREV);
    return before && IsStaticText(before) ? TextOf(before) : std::wstring();
}

VxDialogWalker* VxDialogWalker::current_ = nullptr;

VxDialogWalker::VxDialogWalker(std::function<void(HWND)> then, std::wstring caption)
    : then_(std::move(then)), caption_(std::move(caption)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 20, Tick);
}

VxDialogWalker::~VxDialogWalker() {
    KillTimer(nullptr, timer_);
    if (dialog_ && dialogProc_ && IsWindow(dialog_))
        SetWindowLongPtrW(dialog_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dialogProc_));
    current_ = nullptr;
}

void CALLBACK VxDialogWalker::Tick(HWND, UINT, UINT_PTR, DWORD) {
    VxDialogWalker* self = current_;
    if (!self || self->busy_) return;
    Search search = {&self->caption_, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&search));
    if (!search.found || (self->dialog_ && search.found != self->dialog_)) return;
    // A dialog that the walk, or the test after it, leaves open is cancelled: a failing test ends.
    if (++self->ticks_ == kPatience) {
        ADD_FAILURE() << "the dialog is still open at step " << self->step_ << " of the walk, after "
                       << self->walk_.stops.size() << " stops";
        PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    // Each step waits until the dialog is active with the focus inside: the window system may take
    // the activation away for a moment (a dialog just gone, Wine's desktop), and give it back with the
    // focus where it was.
    if (self->step_ == kDone || GetActiveWindow() != search.found || !GetFocus()) return;
    self->busy_ = true;
    self->Next(search.found);
    self->busy_ = false;
}

LRESULT CALLBACK VxDialogWalker::CatchCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    VxDialogWalker* self = current_;
    bool catching = self && (self->step_ == kEnter || self->step_ == kEscape);
    if (catching && message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        self->caught_ = LOWORD(wParam);
        return 0;
    }
    return CallWindowProcW(self->dialogProc_, window, message, wParam, lParam);
}

void VxPressKey(HWND dialog, WPARAM key) {
    HWND focus = GetFocus();
    PostMessageW(focus && IsChild(dialog, focus) ? focus : dialog, WM_KEYDOWN, key, 1);
}

void VxDialogWalker::Next(HWND dialog) {
    HWND focus = GetFocus();
    HWND control = focus && IsChild(dialog, focus) ? ControlOf(dialog, focus) : nullptr;
    auto press = [&](WPARAM key) { VxPressKey(dialog, key); };
    switch (step_) {
    case kStart:
        dialog_ = dialog;
        dialogProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CatchCommands)));
        seen_ = {control};
        walk_.stops.push_back({control ? GetDlgCtrlID(control) : 0, control ? VxScreenReaderLabel(control) : L""});
        step_ = kEnter;
        press(VK_RETURN);
        return;
    case kEnter:
        walk_.enter = caught_;
        caught_ = 0;
        step_ = kEscape;
        press(VK_ESCAPE);
        return;
    case kEscape:
        walk_.escape = caught_;
        step_ = kTab;
        press(VK_TAB);
        return;
    case kTab:
        if (control == seen_.front()) {
            walk_.cycled = true;
            Finish(dialog);
            return;
        }
        walk_.stops.push_back({control ? GetDlgCtrlID(control) : 0, control ? VxScreenReaderLabel(control) : L""});
        if (std::find(seen_.begin(), seen_.end(), control) != seen_.end()) {
            Finish(dialog);  // a cycle that leaves the start out
            return;
        }
        seen_.push_back(control);
        press(VK_TAB);
        return;
    case kDone:
        return;
    }
}

void VxDialogWalker::Finish(HWND dialog) {
    SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dialogProc_));
    dialogProc_ = nullptr;
    step_ = kDone;
    if (then_) then_(dialog);
}
