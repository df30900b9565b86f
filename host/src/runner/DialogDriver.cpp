#include "DialogDriver.h"

#include <commctrl.h>

#include <algorithm>

namespace vxhost {

namespace {

const int kBrowseList = 7110;         // the DMS browse dialog's list of versions
const int kImportDescription = 7111;  // the DMS import dialog's description field
// The plug-in's server configuration dialog, known by its fields whatever its language.
const int kProgressBar = 1003, kProgressStatus = 1008;  // the progress dialog's bar, and its line that says Tessera is not answering
const int kServerField = 1017, kUserField = 1009, kPasswordField = 1010, kTrustedBox = 1018, kAutoLoginBox = 1026;
// The plug-in's window "Kept on this computer": its list, its buttons, and the confirmation's text.
const int kKeptList = 1031, kDiscardText = 1038;
const struct {
    const char* name;
    int id;
} kKeptButtons[] = {{"checkin", 1033}, {"open", 1034}, {"new", 1035}, {"show", 1036}, {"discard", 1037}, {"close", IDCANCEL}};
const int kMessageBoxText = 0xFFFF;   // the text of a system message box
const DWORD kPressWaitMs = 3000;      // a pressed dialog gets this long to go
const DWORD kSettleMs = 150;          // a dialog just shown gets this long to fill and paint itself

DialogDriver* gDriver = nullptr;      // the one driver of the running step (main-thread hook)

bool IsDialogWindow(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    return wcscmp(name, L"#32770") == 0 && !(GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD);
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && IsDialogWindow(window))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

// The dialogs of this process, whichever thread shows them: a plug-in may show the DMS's own dialogs
// from a worker, so that the main thread keeps answering.
std::vector<HWND> ProcessDialogs() {
    std::vector<HWND> dialogs;
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE && gDriver) {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        if (message->message == WM_CLOSE && message->hwnd && IsDialogWindow(message->hwnd)) gDriver->OnClosing(message->hwnd);
        gDriver->OnTaken(*message);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::string Slug(const std::wstring& caption) {
    std::string slug;
    for (char c : ToUtf8(caption)) {
        if (isalnum(static_cast<unsigned char>(c))) slug += static_cast<char>(tolower(static_cast<unsigned char>(c)));
        else if (!slug.empty() && slug.back() != '-') slug += '-';
        if (slug.size() >= 40) break;
    }
    while (!slug.empty() && slug.back() == '-') slug.pop_back();
    return slug.empty() ? "dialog" : slug;
}

std::vector<std::wstring> Fields(const std::wstring& line) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find(L'\t', start)) != std::wstring::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) return -1;
    return static_cast<LRESULT>(result);
}

DWORD WINAPI DriverThread(void* self);

std::wstring ItemText(HWND list, int row, int column) {
    wchar_t text[512] = L"";
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = ARRAYSIZE(text);
    Send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

// A button's text as the user reads it, without its mnemonic's "&".
std::string ButtonText(HWND button) {
    std::wstring text = WindowCaption(button), plain;
    for (wchar_t c : text)
        if (c != L'&') plain += c;
    return ToUtf8(plain);
}

bool IsKept(const DialogAnswer& answer) {
    return answer.kind == DialogAnswer::Kind::KeptSelect || answer.kind == DialogAnswer::Kind::KeptPress;
}

// The dialog an answer is for, as the transcript names it.
std::string AnswerTarget(const DialogAnswer& answer) {
    if (IsKept(answer)) return "Kept on this computer";
    if (answer.kind == DialogAnswer::Kind::KeptConfirm) return "confirmation of a discard";
    if (answer.kind == DialogAnswer::Kind::StopWaiting && answer.caption.empty()) return "progress dialog";
    return answer.kind == DialogAnswer::Kind::ServerForm ? "server configuration" : ToUtf8(answer.caption);
}

bool IsShown(HWND window) { return IsWindow(window) && IsWindowVisible(window); }

// Milliseconds from `then` to `now`; 0 for a `then` after `now` (a dialog the closing hook saw
// first may carry a later time than the helper's round).
ULONGLONG Elapsed(ULONGLONG now, ULONGLONG then) { return now > then ? now - then : 0; }

}  // namespace

std::wstring WindowCaption(HWND window) {
    wchar_t text[256] = {};
    DWORD_PTR got = 0;
    // Through a timeout: GetWindowTextW would wait for a busy main thread without limit.
    if (!SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                             1000, &got))
        return L"";
    return text;
}

