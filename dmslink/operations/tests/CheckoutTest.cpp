#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OperationsFixture.h"
#include "VxApp.h"
#include "VxHFT.h"
#include "dialogs/CProgressDlg.h"
#include "operations/TSOperations.h"

namespace {

using Texts = std::vector<std::wstring>;

// Registers each copy as the lifecycle does, and notes what it was handed and on which thread.
class RegisteringSink : public CheckoutSink {
public:
    explicit RegisteringSink(CDocumentManager& documents) : documents_(documents) {}
    bool Register(CheckedOutDocument& copy) override {
        threads.push_back(GetCurrentThreadId());
        files.push_back(copy.path);
        recordBeforeRegistration.push_back(copy.recordClaim && vxhost::TempFolder::Exists(RecordFileOf(copy.path)) &&
                                           vxhost::TempFolder::Exists(copy.path));
        return documents_.AddDocument(nullptr, std::move(copy.document), copy.path, true, std::move(copy.recordClaim));
    }
    void Forget(const std::wstring& path) override {
        if (TrackedDocument* record = documents_.FindASPathName(path)) documents_.RemoveDoc(record);
    }
    std::vector<DWORD> threads;
    std::vector<std::wstring> files;
    std::vector<bool> recordBeforeRegistration;

private:
    CDocumentManager& documents_;
};

class CheckoutTest : public OperationsTest {
protected:
    bool Open(const std::vector<long>& numbers, bool keepCheckedOut, const wchar_t* filter = nullptr) {
        SetOpen(numbers);
        return Life().OpenDocuments(nullptr, filter, &items_, &count_, keepCheckedOut);
    }
    void TearDown() override {
        FreeList(items_, count_);
        items_ = nullptr;
        OperationsTest::TearDown();
    }
    std::wstring Folder(int n) { return Root() + L"\\VRL" + std::to_wstring(n) + L"\\"; }

