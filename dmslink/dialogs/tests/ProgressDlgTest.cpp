#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "DialogWalker.h"
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

protected:
    BOOL OnInitDialog() override {
        BOOL result = CProgressDlg::OnInitDialog();
        if (onInit) onInit(m_hWnd);
        return result;
    }
};

class ProgressDlgTest : public VxHostedTest {};

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

// With the keyboard: a screen reader reads every text after its label; the focus is on Cancel while
// it can be used, else on the bar; Enter is OK and Escape Cancel. While the worker runs, Enter never
// ends the dialog and Escape does only what Cancel does: ask a check-out of several documents to stop.
TEST_F(ProgressDlgTest, KeysReachTheDialogButNeverEndItUnderTheWorker) {
    const struct {
        bool cancelDisabled;
        VxDialogStop focus;
        INT_PTR result;
    } cases[] = {{false, {IDCANCEL, L"Cancel"}, IDCANCEL}, {true, {IDC_PROGRESS, L""}, IDOK}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cancelDisabled);
        CProgressDlg dialog(host().MainWindow());
        if (c.cancelDisabled) dialog.DisableCancel();
        CAPHandle keysPressed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        FakeWorker worker(dialog, [&](HWND window) {
            WaitForSingleObject(keysPressed.get(), 10000);
            PostMessageW(window, WM_CLOSE, 0, 0);
        });
        dialog.SetWorkerThread(worker.handle());
        std::vector<std::wstring> labels;
        VxDialogWalker walker([&](HWND window) {
            for (int id : {IDC_DOC_NAME, IDC_DOC_AUTHOR, IDC_DOC_NUMBER, IDC_DOC_VERSION, IDC_DOC_SIZE})
                labels.push_back(VxScreenReaderLabel(GetDlgItem(window, id)));
            for (WPARAM key : {VK_RETURN, VK_ESCAPE, VK_RETURN}) VxPressKey(window, key);
            SetEvent(keysPressed.get());
        });
        EXPECT_EQ(dialog.DoModal(), c.result);
        ASSERT_TRUE(walker.Done());
        EXPECT_EQ(walker.Walk().stops, std::vector<VxDialogStop>{c.focus});
        EXPECT_TRUE(walker.Walk().cycled);
        EXPECT_EQ(walker.Walk().enter, IDOK);
        EXPECT_EQ(walker.Walk().escape, IDCANCEL);
        EXPECT_EQ(labels, (std::vector<std::wstring>{L"Name/Description:", L"Author:", L"Document number:", L"Version:",
                                                     L"Size:"}));
    }
}

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

// A progress dialog that ends the session (as the host's loop does at a log-off) when its worker asks.
const UINT kEndSession = WM_APP + 7;
class QuittingDialog : public CProgressDlg {
public:
    explicit QuittingDialog(HWND parent) : CProgressDlg(parent) {}

protected:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override {
        if (message != kEndSession) return CProgressDlg::OnMessage(message, wParam, lParam, handled);
        PostQuitMessage(static_cast<int>(wParam));
        *handled = true;
        return 0;
    }
};

// A worker in the middle of its work when the session ends: it asks for the quit, then goes on for a
// while (until told to stop, when it may be), and reports to the dialog before it returns.
class WorkOnAfterQuit : public CWorkerTask {
public:
    explicit WorkOnAfterQuit(bool stoppable) : stoppable_(stoppable) {}
    DWORD Work(const CProgressLink& dialog) override {
        HWND window = dialog.WaitForWindow();
        if (!window) return 1;
        PostMessageW(window, kEndSession, 7, 0);
        // A transfer that cannot stop takes its time; one that can stops at the flag.
        for (int waited = 0; waited < (stoppable_ ? 3000 : 300) && !(stoppable_ && dialog.CancelRequested());
             waited += 10)
            Sleep(10);
        toldToStop = dialog.CancelRequested();
        ProgressDocumentInfo info = {L"Lease.pdf", L"jdoe", L"1234", L"2", L"1 KB"};
        DWORD_PTR answer = 0;
        window = dialog.Window();
        reported = window && SendMessageTimeoutW(window, WM_SETDOCUMENTINFO, 0, reinterpret_cast<LPARAM>(&info),
                                                 SMTO_NORMAL, 3000, &answer) != 0;
        return 42;
    }
    std::atomic<bool> toldToStop{false};
    std::atomic<bool> reported{false};

private:
    bool stoppable_;
};

// A quit during the dialog closes it as Cancel does: the worker is told to stop and waited for, its
// messages answered meanwhile, and its result counts. A worker that cannot stop (a check-in, Cancel
// disabled) is waited for all the same. The quit is there again for the host's loop afterwards.
TEST_F(ProgressDlgTest, AQuitStopsTheWorkerWaitsForItAndIsLeftForTheHost) {
    for (bool cancelDisabled : {false, true}) {
        SCOPED_TRACE(cancelDisabled ? "Cancel disabled" : "Cancel enabled");
        auto task = std::make_shared<WorkOnAfterQuit>(!cancelDisabled);
        QuittingDialog dialog(host().MainWindow());
        if (cancelDisabled) dialog.DisableCancel();
        WorkerResult result = dialog.RunWorker(task);
        EXPECT_TRUE(result.answered);
        EXPECT_EQ(result.exitCode, 42u);
        EXPECT_TRUE(task->toldToStop);
        EXPECT_TRUE(task->reported) << "the dialog answered its worker until the worker ended";
        MSG quit = {};
        EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(quit.message, static_cast<UINT>(WM_QUIT));
        EXPECT_EQ(quit.wParam, 7u);
    }
}

// A quit that comes as the worker ends the dialog is not cleared away with the worker's WM_CLOSE.
TEST_F(ProgressDlgTest, AQuitAsTheWorkerEndsIsLeftForTheHost) {
    QuittingDialog dialog(host().MainWindow());
    FakeWorker worker(dialog, [](HWND window) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        SendMessageW(window, kEndSession, 9, 0);
    });
    dialog.SetWorkerThread(worker.handle());
    EXPECT_EQ(dialog.DoModal(), IDOK);
    MSG quit = {};
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 9u);
}

TEST_F(ProgressDlgTest, AWorkerThatEndsWithoutClosingStillEndsTheDialog) {
    CProgressDlg dialog(host().MainWindow());
    dialog.DisableCancel();
    FakeWorker worker(dialog, [](HWND) {});
    dialog.SetWorkerThread(worker.handle());
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

}  // namespace