DialogDriver::DialogDriver(Host& host, std::vector<DialogAnswer> answers, std::vector<std::wstring> shotNames,
                           std::vector<std::wstring> alertShotNames, std::wstring shots, std::string shotPrefix,
                           DWORD timeoutMs, bool alertBoxes)
    : host_(host), answers_(std::move(answers)), shotNames_(std::move(shotNames)),
      alertShotNames_(std::move(alertShotNames)), shots_(std::move(shots)),
      prefix_(std::move(shotPrefix)), timeoutMs_(timeoutMs), alertBoxes_(alertBoxes),
      alertCaption_(FromUtf8(host.Options().appName)), mainThread_(GetCurrentThreadId()) {
    gDriver = this;
    hook_ = SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, mainThread_);
    thread_ = CreateThread(nullptr, 0, DriverThread, this, 0, nullptr);
}

DialogDriver::~DialogDriver() { Stop(); }

namespace {
DWORD WINAPI DriverThread(void* self) {
    static_cast<DialogDriver*>(self)->RunLoop();
    return 0;
}
}  // namespace

void DialogDriver::Stop() {
    if (stopped_) return;
    stopped_ = true;
    stop_ = true;
    if (thread_) {
        // The helper may be sending to this thread's windows: keep serving those messages.
        for (;;) {
            DWORD r = MsgWaitForMultipleObjects(1, &thread_, FALSE, INFINITE, QS_SENDMESSAGE);
            if (r != WAIT_OBJECT_0 + 1) break;
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    if (hook_) UnhookWindowsHookEx(hook_);
    hook_ = nullptr;
    if (gDriver == this) gDriver = nullptr;
    for (size_t i = next_; i < answers_.size(); i++)
        Problem("line " + std::to_string(answers_[i].line) + ": the dialog \"" + AnswerTarget(answers_[i]) +
                "\" never appeared");
}

std::vector<std::string> DialogDriver::Problems() {
    std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
}

std::vector<std::wstring> DialogDriver::Shots() {
    std::lock_guard<std::mutex> lock(mutex_);
    return files_;
}

void DialogDriver::Problem(const std::string& text) {
    host_.Record("dialog:problem " + text);
    std::lock_guard<std::mutex> lock(mutex_);
    problems_.push_back(text);
}

std::wstring DialogDriver::NewShotFile(const std::wstring& caption, bool alert) {
    std::wstring base;
    if (alert && nextAlertName_ < alertShotNames_.size()) base = alertShotNames_[nextAlertName_++];
    else if (!alert && nextName_ < shotNames_.size()) base = shotNames_[nextName_++];
    if (base.empty() || base == L"-") base = FromUtf8(prefix_ + "-" + Slug(caption));
    std::wstring name = base;
    for (int n = 2; names_.count(name); n++) name = base + L"-" + std::to_wstring(n);
    names_.insert(name);
    return shots_ + L"\\" + name + L".png";
}

void DialogDriver::Shoot(HWND dialog, const std::wstring& caption, bool fresh) {
    if (shots_.empty()) return;
    std::wstring file;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = seen_.find(dialog);
        if (it == seen_.end()) it = seen_.emplace(dialog, Seen{caption, GetTickCount64()}).first;
        if (fresh || it->second.file.empty()) it->second.file = NewShotFile(caption, it->second.alert);
        file = it->second.file;
    }
    std::string error;
    bool taken;
    {
        std::lock_guard<std::mutex> lock(captureMutex_);
        taken = CaptureWindowPng(dialog, file, &error);
    }
    if (!taken) {
        host_.Record("dialog:shot-failed " + ToUtf8(caption) + ": " + error);
        return;
    }
    std::wstring name = file.substr(file.find_last_of(L'\\') + 1);
    host_.Record("dialog:shot " + ToUtf8(name));
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(files_.begin(), files_.end(), file) == files_.end()) files_.push_back(file);
}

void DialogDriver::OnClosing(HWND dialog) {
    std::wstring caption;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = seen_.find(dialog);
        if (it != seen_.end() && it->second.answered) return;
        if (it == seen_.end()) it = seen_.emplace(dialog, Seen{WindowCaption(dialog), GetTickCount64()}).first;
        it->second.shot = true;
        caption = it->second.caption;
    }
    host_.Record("dialog:closing " + ToUtf8(caption));
    // The last state of a dialog that closes by itself, over the picture taken when it appeared.
    Shoot(dialog, caption, false);
}