    ASPathName* items_ = nullptr;
    ASUns16 count_ = 0;
};

TEST_F(CheckoutTest, ADocumentInUseIsReportedAndLeftOutOfTheList) {
    ASSERT_EQ(tessera::LockDocument(Store(), L"SRV1", L"DOCS", memo_, 1, L"user7", L""), S_OK);
    ASSERT_TRUE(Open({lease_, memo_, budget_}, true));

    ASSERT_EQ(count_, 2);
    EXPECT_EQ(host().Objects().Use(items_, vxhost::ObjectKind::Block, "test")->Describe(),
              "block of " + std::to_string(2 * sizeof(ASPathName)) + " bytes");
    // The refused document's folder goes with its claim, and the third one takes its number.
    EXPECT_EQ(PathText(items_[0]), Folder(0) + L"1234_1.pdf");
    EXPECT_EQ(PathText(items_[1]), Folder(1) + L"1236_1.pdf");
    EXPECT_EQ(VxReadFile(Folder(0) + L"1234_1.pdf").size(), 1536u);
    EXPECT_TRUE(Exists(Folder(0) + L"TSFile.dat"));
    EXPECT_EQ(docs_->GetCount(), 2);
    EXPECT_EQ(Info(lease_).lockedBy, L"jdoe");
    EXPECT_EQ(Info(memo_).lockedBy, L"user7");

    EXPECT_EQ(host().Alerts(), Texts{L"Unable to open file 'Memo.pdf'. This file is currently in use by user7."});
    ASSERT_EQ(Dialogs().size(), 1u);
    EXPECT_EQ(Dialogs()[0].caption, L"Checking-out documents from server...");
    EXPECT_TRUE(Dialogs()[0].cancelEnabled);
    EXPECT_EQ(Dialogs()[0].details, (std::vector<Texts>{{L"Lease.pdf", L"jdoe", L"1234", L"1", L"1 KB"},
                                                         {L"Memo.pdf", L"", L"1235", L"1", L"3072 KB"},
                                                         {L"Budget.pdf", L"", L"1236", L"1", L"1 KB"}}));
    EXPECT_EQ(TraceCount("Checking out file 1235_1.pdf"), 1u);
    EXPECT_EQ(TraceCount("Checking out to: " + VxToAnsi((Folder(1) + L"1235_1.pdf").c_str())), 1u);
    EXPECT_EQ(TraceCount("Checkout Error: Unable to open file 'Memo.pdf'. This file is currently in use by user7."),
              1u);
}

TEST_F(CheckoutTest, RefusalMessagesNameTheHolderOrTheError) {
    struct Case {
        const wchar_t* holder;  // locks the document first; null: a fault instead
        HRESULT fault;
        const wchar_t* message;
    } cases[] = {
        {L"mmajor", S_OK, L"Unable to open file 'Lease.pdf'. This file is currently in use by Mary Major."},
        {nullptr, TESSERA_E_IN_USE, L"Unable to open file 'Lease.pdf'. This file is currently in use by Unknown user."},
        {nullptr, E_FAIL, L"Error: -2147467259. Unable to open file 'Lease.pdf'."},
    };
    for (const Case& c : cases) {
        if (c.holder) {
            ASSERT_EQ(tessera::LockDocument(Store(), L"SRV1", L"DOCS", lease_, 1, c.holder, L""), S_OK);
        }
        if (c.fault != S_OK) {
            ASSERT_EQ(tessera::AddFault(Store(), L"CheckOut", c.fault, 1), S_OK);
        }
        EXPECT_FALSE(Open({lease_}, true));
        EXPECT_EQ(items_, nullptr);
        EXPECT_EQ(count_, 0);
        ASSERT_FALSE(host().Alerts().empty());
        EXPECT_EQ(host().Alerts().back(), c.message);
        bool released = false;
        ASSERT_EQ(tessera::UnlockDocument(Store(), L"SRV1", L"DOCS", lease_, &released), S_OK);
    }
    EXPECT_EQ(host().Alerts().size(), 3u);
    ASSERT_EQ(Dialogs().size(), 3u);
    for (const ShownDialog& shown : Dialogs()) EXPECT_FALSE(shown.cancelEnabled) << "one document: no Cancel";
    EXPECT_EQ(docs_->GetCount(), 0);
}

TEST_F(CheckoutTest, KeepCheckedOutDecidesTheUnlockAndTheRecordFile) {
    ASSERT_TRUE(Open({lease_, budget_}, false));
    ASSERT_EQ(count_, 2);
    EXPECT_EQ(Info(lease_).lockedBy, L"");
    EXPECT_EQ(Info(budget_).lockedBy, L"");
    EXPECT_EQ(TraceCount("CheckoutThreadProc Unlocking"), 2u);
    EXPECT_FALSE(Exists(Folder(0) + L"TSFile.dat"));
    FreeList(items_, count_);
    items_ = nullptr;

    ClearTraces();
    ASSERT_TRUE(Open({memo_}, true));
    ASSERT_EQ(count_, 1);
    EXPECT_EQ(Info(memo_).lockedBy, L"jdoe");
    EXPECT_EQ(TraceCount("CheckoutThreadProc Unlocking"), 0u);
    EXPECT_TRUE(Exists(Folder(2) + L"TSFile.dat"));
}

TEST_F(CheckoutTest, NothingChosenGivesFalseWithoutADialog) {
    ASSERT_EQ(tessera::SetOpenPresetCancel(Store()), S_OK);
    EXPECT_FALSE(Life().OpenDocuments(nullptr, nullptr, &items_, &count_, true));

    UseSpyContext(true);
    items_ = reinterpret_cast<ASPathName*>(&count_);  // must be overwritten
    EXPECT_FALSE(Open({lease_}, true));
    EXPECT_EQ(items_, nullptr);
    EXPECT_EQ(count_, 0);
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(Info(lease_).lockedBy, L"");
}

TEST_F(CheckoutTest, WithoutAConnectedServerNothingIsAsked) {
    servers_.FindServer(L"SRV1")->connected = false;
    ASPathName* untouched = reinterpret_cast<ASPathName*>(&count_);
    items_ = untouched;
    count_ = 7;
    SetOpen({lease_});
    EXPECT_FALSE(Life().OpenDocuments(nullptr, nullptr, &items_, &count_, true));
    EXPECT_EQ(items_, untouched);
    EXPECT_EQ(count_, 7);
    EXPECT_TRUE(Exists(Store() + L"\\presets\\open.txt")) << "the open command ran";
    items_ = nullptr;
    count_ = 0;

    servers_.FindServer(L"SRV1")->connected = true;
    EXPECT_FALSE(Life().OpenDocuments(nullptr, nullptr, nullptr, &count_, true));
    EXPECT_FALSE(Life().OpenDocuments(nullptr, nullptr, &items_, nullptr, true));
    EXPECT_TRUE(Exists(Store() + L"\\presets\\open.txt"));
}

TEST_F(CheckoutTest, ContextItemsInOrderWithAndWithoutAFilter) {
    UseSpyContext();
    const std::wstring window = std::to_wstring(static_cast<LONG>(reinterpret_cast<LONG_PTR>(host().MainWindow())));
    for (const wchar_t* filter : {static_cast<const wchar_t*>(nullptr), L"PDF"}) {
        ASSERT_TRUE(Open({lease_}, false, filter));
        std::vector<ContextItem> expected = {{L"ParentWindow", VT_I4, window},
                                             {L"TesseraDMS", VT_UNKNOWN, L""},
                                             {L"TesseraExt2.CommandList", VT_ARRAY | VT_BSTR, L"[@1@&Open]"},
                                             {L"TesseraExt2.MultiFileSelection", VT_BOOL, L"true"}};
        if (filter) expected.push_back({L"TesseraExt2.FileOpFilterAppType", VT_BSTR, L"PDF"});
        expected.push_back({L"SelectedTesseraObjects", VT_ARRAY | VT_DISPATCH, L""});  // the command's answer
        EXPECT_EQ(SpyItems(), expected);
        FreeList(items_, count_);
        items_ = nullptr;
    }
}

// Cancel pressed while the second of three documents is checked out. The store lock holds the
// worker inside that check-out until the dialog has taken the Cancel, so the order is certain.
class CancellingDialog : public CProgressDlg {
public:
    CancellingDialog(HWND parent, std::wstring store) : CProgressDlg(parent), store_(std::move(store)) {}
    ~CancellingDialog() override {
        if (releaser_) {
            WaitForSingleObject(releaser_, INFINITE);
            CloseHandle(releaser_);
        }
        if (lock_ != INVALID_HANDLE_VALUE) CloseHandle(lock_);
    }
    int reported = 0;

protected:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override {
        if (message == WM_SETDOCUMENTINFO && ++reported == 2) {
            lock_ = CreateFileW((store_ + L"\\store.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, 0,
                                nullptr);
            OVERLAPPED at = {};
            LockFileEx(lock_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
            releaser_ = CreateThread(nullptr, 0, ReleaseWhenCancelled, this, 0, nullptr);
            PostMessageW(m_hWnd, WM_COMMAND, IDCANCEL, 0);
        }
        return CProgressDlg::OnMessage(message, wParam, lParam, handled);
    }

private:
    static DWORD WINAPI ReleaseWhenCancelled(LPVOID self) {
        auto* dialog = static_cast<CancellingDialog*>(self);
        for (int i = 0; i < 10000 && !dialog->IsCancelRequested(); ++i) Sleep(1);
        OVERLAPPED at = {};
        UnlockFileEx(dialog->lock_, 0, 1, 0, &at);
        return 0;
    }
    std::wstring store_;
    HANDLE lock_ = INVALID_HANDLE_VALUE;
    HANDLE releaser_ = nullptr;
};

TEST_F(CheckoutTest, CancelDuringTheSecondOfThreeFinishesItAndStartsNoThird) {
    SAFEARRAY* selection = SafeArrayCreateVector(VT_DISPATCH, 0, 3);
    ASSERT_NE(selection, nullptr);
    LONG index = 0;
    for (long number : {lease_, memo_, budget_}) {
        DmsDocumentPtr document = Dms(number);
        ASSERT_NE(document, nullptr);
        ASSERT_EQ(SafeArrayPutElement(selection, &index, static_cast<IDispatch*>(document->document.GetInterfacePtr())),
                  S_OK);
        ++index;
    }
    ASPathName list[3] = {};
    RegisteringSink sink(*docs_);
    CCheckoutHandover handover(sink, list, 3);
    INT_PTR ended = 0;
    {
        CancellingDialog dialog(host().MainWindow(), Store());
        handover.Attach(dialog);
        CheckoutThreadParams params;
        params.selection = selection;
        params.dialog = &dialog.Link();
        params.keepCheckedOut = true;
        HANDLE worker = CreateThread(nullptr, 0, CheckoutThreadProc, &params, 0, nullptr);
        ASSERT_NE(worker, nullptr);
        dialog.SetWorkerThread(worker);
        ended = dialog.DoModal();
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
        EXPECT_EQ(dialog.reported, 2);
    }
    SafeArrayDestroy(selection);

    EXPECT_EQ(ended, IDCANCEL);
    EXPECT_EQ(handover.Count(), 2);
    EXPECT_NE(list[0], nullptr);
    EXPECT_NE(list[1], nullptr);
    EXPECT_EQ(list[2], nullptr);
    EXPECT_EQ(Info(memo_).lockedBy, L"jdoe");
    EXPECT_EQ(Info(budget_).lockedBy, L"");
    EXPECT_EQ(TraceCount("Checking out file 1236_1.pdf"), 0u);
    EXPECT_EQ(docs_->GetCount(), 2);
    for (ASPathName path : list)
        if (path) ReleasePath(path);
}

// The worker hands each copy to the main thread, with its record file already beside it, and the main
// thread registers it before the worker starts the next; no host entry is called from the worker
// (the fixture fails the test for any).
TEST_F(CheckoutTest, EachCopyIsRegisteredOnTheMainThreadInSelectionOrder) {
    SetOpen({budget_, lease_, memo_});
    RegisteringSink sink(*docs_);
    ASSERT_TRUE(OpenDocuments(*manager_, sink, nullptr, nullptr, &items_, &count_, true));
    ASSERT_EQ(count_, 3);
    EXPECT_EQ(sink.threads, std::vector<DWORD>(3, GetCurrentThreadId()));
    EXPECT_EQ(sink.files, (Texts{Folder(0) + L"1236_1.pdf", Folder(1) + L"1234_1.pdf", Folder(2) + L"1235_1.pdf"}));
    EXPECT_EQ(sink.recordBeforeRegistration, std::vector<bool>(3, true));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(docs_->GetDocumentAt(i)->pathName, sink.files[i]);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(PathText(items_[i]), sink.files[i]);

    // A copy the main thread cannot register goes back: its lock and record file too.
    struct Refusing : CheckoutSink {
        bool Register(CheckedOutDocument&) override { return false; }
        void Forget(const std::wstring&) override {}
    } refusing;
    FreeList(items_, count_);
    items_ = nullptr;
    SetOpen({empty_});
    EXPECT_FALSE(OpenDocuments(*manager_, refusing, nullptr, nullptr, &items_, &count_, true));
    EXPECT_EQ(Info(empty_).lockedBy, L"");
    EXPECT_FALSE(Exists(Folder(3) + L"TSFile.dat"));
    ASSERT_FALSE(host().Alerts().empty());
    EXPECT_EQ(host().Alerts().back(), L"Error: -2147467259. Unable to open file 'Empty.pdf'.");
}

// A log-off during the check-out of the second of three documents: the dialog closes as Cancel does.
// The copy in transfer is finished, handed over and registered while the dialog waits, and the third
// is not started. The quit is there again for the host's own loop once the dialog has gone.
TEST_F(CheckoutTest, AQuitDuringACheckoutFinishesTheCopyInTransferAndStartsNoMore) {
    ASSERT_EQ(tessera::AddPass(Store(), L"CheckOut", 1), S_OK);
    ASSERT_EQ(tessera::AddHang(Store(), L"CheckOut", 1, 1), S_OK);
    {
        QuitDuringProgress quit(3, 5);  // the initial details, then Lease's and Memo's
        ASSERT_TRUE(Open({lease_, memo_, budget_}, true));
        EXPECT_TRUE(quit.Posted());
    }
    MSG left = {};
    EXPECT_TRUE(PeekMessageW(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(left.wParam, 5u);

    ASSERT_EQ(count_, 2);
    EXPECT_EQ(PathText(items_[1]), Folder(1) + L"1235_1.pdf");
    EXPECT_EQ(docs_->GetCount(), 2);
    EXPECT_EQ(Info(memo_).lockedBy, L"jdoe");
    EXPECT_EQ(VxReadFile(Folder(1) + L"1235_1.pdf").size(), 3145728u);
    EXPECT_TRUE(Exists(Folder(1) + L"TSFile.dat"));
    EXPECT_EQ(Info(budget_).lockedBy, L"");
    EXPECT_EQ(TraceCount("Checking out file 1236_1.pdf"), 0u);
    EXPECT_TRUE(host().Alerts().empty());
}

// A copy the registry cannot add (its access rights cannot be read) goes back whole, and the registry
// holds nothing of it: the lock is given back and the record file, no longer claimed, goes.
TEST_F(CheckoutTest, ACopyTheRegistryCannotAddLeavesNoRecordBehind) {
    struct UnreadableSink : RegisteringSink {
        using RegisteringSink::RegisteringSink;
        bool Register(CheckedOutDocument& copy) override {
            copy.document = WithUnreadableRights(std::move(copy.document));
            return RegisteringSink::Register(copy);
        }
    } sink(*docs_);
    SetOpen({lease_});
    EXPECT_FALSE(OpenDocuments(*manager_, sink, nullptr, nullptr, &items_, &count_, true));
    EXPECT_EQ(sink.files, Texts{Folder(0) + L"1234_1.pdf"});
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(Info(lease_).lockedBy, L"");
    EXPECT_FALSE(Exists(Folder(0) + L"TSFile.dat"));
    ASSERT_FALSE(host().Alerts().empty());
    EXPECT_EQ(host().Alerts().back(), L"Error: -2147467259. Unable to open file 'Lease.pdf'.");
}

}  // namespace
