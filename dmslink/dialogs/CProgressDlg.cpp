#include "dialogs/CProgressDlg.h"

#include <commctrl.h>

#include "Utilities/CAPStringUtils.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxWorker.h"
#include "resources/resource.h"

namespace {

const UINT_PTR kWorkerWatchTimer = 1;
const UINT kWorkerWatchPeriod = 250;
// How long a worker waits for the window before it goes on without one.
const DWORD kInitWait = 10000;

std::wstring TextOrEmpty(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

// Waits for the thread (INFINITE: for good), answering the messages sent to this one meanwhile
// (nothing else is dispatched); true when it has ended.
bool EndsWithin(HANDLE thread, DWORD milliseconds) {
    const DWORD until = GetTickCount() + milliseconds;
    for (;;) {
        const LONG left = static_cast<LONG>(until - GetTickCount());
        if (milliseconds != INFINITE && left <= 0) return false;
        DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, milliseconds == INFINITE ? INFINITE : static_cast<DWORD>(left),
                                                QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0) return true;
        if (woken != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

struct ThreadWindows {
    bool visible = false;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM found) {
    if (!IsWindowVisible(window)) return TRUE;
    reinterpret_cast<ThreadWindows*>(found)->visible = true;
    return FALSE;
}

}  // namespace

CProgressLink::CProgressLink() : initEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

bool CProgressLink::Finish() const {
    int running = kRunning;
    return state_.compare_exchange_strong(running, kFinished) || running == kFinished;
}

bool CProgressLink::Abandon() {
    int running = kRunning;
    return state_.compare_exchange_strong(running, kAbandoned) || running == kAbandoned;
}

void CProgressLink::WorkDone() {
    done_.store(true);
    // A dialog that has its window ends now; one still making it sees the flag as it is ready. The
    // dialog waits for this thread before its window goes, so the window cannot be another's yet.
    if (HWND window = window_.load()) PostMessageW(window, WM_CLOSE, 0, 0);
}

HWND CProgressLink::WaitForWindow() const {
    WaitForSingleObject(initEvent_.get(), kInitWait);
    return Window();
}

CProgressDlg::CProgressDlg(HWND parent) : CDialog(IDD_PROGRESS, parent), link_(std::make_shared<CProgressLink>()) {}

CProgressDlg::~CProgressDlg() = default;

void CProgressDlg::SetCaption(const std::wstring& caption) {
    caption_ = caption;
    if (m_hWnd) SetWindowTextW(m_hWnd, caption_.c_str());
}

void CProgressDlg::DisableCancel() {
    cancelDisabled_ = true;
    EnableDlgItem(IDCANCEL, false);
}

void CProgressDlg::SetDocumentInfo(const ProgressDocumentInfo* info) {
    if (!info) return;
    name_ = TextOrEmpty(info->name);
    author_ = TextOrEmpty(info->author);
    number_ = TextOrEmpty(info->number);
    version_ = TextOrEmpty(info->version);
    size_ = TextOrEmpty(info->size);
    ShowTexts();
}

void CProgressDlg::ShowTexts() {
    SetDlgItemText(IDC_DOC_NAME, name_);
    SetDlgItemText(IDC_DOC_AUTHOR, author_);
    SetDlgItemText(IDC_DOC_NUMBER, number_);
    SetDlgItemText(IDC_DOC_VERSION, version_);
    SetDlgItemText(IDC_DOC_SIZE, size_);
}

WorkerResult CProgressDlg::RunWorker(const std::shared_ptr<CWorkerTask>& task) {
    WorkerResult result;
    std::shared_ptr<CProgressLink> link = link_;
    HANDLE thread = VxStartWorker(VX_SITE("CProgressDlg", "CProgressDlg::RunWorker"), [task, link]() -> DWORD {
        DWORD code = task->Work(*link);
        if (link->Finish()) link->WorkDone();
        return code;
    });
    if (!thread) return result;
    workerThread_ = thread;
    // However the dialog ends (no window at all, or a failure), a worker still waiting goes on at once.
    struct LetGo {
        CProgressDlg& dialog;
        HANDLE thread;
        ~LetGo() {
            dialog.link_->window_.store(nullptr);
            SetEvent(dialog.link_->InitEvent());
            dialog.workerThread_ = nullptr;
            CloseHandle(thread);
        }
    } letGo{*this, thread};
    // A dialog that shows only after a while is made only for a worker that takes that long.
    runSince_ = GetTickCount();
    if (!showAfter_ || !EndsWithin(thread, showAfter_)) DoModal();
    if (link_->Abandoned()) return result;
    SetEvent(link_->InitEvent());
    WaitForSingleObject(thread, INFINITE);
    GetExitCodeThread(thread, &result.exitCode);
    result.answered = true;
    VxLogWorkerFailures();
    return result;
}

INT_PTR CProgressDlg::DoModal() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ending_ = false;
    quit_ = false;
    visibleAtStart_ = showAfter_ == 0;
    INT_PTR result = CDialog::DoModal();
    link_->window_.store(nullptr);
    if (quit_) PostQuitMessage(quitCode_);
    return result;
}

BOOL CProgressDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (HWND bar = GetDlgItem(IDC_PROGRESS)) {
        SetWindowLongPtrW(bar, GWL_STYLE, GetWindowLongPtrW(bar, GWL_STYLE) | PBS_MARQUEE);
        // 30 ms a step, the control's own pace: at 10 ms the repainting of the bar slowed the worker's
        // copy of a large document sevenfold under Wine on a two-core machine.
        SendMessageW(bar, PBM_SETMARQUEE, TRUE, 30);
    }
    ShowTexts();
    AddStatusLine();
    if (!caption_.empty()) SetWindowTextW(m_hWnd, caption_.c_str());
    cancelText_ = GetDlgItemText(IDCANCEL);
    if (cancelDisabled_) EnableDlgItem(IDCANCEL, false);
    started_ = lastAnswer_ = runSince_ ? runSince_ : GetTickCount();
    // The watch ends the dialog for a worker that ended without reaching the window (its wait for
    // the event timed out, or its input was incomplete), shows a dialog that starts hidden, and
    // offers to stop waiting for a worker that does not answer.
    if (workerThread_) SetTimer(m_hWnd, kWorkerWatchTimer, kWorkerWatchPeriod, nullptr);
    link_->window_.store(m_hWnd);
    SetEvent(link_->InitEvent());
    if (link_->done_.load()) PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
    // The status line goes right before the bar, which it names for a screen reader ("Tessera is not
    // answering."). The focus is on Cancel while it can be used, else on the bar.
    return SetTabOrder({IDC_DOC_NAME, IDC_DOC_AUTHOR, IDC_DOC_NUMBER, IDC_DOC_VERSION, IDC_DOC_SIZE, IDC_STATUS,
                        IDC_PROGRESS, IDCANCEL},
                       cancelDisabled_ ? IDC_PROGRESS : IDCANCEL);
}

BOOL CProgressDlg::PreTranslateMessage(MSG* message) {
    // Enter is OK wherever the focus is: pressed by habit on the focused Cancel, it would stop a
    // check-out. Escape is Cancel, through the dialog manager.
    if (message->message != WM_KEYDOWN || message->wParam != VK_RETURN || !m_hWnd ||
        (message->hwnd != m_hWnd && !IsChild(m_hWnd, message->hwnd)))
        return FALSE;
    SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
}

bool CProgressDlg::OnCommand(WORD id, WORD code, HWND control) {
    // The worker ends the dialog when its work is done (WM_CLOSE); OK before that ends nothing.
    if (id == IDOK && workerThread_) return true;
    return CDialog::OnCommand(id, code, control);
}

void CProgressDlg::OnOK() { End(cancelled_ ? IDCANCEL : IDOK); }

void CProgressDlg::OnCancel() {
    if (!workerThread_) {
        End(IDCANCEL);
        return;
    }
    if (notAnswering_) {
        // Stop waiting: the worker goes on alone, and nothing of it reaches the operation again. A
        // worker that has just finished wins: its WM_CLOSE ends the dialog as usual.
        if (!link_->Abandon()) return;
        link_->cancel_.store(true);
        link_->window_.store(nullptr);
        if (m_hWnd) KillTimer(m_hWnd, kWorkerWatchTimer);
        ending_ = true;
        CDialog::OnCancel();
        return;
    }
    // A disabled Cancel does nothing, also when pressed by a message.
    if (cancelDisabled_) return;
    // A multi-document check-out stops after the document in hand; the worker closes the dialog.
    cancelled_ = true;
    link_->cancel_.store(true);
    EnableCancel(false);
}

INT_PTR CProgressDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
    *handled = true;
    switch (message) {
    case WM_CLOSE:
        OnOK();
        return 0;
    case WM_SETDOCUMENTINFO:
        Answered();
        return OnWM_SETDOCUMENTINFO(lParam);
    case WM_SETERRORTEXT:
        return OnWM_SETERRORTEXT(lParam);
    case WM_CHECKEDOUTDOCUMENT:
        Answered();
        return handover_ && lParam ? handover_(lParam) : 0;
    case WM_TIMER:
        if (wParam == kWorkerWatchTimer) Watch();
        return 0;
    default:
        *handled = false;
        return 0;
    }
}