bool DialogDriver::Choose(HWND dialog, const DialogAnswer& answer) {
    HWND list = GetDlgItem(dialog, kBrowseList);
    if (!list) {
        Problem("line " + std::to_string(answer.line) + ": the dialog has no list of documents");
        return false;
    }
    LRESULT count = Send(list, LB_GETCOUNT, 0, 0);
    struct Row { long number, version; };
    std::vector<Row> rows;
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = Send(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
        if (length > 0) Send(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]));
        std::vector<std::wstring> fields = Fields(text.c_str());
        rows.push_back({fields.size() > 2 ? _wtol(fields[1].c_str()) : 0, fields.size() > 2 ? _wtol(fields[2].c_str()) : 0});
    }
    bool multi = (GetWindowLongPtrW(list, GWL_STYLE) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
    if (!multi && answer.picks.size() > 1) {
        Problem("line " + std::to_string(answer.line) + ": the dialog lets one document be chosen, not " +
                std::to_string(answer.picks.size()));
        return false;
    }
    std::string chosen;
    for (const auto& pick : answer.picks) {
        long best = -1;
        for (size_t i = 0; i < rows.size(); i++)
            if (rows[i].number == pick.number && (pick.version == 0 || rows[i].version == pick.version) &&
                (best < 0 || rows[i].version > rows[static_cast<size_t>(best)].version))
                best = static_cast<long>(i);
        if (best < 0) {
            Problem("line " + std::to_string(answer.line) + ": document " + std::to_string(pick.number) +
                    (pick.version ? "." + std::to_string(pick.version) : "") + " is not in the list (" +
                    std::to_string(rows.size()) + " entries)");
            return false;
        }
        if (multi) Send(list, LB_SETSEL, TRUE, best);
        else Send(list, LB_SETCURSEL, static_cast<WPARAM>(best), 0);
        chosen += (chosen.empty() ? "" : ", ") + std::to_string(pick.number) + " version " +
                  std::to_string(rows[static_cast<size_t>(best)].version);
    }
    host_.Record("dialog:chose " + chosen);
    return true;
}

bool DialogDriver::FillServerForm(HWND dialog, const DialogAnswer& answer) {
    const DialogAnswer::Form& form = answer.form;
    std::string filled, missing;
    // A box is set by a click, so that the dialog hears of it (trusted login greys out the fields).
    auto box = [&](int id, const std::optional<bool>& wanted, const char* what) {
        if (!wanted) return;
        HWND control = GetDlgItem(dialog, id);
        if (control && (Send(control, BM_GETCHECK, 0, 0) == BST_CHECKED) != *wanted) Send(control, BM_CLICK, 0, 0);
        if (!control || (Send(control, BM_GETCHECK, 0, 0) == BST_CHECKED) != *wanted) missing += std::string(" ") + what;
        filled += std::string(", ") + what + (*wanted ? " on" : " off");
    };
    auto field = [&](int id, const std::optional<std::wstring>& value, const char* what, bool secret) {
        if (!value) return;
        HWND control = GetDlgItem(dialog, id);
        if (!control || Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value->c_str())) != TRUE)
            missing += std::string(" ") + what;
        filled += std::string(", ") + what + " " +
                  (secret ? "(" + std::to_string(value->size()) + " characters)" : "\"" + ToUtf8(*value) + "\"");
    };
    box(kTrustedBox, form.trusted, "trusted login");
    box(kAutoLoginBox, form.autoLogin, "auto login");
    field(kServerField, form.server, "server", false);
    field(kUserField, form.user, "user name", false);
    field(kPasswordField, form.password, "password", true);
    if (!filled.empty()) host_.Record("dialog:filled " + filled.substr(2));
    if (missing.empty()) return true;
    Problem("line " + std::to_string(answer.line) + ": the server dialog could not be set:" + missing);
    return false;
}

void DialogDriver::OnTaken(const MSG& message) {
    HWND window = pressWindow_.load();
    if (!window) return;
    if (press_ == kPressPosted && message.hwnd == window && message.message == WM_COMMAND &&
        LOWORD(message.wParam) == pressButton_.load())
        press_ = kPressTaken;
    else if (press_ == kPressTaken && IsWindowEnabled(window))
        press_ = kNoPress;
}

