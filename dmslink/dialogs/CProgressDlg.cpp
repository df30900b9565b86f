#include "dialogs/CProgressDlg.h"

#include <commctrl.h>

#include "Utilities/CAPStringUtils.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "resources/resource.h"

namespace {

const UINT_PTR kWorkerWatchTimer = 1;
// How long a worker waits for the window before it goes on without one.
const DWORD kInitWait = 10000;
const UINT kWorkerWatchPeriod = 250;

std::wstring TextOrEmpty(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

}  // namespace

CProgressDlg::CProgressDlg(HWND parent)
    : CDialog(IDD_PROGRESS, parent), initEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

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

DWORD CProgressDlg::RunWorker(LPTHREAD_START_ROUTINE proc, void* params) {
    CAPThread worker(CreateThread(nullptr, 0, proc, params, 0, nullptr));
    if (!worker) return 1;
    SetWorkerThread(worker.get());
    // However the dialog ends (no window at all, or a failure), a worker still waiting goes on at once.
    struct ReleaseWaitingWorker {
        HANDLE event;
        ~ReleaseWaitingWorker() { SetEvent(event); }
    } release{initEvent_.get()};
    DoModal();
    SetEvent(initEvent_.get());
    DWORD code = CAPJoinThread(worker);
    workerThread_ = nullptr;
    VxLogWorkerFailures();
    return code;
}

HWND CProgressDlg::WaitForWindow() const {
    WaitForSingleObject(initEvent_.get(), kInitWait);
    return GetWorkerWindow();
}

INT_PTR CProgressDlg::DoModal() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    closing_ = false;
    INT_PTR result = CDialog::DoModal();
    window_.store(nullptr);
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
    if (!caption_.empty()) SetWindowTextW(m_hWnd, caption_.c_str());
    if (cancelDisabled_) EnableDlgItem(IDCANCEL, false);
    // A worker that ended without reaching the window (its wait for the event timed out, or its
    // input was incomplete) can post no WM_CLOSE; with Cancel disabled nothing else would end the
    // dialog.
    if (workerThread_) SetTimer(m_hWnd, kWorkerWatchTimer, kWorkerWatchPeriod, nullptr);
    window_.store(m_hWnd);
    SetEvent(initEvent_.get());
    return TRUE;
}

BOOL CProgressDlg::PreTranslateMessage(MSG* message) {
    // Enter and Escape would end the dialog through the dialog manager while the worker still runs.
    return message->message == WM_KEYDOWN && m_hWnd && (message->hwnd == m_hWnd || IsChild(m_hWnd, message->hwnd));
}

void CProgressDlg::OnOK() { Close(true); }

void CProgressDlg::OnCancel() { Close(false); }

INT_PTR CProgressDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
    *handled = true;
    switch (message) {
    case WM_CLOSE:
        Close(true);
        return 0;
    case WM_SETDOCUMENTINFO:
        return OnWM_SETDOCUMENTINFO(lParam);
    case WM_SETERRORTEXT:
        return OnWM_SETERRORTEXT(lParam);
    case WM_CHECKEDOUTDOCUMENT:
        return handover_ && lParam ? handover_(lParam) : 0;
    case WM_TIMER:
        if (wParam == kWorkerWatchTimer && workerThread_ && WaitForSingleObject(workerThread_, 0) == WAIT_OBJECT_0)
            Close(true);
        return 0;
    default:
        *handled = false;
        return 0;
    }
}

LRESULT CProgressDlg::OnWM_SETDOCUMENTINFO(LPARAM lParam) {
    if (lParam) SetDocumentInfo(reinterpret_cast<const ProgressDocumentInfo*>(lParam));
    return 0;
}

LRESULT CProgressDlg::OnWM_SETERRORTEXT(LPARAM lParam) {
    if (!lParam) return 0;
    const ProgressErrorInfo* info = reinterpret_cast<const ProgressErrorInfo*>(lParam);
    ShowWindow(m_hWnd, SW_HIDE);
    VX_TRY {
        CCT2ASText text(info->message);
        if (text.Get()) VxAlert(text);
    }
    VX_CATCH("CProgressDlg", "CProgressDlg::OnWM_SETERRORTEXT")
    if (!info->lastDocument) ShowWindow(m_hWnd, SW_SHOW);
    return 0;
}

void CProgressDlg::Close(bool byWorker) {
    if (closing_) return;
    closing_ = true;
    cancelRequested_.store(1);
    if (m_hWnd) KillTimer(m_hWnd, kWorkerWatchTimer);
    if (workerThread_) WaitForWorker();
    if (m_hWnd) {
        // The worker's own WM_CLOSE may still be queued after a Cancel; it must not reach a later
        // window that gets this handle value.
        MSG stale;
        while (PeekMessageW(&stale, m_hWnd, WM_CLOSE, WM_CLOSE, PM_REMOVE)) {
        }
    }
    ResetEvent(initEvent_.get());
    window_.store(nullptr);
    if (byWorker)
        CDialog::OnOK();
    else
        CDialog::OnCancel();
}

// The worker may be inside SendMessage to this window right now; its message is handled here, or
// the worker would never end.
void CProgressDlg::WaitForWorker() {
    HANDLE thread = workerThread_;
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 1) return;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
