// DialogWalker.h - a live dialog as a keyboard and screen reader user meets it: where the focus
// starts, where Tab takes it, what a screen reader calls each control, what Enter and Escape send.
//
//     VxDialogWalker walker([](HWND dialog) { VxPressKey(dialog, VK_ESCAPE); });
//     dialog.DoModal();                       // the walk runs inside the dialog's own modal loop
//     EXPECT_EQ(walker.Walk().stops, (std::vector<VxDialogStop>{{IDC_NAME, L"Name:"}, {IDOK, L"OK"}}));
#pragma once

#include <windows.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// A control the focus reached: its id (0: no control of the dialog had the focus) and the name a
// screen reader gives it.
struct VxDialogStop {
    int id = 0;
    std::wstring label;
    bool operator==(const VxDialogStop& other) const { return id == other.id && label == other.label; }
};
void PrintTo(const VxDialogStop& stop, std::ostream* out);

struct VxDialogWalk {
    // Where the focus is at the start, then after each Tab until it is back there.
    std::vector<VxDialogStop> stops;
    bool cycled = false;  // Tab came back to the start (else the last stop is one met before)
    int enter = 0;        // the command Enter sent from the start (0: none)
    int escape = 0;       // the command Escape sent from the start
};

// What a screen reader calls a control: a button or check box its own text; any other control the
// text of the static text right before it in the window order (none when the control there is not
// a static text). Without the access key marks.
std::wstring VxScreenReaderLabel(HWND control);

// Posts a key press to the dialog's focused control (to the dialog when none has the focus), as the
// keyboard would; the dialog's modal loop takes it.
void VxPressKey(HWND dialog, WPARAM key);

// Walks the next dialog box this thread shows (the visible, enabled one; of that caption when one is
// given) from inside its own modal loop, one key per timer tick once the dialog is active, each posted
// to the focused control as the keyboard would: Enter, then Escape, from where the focus starts (the
// commands they send are caught there and go no further), then Tab until the focus is back at the
// start. Then `then` runs with the dialog, to end it for example. A dialog still open 5 seconds after
// the walk began fails the test and is cancelled. One walker at a time.
class VxDialogWalker {
public:
    explicit VxDialogWalker(std::function<void(HWND dialog)> then, std::wstring caption = std::wstring());
    ~VxDialogWalker();
    VxDialogWalker(const VxDialogWalker&) = delete;
    VxDialogWalker& operator=(const VxDialogWalker&) = delete;

    bool Done() const { return step_ == kDone; }
    const VxDialogWalk& Walk() const { return walk_; }

private:
    enum Step { kStart, kEnter, kEscape, kTab, kDone };
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    static LRESULT CALLBACK CatchCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Next(HWND dialog);
    void Finish(HWND dialog);

    static constexpr int kPatience = 250;  // ticks

    static VxDialogWalker* current_;
    std::function<void(HWND)> then_;
    std::wstring caption_;
    VxDialogWalk walk_;
    std::vector<HWND> seen_;
    Step step_ = kStart;
    HWND dialog_ = nullptr;
    WNDPROC dialogProc_ = nullptr;
    int caught_ = 0;
    int ticks_ = 0;
    bool busy_ = false;
    UINT_PTR timer_ = 0;
};