bool DialogDriver::KeptWindowReady(HWND dialog) const {
    return press_ == kNoPress && IsWindowEnabled(dialog) && GetDlgItem(dialog, kKeptList);
}

void DialogDriver::RecordKeptWindow(HWND dialog) {
    HWND list = GetDlgItem(dialog, kKeptList);
    LRESULT rows = Send(list, LVM_GETITEMCOUNT, 0, 0);
    HWND header = reinterpret_cast<HWND>(Send(list, LVM_GETHEADER, 0, 0));
    LRESULT columns = header ? Send(header, HDM_GETITEMCOUNT, 0, 0) : 1;
    if (rows <= 0) host_.Record("dialog:kept-row (no entries) " + ToUtf8(WindowCaption(GetDlgItem(dialog, 1030))));
    for (LRESULT row = 0; row < rows; row++) {
        bool selected = (Send(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
        std::string line = selected ? "* " : "  ";
        for (LRESULT column = 0; column < columns; column++)
            line += (column ? " | " : "") + ToUtf8(ItemText(list, static_cast<int>(row), static_cast<int>(column)));
        host_.Record("dialog:kept-row " + line);
    }
    std::string enabled;
    for (const auto& button : kKeptButtons) {
        HWND control = GetDlgItem(dialog, button.id);
        if (button.id != IDCANCEL && control && IsWindowEnabled(control))
            enabled += (enabled.empty() ? "" : ", ") + ButtonText(control);
    }
    host_.Record("dialog:kept-buttons " + (enabled.empty() ? std::string("none") : enabled));
}

bool DialogDriver::KeptSelect(HWND dialog, const DialogAnswer& answer) {
    HWND list = GetDlgItem(dialog, kKeptList);
    LRESULT rows = Send(list, LVM_GETITEMCOUNT, 0, 0);
    LVITEMW clear = {};
    clear.stateMask = LVIS_SELECTED;
    Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
    size_t found = 0;
    for (LRESULT row = 0; row < rows; row++) {
        long number = _wtol(ItemText(list, static_cast<int>(row), 1).c_str());
        long version = _wtol(ItemText(list, static_cast<int>(row), 2).c_str());
        bool wanted = answer.picks.empty();
        for (const auto& pick : answer.picks)
            wanted = wanted || (pick.number == number && (pick.version == 0 || pick.version == version));
        if (!wanted) continue;
        LVITEMW state = {};
        state.stateMask = state.state = LVIS_SELECTED | (found ? 0 : LVIS_FOCUSED);
        Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
        found++;
    }
    RecordKeptWindow(dialog);
    if (found >= answer.picks.size() && found > 0) return true;
    Problem("line " + std::to_string(answer.line) + ": the window lists " + std::to_string(found) + " of the entries to select");
    return false;
}

bool DialogDriver::KeptPress(HWND dialog, const DialogAnswer& answer) {
    int id = 0;
    for (const auto& button : kKeptButtons)
        if (ToUtf8(answer.text) == button.name) id = button.id;
    HWND control = GetDlgItem(dialog, id);
    if (!control || !IsWindowEnabled(control)) {
        Problem("line " + std::to_string(answer.line) + ": the button \"" + ToUtf8(answer.text) + "\" cannot be pressed");
        return false;
    }
    host_.Record("dialog:press " + ButtonText(control));
    // Posted: what the button does runs dialogs of its own, which this thread answers meanwhile.
    pressButton_ = id;
    pressWindow_ = dialog;
    press_ = kPressPosted;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    return true;
}

// A dialog that stays after an answer waits for the script's next one, as shown and shot already.
void DialogDriver::AwaitNextAnswer(HWND dialog) {
    std::lock_guard<std::mutex> lock(mutex_);
    Seen& seen = seen_[dialog];
    seen.answered = false;
    seen.shot = true;
    seen.since = GetTickCount64();
}

bool DialogDriver::Answer(HWND dialog, const std::wstring& caption, const DialogAnswer& answer) {
    if (IsKept(answer)) {
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
        bool ok = answer.kind == DialogAnswer::Kind::KeptSelect ? KeptSelect(dialog, answer) : KeptPress(dialog, answer);
        if (answer.kind == DialogAnswer::Kind::KeptSelect) {
            Sleep(kSettleMs);
            Shoot(dialog, caption, true);
        }
        AwaitNextAnswer(dialog);  // the window stays
        return ok;
    }
    bool ok = true;
    // A press that may open an alert is posted: a sent one would wait for the alert to be closed.
    bool post = false;
    if (answer.kind == DialogAnswer::Kind::Choose) {
        ok = Choose(dialog, answer);
    } else if (answer.kind == DialogAnswer::Kind::Profile) {
        HWND field = GetDlgItem(dialog, kImportDescription);
        ok = field && Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(answer.text.c_str())) == TRUE;
        if (ok) host_.Record("dialog:description " + ToUtf8(answer.text));
        else Problem("line " + std::to_string(answer.line) + ": the dialog has no description field");
    } else if (answer.kind == DialogAnswer::Kind::ServerForm) {
        ok = FillServerForm(dialog, answer);
        post = true;
    }
    const bool stop = answer.kind == DialogAnswer::Kind::StopWaiting;
    bool cancel = answer.kind == DialogAnswer::Kind::Cancel || stop ||
                  (answer.kind == DialogAnswer::Kind::ServerForm && answer.form.cancel) ||
                  (answer.kind == DialogAnswer::Kind::KeptConfirm && !answer.confirm);
    int button = ok && !cancel ? IDOK : IDCANCEL;
    // A button the dialog enables later is pressed once it can be; "Stop waiting" once the dialog says
    // that Tessera is not answering.
    HWND pressed = GetDlgItem(dialog, button);
    auto ready = [&] {
        return pressed && IsWindowEnabled(pressed) &&
               (!stop || GetWindowTextLengthW(GetDlgItem(dialog, kProgressStatus)) > 0);
    };
    if (pressed && !ready()) {
        for (ULONGLONG until = GetTickCount64() + timeoutMs_; GetTickCount64() < until && IsShown(dialog) && !ready();)
            Sleep(50);
        if (!IsShown(dialog) && !stop) return ok;
        if (stop && !ready()) {
            Problem("line " + std::to_string(answer.line) +
                    (IsShown(dialog) ? ": the dialog never offered to stop waiting"
                                     : ": the dialog ended before it offered to stop waiting"));
            return false;
        }
    }
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(kSettleMs);
    Shoot(dialog, caption, true);
    host_.Record(std::string("dialog:press ") + (stop ? "Stop waiting" : button == IDOK ? "OK" : "Cancel"));
    HWND control = GetDlgItem(dialog, button);
    unsigned alertsBefore = alerts_;
    if (control && !post) Send(control, BM_CLICK, 0, 0);
    else PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    for (ULONGLONG until = GetTickCount64() + kPressWaitMs; GetTickCount64() < until && IsShown(dialog) && alerts_ == alertsBefore;)
        Sleep(10);
    if (IsShown(dialog) && alerts_ != alertsBefore) {
        // The dialog refused what it was given with an alert and stays open: the next answer may
        // take it again, once its alert box (if any) is up.
        for (ULONGLONG until = GetTickCount64() + kPressWaitMs; alertBoxes_ && !AlertBoxShown() && GetTickCount64() < until;)
            Sleep(10);
        host_.Record("dialog:stays " + ToUtf8(caption));
        AwaitNextAnswer(dialog);
        return ok;
    }
    if (IsShown(dialog)) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
        Sleep(500);
        if (IsShown(dialog))
            Problem("line " + std::to_string(answer.line) + ": the dialog \"" + ToUtf8(caption) +
                    "\" stayed open after its button was pressed");
    }
    return ok;
}