void CProgressDlg::OnQuit(int exitCode) {
    // The session ends (a log-off): the worker is told to stop and waited for, answering what it
    // sends meanwhile. A check-in cannot stop mid-transfer (Cancel disabled); it is waited for too,
    // and its result still reaches the operation.
    KeepQuit(exitCode);
    End(IDCANCEL);
}

void CProgressDlg::KeepQuit(int exitCode) {
    quit_ = true;
    quitCode_ = exitCode;
}

void CProgressDlg::Watch() {
    if (ending_ || !workerThread_) return;
    if (WaitForSingleObject(workerThread_, 0) == WAIT_OBJECT_0) {
        OnOK();
        return;
    }
    // An alert shown for the worker waits for the user, and the DMS's own dialog for its user: neither
    // is the DMS not answering.
    DWORD now = GetTickCount();
    bool workerWindow = WorkerShowsWindow();
    if (alerting_ || workerWindow) lastAnswer_ = now;
    if (!IsWindowVisible(m_hWnd) && !workerWindow && !alerting_ && now - started_ >= showAfter_)
        ShowWindow(m_hWnd, SW_SHOW);
    if (patience_ && !notAnswering_ && now - lastAnswer_ >= patience_) SetNotAnswering(true);
}

void CProgressDlg::Answered() {
    lastAnswer_ = GetTickCount();
    if (notAnswering_) SetNotAnswering(false);
}

