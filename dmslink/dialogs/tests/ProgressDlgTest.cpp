#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "VxHostedTest.h"
#include "dialogs/CProgressDlg.h"
#include "resources/resource.h"

namespace {

std::wstring Text(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

// A progress dialog whose initialisation hands the live window to the test.
class TestDialog : public CProgressDlg {
public:
    explicit TestDialog(HWND parent) : CProgressDlg(parent) {}
    std::function<void(HWND)> onInit;
    std::vector<WORD> commands;

protected:
    BOOL OnInitDialog() override {
        BOOL result = CProgressDlg::OnInitDialog();
        if (onInit) onInit(m_hWnd);
        return result;
    }
    bool OnCommand(WORD id, WORD code, HWND control) override {
        commands.push_back(id);
        return CProgressDlg::OnCommand(id, code, control);
    }
};

// The plain framework dialog on the same template, to show that posted keys do reach the dialog
// manager in this environment.
class PlainDialog : public CDialog {
public:
    PlainDialog() : CDialog(IDD_PROGRESS, nullptr) {}

protected:
    BOOL OnInitDialog() override {
        PostMessageW(GetDlgItem(IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
        return TRUE;
    }
};

class ProgressDlgTest : public VxHostedTest {};

TEST_F(ProgressDlgTest, EnterAndEscapeDoNothing) {
    PlainDialog plain;
    ASSERT_EQ(plain.DoModal(), IDCANCEL);

    TestDialog dialog(host().MainWindow());
    dialog.onInit = [](HWND window) {
        HWND cancel = GetDlgItem(window, IDCANCEL);
        for (HWND target : {window, cancel}) {
            PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageW(target, WM_KEYDOWN, VK_RETURN, 0);
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);  // ended by WM_CLOSE, not by a key
    EXPECT_TRUE(dialog.commands.empty());
}

TEST_F(ProgressDlgTest, WhatWasSetBeforeTheWindowShowsAtOnce) {
    TestDialog dialog(host().MainWindow());
    dialog.SetCaption(L"Checking-in documents to server...");
    dialog.DisableCancel();
    ProgressDocumentInfo info = {L"Lease", nullptr, L"1234", L"2", L"1 KB"};
    dialog.SetDocumentInfo(&info);
    dialog.SetDocumentInfo(nullptr);
    std::vector<std::wstring> shown;
    bool cancelEnabled = true, marquee = false, eventSet = false;
    dialog.onInit = [&](HWND window) {
        shown.push_back(Text(window));
        for (int id : {IDC_DOC_NAME, IDC_DOC_AUTHOR, IDC_DOC_NUMBER, IDC_DOC_VERSION, IDC_DOC_SIZE})
            shown.push_back(Text(GetDlgItem(window, id)));
        cancelEnabled = IsWindowEnabled(GetDlgItem(window, IDCANCEL)) != FALSE;
        marquee = (GetWindowLongPtrW(GetDlgItem(window, IDC_PROGRESS), GWL_STYLE) & PBS_MARQUEE) != 0;
        eventSet = WaitForSingleObject(dialog.GetInitEvent(), 0) == WAIT_OBJECT_0;
        PostMessageW(window, WM_CLOSE, 0, 0);
    };
    dialog.DoModal();
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"Checking-in documents to server...", L"Lease", L"", L"1234", L"2",
                                                 L"1 KB"}));
    EXPECT_FALSE(cancelEnabled);
    EXPECT_TRUE(marquee);
    EXPECT_TRUE(eventSet);
    EXPECT_TRUE(dialog.IsCancelRequested());
}

// A stand-in worker: waits for the dialog like the real ones, then runs `body` against its window.
class FakeWorker {
public:
    FakeWorker(CProgressDlg& dialog, std::function<void(HWND)> body) : dialog_(dialog), body_(std::move(body)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~FakeWorker() {
        if (!thread_) return;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    FakeWorker(const FakeWorker&) = delete;
    FakeWorker& operator=(const FakeWorker&) = delete;
    HANDLE handle() const { return thread_; }

private:
    static DWORD WINAPI Run(LPVOID self) {
        FakeWorker* worker = static_cast<FakeWorker*>(self);
        WaitForSingleObject(worker->dialog_.GetInitEvent(), 10000);
        worker->body_(worker->dialog_.GetWorkerWindow());
        return 0;
    }
    CProgressDlg& dialog_;
    std::function<void(HWND)> body_;
    HANDLE thread_ = nullptr;
};

TEST_F(ProgressDlgTest, AnErrorHidesTheDialogForTheAlertAndShowsItAgainUnlessLast) {
    CProgressDlg dialog(host().MainWindow());
    bool visibleAfterFirst = false, visibleAfterLast = true;
    FakeWorker worker(dialog, [&](HWND window) {
        ProgressErrorInfo first = {L"Error: -2147467259. Unable to open file 'Lease.pdf'.", false};
        SendMessageW(window, WM_SETERRORTEXT, 0, reinterpret_cast<LPARAM>(&first));
        visibleAfterFirst = IsWindowVisible(window) != FALSE;
        SendMessageW(window, WM_SETERRORTEXT, 0, 0);
        ProgressErrorInfo last = {L"Unable to open file 'Memo.pdf'. This file is currently in use by user7.", true};
        SendMessageW(window, WM_SETERRORTEXT, 0, reinterpret_cast<LPARAM>(&last));
        visibleAfterLast = IsWindowVisible(window) != FALSE;
        PostMessageW(window, WM_CLOSE, 0, 0);
    });
    dialog.SetWorkerThread(worker.handle());
    dialog.DoModal();
    EXPECT_TRUE(visibleAfterFirst);
    EXPECT_FALSE(visibleAfterLast);
    EXPECT_EQ(host().Alerts(),
              (std::vector<std::wstring>{L"Error: -2147467259. Unable to open file 'Lease.pdf'.",
                                         L"Unable to open file 'Memo.pdf'. This file is currently in use by user7."}));
}

// The close waits for the worker while the worker is inside SendMessage to the dialog.
TEST_F(ProgressDlgTest, ClosingWhileTheWorkerSendsNeverStalls) {
    for (int round = 0; round < 20; ++round) {
        CProgressDlg dialog(host().MainWindow());
        std::atomic<int> sent{0};
        FakeWorker worker(dialog, [&](HWND window) {
            ProgressDocumentInfo info = {L"Lease.pdf", L"jdoe", L"1234", L"1", L"1 KB"};
            ProgressErrorInfo error = {L"Error: 1. Unable to open file 'Lease.pdf'.", false};
            while (!dialog.IsCancelRequested() && sent < 1000000) {
                if (++sent % 50 == 0)
                    SendMessageW(window, WM_SETERRORTEXT, 0, reinterpret_cast<LPARAM>(&error));
                else
                    SendMessageW(window, WM_SETDOCUMENTINFO, 0, reinterpret_cast<LPARAM>(&info));
                if (sent == 3 + round) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
                // Back-to-back sends would keep the posted Cancel waiting behind them.
                if (sent > 3 + round) Sleep(1);
            }
            // Sent after the close has begun: must be answered, not left waiting.
            SendMessageW(window, WM_SETDOCUMENTINFO, 0, reinterpret_cast<LPARAM>(&info));
            PostMessageW(window, WM_CLOSE, 0, 0);
        });
        dialog.SetWorkerThread(worker.handle());
        EXPECT_EQ(dialog.DoModal(), IDCANCEL) << "round " << round;
        EXPECT_GE(sent.load(), 3 + round);
        EXPECT_LT(sent.load(), 1000000);
    }
}

TEST_F(ProgressDlgTest, AWorkerThatEndsWithoutClosingStillEndsTheDialog) {
    CProgressDlg dialog(host().MainWindow());
    dialog.DisableCancel();
    FakeWorker worker(dialog, [](HWND) {});
    dialog.SetWorkerThread(worker.handle());
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

}  // namespace