bool DialogDriver::Awaits(const DialogAnswer& answer, HWND dialog, const std::wstring& caption) const {
    if (IsKept(answer)) return KeptWindowReady(dialog);
    if (answer.kind == DialogAnswer::Kind::KeptConfirm) return GetDlgItem(dialog, kDiscardText) != nullptr;
    if (answer.kind == DialogAnswer::Kind::ServerForm)
        return GetDlgItem(dialog, kServerField) && GetDlgItem(dialog, kTrustedBox) && GetDlgItem(dialog, kAutoLoginBox);
    // Without a caption (a run in any language), any progress dialog.
    if (answer.kind == DialogAnswer::Kind::StopWaiting && answer.caption.empty())
        return GetDlgItem(dialog, kProgressBar) && GetDlgItem(dialog, IDCANCEL);
    return caption == answer.caption;
}

bool DialogDriver::IsAlertBox(HWND dialog, const std::wstring& caption) const {
    return alertBoxes_ && caption == alertCaption_ && GetDlgItem(dialog, kMessageBoxText) && GetDlgItem(dialog, IDOK);
}

bool DialogDriver::AlertBoxShown() {
    for (HWND dialog : ProcessDialogs())
        if (IsAlertBox(dialog, WindowCaption(dialog))) return true;
    return false;
}