void CProgressDlg::SetNotAnswering(bool notAnswering) {
    notAnswering_ = notAnswering;
    SetDlgItemText(IDC_STATUS, notAnswering ? VxLoadString(IDS_NOT_ANSWERING) : std::wstring());
    SetDlgItemText(IDCANCEL, notAnswering ? VxLoadString(IDS_STOP_WAITING) : cancelText_);
    if (notAnswering && !IsWindowVisible(m_hWnd)) ShowWindow(m_hWnd, SW_SHOW);
    EnableCancel(notAnswering || (!cancelDisabled_ && !cancelled_));
}

void CProgressDlg::EnableCancel(bool enable) {
    HWND cancel = GetDlgItem(IDCANCEL);
    if (!cancel) return;
    // The focus goes with what the user can do, so that a screen reader says it: to "Stop waiting"
    // when it comes, back to the bar when Cancel can no longer be used.
    if (!enable && GetFocus() == cancel) GotoDlgCtrl(IDC_PROGRESS);
    EnableWindow(cancel, enable ? TRUE : FALSE);
    if (enable && GetFocus() != cancel) GotoDlgCtrl(IDCANCEL);
}

void CProgressDlg::AddStatusLine() {
    // Left of the Cancel button, in the dialog's font. Made here rather than in the template, which
    // stays as deployed language modules have it.
    RECT place = {7, 92, 232, 100};
    MapDialogRect(m_hWnd, &place);
    HWND line = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, place.left, place.top,
                                place.right - place.left, place.bottom - place.top, m_hWnd,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS)), nullptr, nullptr);
    if (line) SendMessageW(line, WM_SETFONT, SendMessageW(m_hWnd, WM_GETFONT, 0, 0), FALSE);
}

