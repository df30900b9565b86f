// CProgressDlg.h - the modal dialog in front of the host while a check-out or check-in worker runs.
// RunWorker starts the worker and shows the dialog until the worker has ended; the worker waits for
// the dialog's window (WaitForWindow) before it reports, and talks to it only through the three
// private messages (SendMessage), WM_CLOSE (PostMessage) and the cancel flag.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <utility>

#include "VxDialog.h"
#include "Utilities/CAPHandles.h"

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

class CProgressDlg : public CDialog {
public:
    explicit CProgressDlg(HWND parent);
    ~CProgressDlg() override;

    void SetCaption(const std::wstring& caption);
    void DisableCancel();
    void SetDocumentInfo(const ProgressDocumentInfo* info);
    // Runs `proc` on a worker thread with the dialog modal in front of the host, and returns once the
    // worker has ended, with its exit code (1 when no thread could be started). The worker's failures
    // reach the host's log from here.
    DWORD RunWorker(LPTHREAD_START_ROUTINE proc, void* params);
    // For the worker: waits until the dialog's window is there (or a while, or the dialog has ended)
    // and answers it, or null.
    HWND WaitForWindow() const;
    // Not owned: the starting operation closes it after the dialog has ended.
    void SetWorkerThread(HANDLE thread) { workerThread_ = thread; }
    // Runs on the main thread for each WM_CHECKEDOUTDOCUMENT, also while the dialog waits for the
    // worker to end; its answer goes back to the worker.
    void SetHandover(std::function<LRESULT(LPARAM)> handover) { handover_ = std::move(handover); }
    // Set once the window is initialised, and again when the dialog has ended.
    HANDLE GetInitEvent() const { return initEvent_.get(); }

    INT_PTR DoModal() override;

    // Read by the worker without a lock.
    bool IsCancelRequested() const { return cancelRequested_.load() != 0; }
    HWND GetWorkerWindow() const { return window_.load(); }

protected:
    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;

    LRESULT OnWM_SETDOCUMENTINFO(LPARAM lParam);
    LRESULT OnWM_SETERRORTEXT(LPARAM lParam);

private:
    void Close(bool byWorker);
    void WaitForWorker();
    void ShowTexts();

    std::atomic<LONG> cancelRequested_{0};
    HANDLE workerThread_ = nullptr;
    CAPHandle initEvent_;
    std::function<LRESULT(LPARAM)> handover_;
    std::wstring caption_;
    std::wstring name_;
    std::wstring author_;
    std::wstring number_;
    std::wstring version_;
    std::wstring size_;
    bool cancelDisabled_ = false;
    bool closing_ = false;
    std::atomic<HWND> window_{nullptr};
};