void DialogDriver::ConfirmAlert(HWND dialog, const std::wstring& caption) {
    Shoot(dialog, caption, false);
    host_.Record("dialog:press OK");
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    for (ULONGLONG until = GetTickCount64() + kPressWaitMs; GetTickCount64() < until && IsShown(dialog);) Sleep(10);
    if (IsShown(dialog)) Problem("the alert box stayed open after its OK was pressed");
}

void DialogDriver::RunLoop() {
    ULONGLONG waitStart = GetTickCount64(), nudged = 0;
    while (!stop_) {
        // A press taken and done: the main thread comes back to the window's loop, which then needs a
        // message to take for the hook to see it.
        if (press_ == kPressTaken && GetTickCount64() - nudged >= 50) {
            HWND window = pressWindow_.load();
            if (!IsWindow(window)) press_ = kNoPress;
            else PostMessageW(window, WM_NULL, 0, 0);
            nudged = GetTickCount64();
        }
        std::vector<HWND> dialogs = ProcessDialogs();
        ULONGLONG now = GetTickCount64();
        bool alertUp = false;
        for (HWND dialog : dialogs) {
            std::wstring caption;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                auto it = seen_.find(dialog);
                if (it != seen_.end()) {
                    alertUp = alertUp || it->second.alert;
                    continue;
                }
            }
            caption = WindowCaption(dialog);
            Seen seen{caption, now};
            seen.alert = IsAlertBox(dialog, caption);
            alertUp = alertUp || seen.alert;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.emplace(dialog, seen);
            }
            host_.Record("dialog:shown " + ToUtf8(caption));
        }

        // While an alert box is up, the dialog beneath it waits.
        if (next_ < answers_.size() && !alertUp) {
            const DialogAnswer& answer = answers_[next_];
            HWND match = nullptr;
            std::wstring caption;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (HWND dialog : dialogs) {
                    Seen& seen = seen_[dialog];
                    if (!seen.answered && !seen.alert && Awaits(answer, dialog, seen.caption) &&
                        Elapsed(now, seen.since) >= kSettleMs) {
                        seen.answered = true;
                        match = dialog;
                        caption = seen.caption;
                        break;
                    }
                }
            }
            if (match) {
                Answer(match, caption, answer);
                next_++;
                waitStart = GetTickCount64();
            } else if (Elapsed(now, waitStart) > timeoutMs_) {
                Problem("line " + std::to_string(answer.line) + ": the dialog \"" + AnswerTarget(answer) +
                        "\" did not appear within " + std::to_string(timeoutMs_ / 1000) + " s");
                next_++;
                waitStart = now;
            }
        }

        for (HWND dialog : dialogs) {
            std::wstring caption;
            bool shoot = false, giveUp = false, confirm = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                Seen& seen = seen_[dialog];
                if (seen.answered) continue;
                if (seen.alert) {
                    // An alert box gets the settling time of an answered dialog, then its picture and OK.
                    if (Elapsed(now, seen.since) < kSettleMs) continue;
                    seen.answered = confirm = true;
                    caption = seen.caption;
                }
                bool awaited = false;
                // The kept window waits for its next answer also while a press of it is under way.
                for (size_t i = next_; i < answers_.size() && !confirm; i++)
                    awaited = awaited || (IsKept(answers_[i]) ? GetDlgItem(dialog, kKeptList) != nullptr
                                                              : Awaits(answers_[i], dialog, seen.caption));
                if (awaited) continue;
                shoot = !seen.shot && Elapsed(now, seen.since) >= 30;
                if (shoot) seen.shot = true;
                giveUp = !seen.givenUp && Elapsed(now, seen.since) > timeoutMs_;
                if (giveUp) seen.givenUp = true;
                caption = seen.caption;
            }
            if (confirm) {
                ConfirmAlert(dialog, caption);
                continue;
            }
            if (shoot) Shoot(dialog, caption, false);
            if (giveUp) {
                Problem("the dialog \"" + ToUtf8(caption) + "\" stayed open " + std::to_string(timeoutMs_ / 1000) +
                        " s with no answer in the script; cancelled");
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            }
        }
        Sleep(10);
    }
}

}  // namespace vxhost