bool CProgressDlg::WorkerShowsWindow() const {
    ThreadWindows found;
    EnumThreadWindows(GetThreadId(workerThread_), FindVisible, reinterpret_cast<LPARAM>(&found));
    return found.visible;
}

LRESULT CProgressDlg::OnWM_SETDOCUMENTINFO(LPARAM lParam) {
    if (lParam) SetDocumentInfo(reinterpret_cast<const ProgressDocumentInfo*>(lParam));
    return 0;
}

LRESULT CProgressDlg::OnWM_SETERRORTEXT(LPARAM lParam) {
    if (!lParam) return 0;
    const ProgressErrorInfo* info = reinterpret_cast<const ProgressErrorInfo*>(lParam);
    ShowWindow(m_hWnd, SW_HIDE);
    alerting_ = true;
    VX_TRY {
        CCT2ASText text(info->message);
        if (text.Get()) VxAlert(text);
    }
    VX_CATCH("CProgressDlg", "CProgressDlg::OnWM_SETERRORTEXT")
    alerting_ = false;
    Answered();
    if (!info->lastDocument) ShowWindow(m_hWnd, SW_SHOW);
    return 0;
}

void CProgressDlg::End(INT_PTR result) {
    if (ending_) return;
    ending_ = true;
    link_->cancel_.store(true);
    if (m_hWnd) KillTimer(m_hWnd, kWorkerWatchTimer);
    // The worker posts WM_CLOSE as the last thing it does; it may still be inside SendMessage to this
    // window, which is answered while waiting.
    if (workerThread_) WaitForWorker();
    if (m_hWnd) {
        // The worker's own WM_CLOSE may still be queued; it must not reach a later window that gets
        // this handle value. A pending quit comes out whatever the filter says; it is kept.
        MSG stale;
        while (PeekMessageW(&stale, m_hWnd, WM_CLOSE, WM_CLOSE, PM_REMOVE))
            if (stale.message == WM_QUIT) KeepQuit(static_cast<int>(stale.wParam));
    }
    ResetEvent(link_->InitEvent());
    link_->window_.store(nullptr);
    if (result == IDOK)
        CDialog::OnOK();
    else
        CDialog::OnCancel();
}

void CProgressDlg::WaitForWorker() { EndsWithin(workerThread_, INFINITE); }

namespace {

// A quick DMS call shows no dialog at all.
const DWORD kQuickCall = 400;

class CCallTask : public CWorkerTask {
public:
    explicit CCallTask(std::function<HRESULT()> call) : call_(std::move(call)), caller_(GetCurrentThreadId()) {}
    DWORD Work(const CProgressLink&) override {
        // A dialog the DMS shows from here takes the keyboard as one of the host's own would: this
        // thread shares the host thread's input state while the call runs.
        const bool attached = AttachThreadInput(GetCurrentThreadId(), caller_, TRUE) != FALSE;
        status_ = call_();
        if (attached) AttachThreadInput(GetCurrentThreadId(), caller_, FALSE);
        return 0;
    }
    HRESULT Status() const { return status_; }

private:
    std::function<HRESULT()> call_;
    DWORD caller_;
    HRESULT status_ = E_UNEXPECTED;
};

}  // namespace

bool CProgressWaiter::Run(std::function<HRESULT()> call, HRESULT* status) {
    auto task = std::make_shared<CCallTask>(std::move(call));
    CProgressDlg dialog(manager_.GetParentWindow());
    dialog.SetCaption(VxLoadString(IDS_WAITING_CAPTION));
    dialog.DisableCancel();
    dialog.ShowAfter(kQuickCall);
    dialog.SetPatience(manager_.Patience());
    WorkerResult result = dialog.RunWorker(task);
    if (!result.answered) return false;
    *status = task->Status();
    return true;
}
