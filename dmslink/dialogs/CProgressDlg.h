// CProgressDlg.h - the modal dialog in front of the host while a worker talks to the DMS: check-out,
// check-in, and every other DMS call the host would otherwise wait for. RunWorker starts the worker
// and runs the dialog until the worker has ended; the worker waits for the dialog's window before it
// reports, and talks to it only through its CProgressLink: the three private messages (SendMessage),
// WM_CLOSE (PostMessage) and the cancel flag.
//
// When the worker has not answered for the patience given (a DMS that stops answering), the dialog
// says so and its Cancel button becomes "Stop waiting": stopping ends the dialog at once and the host
// goes on. The worker then finishes on its own; it holds its task, and the module stays loaded until
// it has ended, but nothing it does reaches the dialog or the operation that started it again.
//
// A WM_QUIT (the session ends) closes the dialog as Cancel does, also when Cancel is disabled: the
// worker is told to stop and waited for, and its result reaches the operation. The quit is posted
// again once the dialog has gone, for the host's own loop.
//
// Keys: Escape is Cancel (and does what the button does, nothing while it is disabled); Enter is OK,
// which ends nothing while a worker runs. Tab reaches Cancel alone, when it can be used.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "Utilities/CAPHandles.h"
#include "VxDialog.h"
#include "dms/TSManager.h"

#define WM_SETDOCUMENTINFO (WM_USER + 1)
#define WM_SETERRORTEXT (WM_USER + 2)
// A document the check-out worker has checked out, for the main thread to register (lParam: the
// worker's CheckedOutDocument). Answered by the hand-over set with SetHandover; 0 without one.
#define WM_CHECKEDOUTDOCUMENT (WM_USER + 3)

// lParam of WM_SETDOCUMENTINFO; a null text stands for an empty one.
struct ProgressDocumentInfo {
    const wchar_t* name;
    const wchar_t* author;
    const wchar_t* number;
    const wchar_t* version;
    const wchar_t* size;
};

// lParam of WM_SETERRORTEXT.
struct ProgressErrorInfo {
    const wchar_t* message;
    bool lastDocument;  // the dialog stays hidden after the alert
};

// What the dialog and its worker share; the worker keeps it as long as it runs.
class CProgressLink {
public:
    CProgressLink();
    // The dialog's window while it waits for this worker; null before, and once it has ended.
    HWND Window() const { return window_.load(); }
    // The user asked the worker to stop (a multi-document check-out), or stopped waiting for it.
    bool CancelRequested() const { return cancel_.load(); }
    // The dialog ended without this worker: nothing the worker does may reach the operation any more.
    bool Abandoned() const { return state_.load() == kAbandoned; }
    // For the worker, once its result is known: true when the dialog still waits for it (the result
    // then reaches the operation), false when the user has stopped waiting. Whichever comes first
    // decides.
    bool Finish() const;
    // Waits until the window is there (a while at most, or until the dialog has ended); the window or null.
    HWND WaitForWindow() const;
    // Set once the window is initialised, and again when the dialog has ended.
    HANDLE InitEvent() const { return initEvent_.get(); }

private:
    friend class CProgressDlg;
    enum { kRunning, kFinished, kAbandoned };
    bool Abandon();
    // The worker's work has returned: the dialog ends as soon as it has a window.
    void WorkDone();
    std::atomic<HWND> window_{nullptr};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> done_{false};
    mutable std::atomic<int> state_{kRunning};
    CAPHandle initEvent_;
};

// The work of one worker thread. The thread holds the task (and the module) until the work returns.
class CWorkerTask {
public:
    virtual ~CWorkerTask() = default;
    virtual DWORD Work(const CProgressLink& dialog) = 0;
};

struct WorkerResult {
    bool answered = false;  // false: the user stopped waiting and the worker goes on alone
    DWORD exitCode = 1;
};

class CProgressDlg : public CDialog {
public:
    explicit CProgressDlg(HWND parent);
    ~CProgressDlg() override;

    void SetCaption(const std::wstring& caption);
    void DisableCancel();
    void SetDocumentInfo(const ProgressDocumentInfo* info);
    // After this long without a word from the worker the user may stop waiting (0: never).
    void SetPatience(DWORD milliseconds) { patience_ = milliseconds; }
    // The dialog shows only once the worker has run this long (a quick DMS call shows nothing), and
    // never while the worker shows a window of its own (the DMS's own dialogs).
    void ShowAfter(DWORD milliseconds) { showAfter_ = milliseconds; }
    // Runs the task on a worker thread with the dialog modal in front of the host, and returns once
    // the worker has ended or the user stopped waiting for it. The worker's failures reach the host's
    // log from here.
    WorkerResult RunWorker(const std::shared_ptr<CWorkerTask>& task);
    // A worker of the caller's own (tests): the dialog ends when it ends. Not owned.
    void SetWorkerThread(HANDLE thread) { workerThread_ = thread; }
    // Runs on the main thread for each WM_CHECKEDOUTDOCUMENT; its answer goes back to the worker.
    void SetHandover(std::function<LRESULT(LPARAM)> handover) { handover_ = std::move(handover); }

    const CProgressLink& Link() const { return *link_; }
    HANDLE GetInitEvent() const { return link_->InitEvent(); }
    bool IsCancelRequested() const { return link_->CancelRequested(); }
    HWND GetWorkerWindow() const { return link_->Window(); }

    INT_PTR DoModal() override;

protected:
    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void OnOK() override;
    void OnCancel() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;
    void OnQuit(int exitCode) override;

    LRESULT OnWM_SETDOCUMENTINFO(LPARAM lParam);
    LRESULT OnWM_SETERRORTEXT(LPARAM lParam);

private:
    void Watch();
    void Answered();
    void SetNotAnswering(bool notAnswering);
    void EnableCancel(bool enable);
    void AddStatusLine();
    bool WorkerShowsWindow() const;
    void End(INT_PTR result);
    void KeepQuit(int exitCode);
    void WaitForWorker();
    void ShowTexts();

    std::shared_ptr<CProgressLink> link_;
    HANDLE workerThread_ = nullptr;
    std::function<LRESULT(LPARAM)> handover_;
    std::wstring caption_;
    std::wstring name_;
    std::wstring author_;
    std::wstring number_;
    std::wstring version_;
    std::wstring size_;
    std::wstring cancelText_;
    DWORD patience_ = 0;
    DWORD showAfter_ = 0;
    DWORD runSince_ = 0;
    DWORD started_ = 0;
    DWORD lastAnswer_ = 0;
    bool cancelDisabled_ = false;
    bool cancelled_ = false;
    bool notAnswering_ = false;
    bool alerting_ = false;
    bool ending_ = false;
    bool quit_ = false;  // a quit taken from the queue, posted again once the dialog has gone
    int quitCode_ = 0;
};

// The module's waiter for single DMS calls: each runs on a worker behind a progress dialog that shows
// only once the call takes a while, with the manager's patience.
class CProgressWaiter : public TSWaiter {
public:
    explicit CProgressWaiter(const TSManager& manager) : manager_(manager) {}
    bool Run(std::function<HRESULT()> call, HRESULT* status) override;

private:
    const TSManager& manager_;
};
