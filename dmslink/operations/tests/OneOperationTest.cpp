// One DMS operation at a time: what the host calls through the plug-in's table, its notifications
// and its idle moments while an operation waits in a dialog or an alert, with the plug-in's own
// module behind the boundary and the host delivering its notifications.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "OperationsFixture.h"
#include "VxHFT.h"
#include "VxPlugin.h"
#include "boundary/Boundary.h"
#include "dialogs/CProgressDlg.h"

namespace {

using ::testing::HasSubstr;

class OneOperationTest : public OperationsTest {
protected:
    void SetUp() override {
        OperationsTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(VxPublishHFT(), 1);
        AdoptModule(std::make_unique<CDmslinkModule>(host().MainWindow()));
        ASSERT_TRUE(TheModule()->Servers().AddServer(L"SRV1", L"jdoe", L"secret", false, false));
        ASSERT_TRUE(TheModule()->Manager().Login(L"SRV1", false, L"jdoe", L"secret"));
        VxRegisterNotification(kNotifyPDDocDidOpen, reinterpret_cast<void*>(TS_OpenHandler));
        VxRegisterNotification(kNotifyPDDocDidSave, reinterpret_cast<void*>(TS_PDDocDidSave));
        VxRegisterNotification(kNotifyPDDocDidClose, reinterpret_cast<void*>(TS_PDDocDidClose));
    }
    void TearDown() override {
        host().SetAlertHandler(nullptr);
        ReleaseModule().reset();
        OperationsTest::TearDown();
    }
    CDocumentManager& Registry() { return TheModule()->Documents(); }

    // Open from Tessera through entry 7; with `open` the host opens each copy and the notification
    // binds it, as the host's Open does.
    std::vector<std::wstring> OpenFromTessera(const std::vector<long>& numbers, bool open) {
        SetOpen(numbers);
        ASPathName* items = nullptr;
        ASUns16 count = 0;
        std::vector<std::wstring> copies;
        auto openDialog = VxEntry<TesseraOpenDialogProc>(VxOwnTable(), kTesseraOpenDialog);
        EXPECT_TRUE(openDialog(nullptr, nullptr, &items, &count, 1));
        for (ASUns16 i = 0; i < count; ++i) {
            copies.push_back(PathText(items[i]));
            if (open) {
                EXPECT_NE(host().OpenDocument(copies.back()), nullptr);
            }
        }
        FreeList(items, count);
        return copies;
    }
    static void RemoveDocument(const std::wstring& copy) {
        ASPathName path = MakePath(copy);
        VxEntry<TesseraPathProc>(VxOwnTable(), kTesseraRemoveDocument)(path);
        ReleasePath(path);
    }
    static void RemoveUnusedDocuments() { VxEntry<TesseraVoidProc>(VxOwnTable(), kTesseraRemoveUnusedDocuments)(); }
    void ExpectCheckedIn(long number, const std::wstring& copy) {
        EXPECT_EQ(LatestVersion(number), 2) << number;
        EXPECT_THAT(VxReadFile(Info(number, 2).contentPath), HasSubstr("edited")) << number;
        EXPECT_EQ(Info(number, 2).lockedBy, L"") << number;
        EXPECT_FALSE(Exists(copy)) << number;
        EXPECT_FALSE(IsOwed(copy)) << number;
    }
};

// Closing a saved document checks it in. While its dialog is up the host removes that very record
// (entry 6) and closes another saved document: both wait until the check-in has ended, which then
// still marks its own record received and releases it, and the second check-in follows.
TEST_F(OneOperationTest, ACheckinEndsWithItsRecordAndTheHostsRequestsFollowIt) {
    std::vector<std::wstring> copies = OpenFromTessera({lease_, budget_}, true);
    ASSERT_EQ(copies.size(), 2u);
    std::vector<vxhost::Document*> docs = host().Documents();
    for (vxhost::Document* doc : docs) {
        host().EditDocument(doc, "edited");
        ASSERT_TRUE(host().SaveDocument(doc));
    }
    During(WM_INITDIALOG, [&] {
        RemoveDocument(copies[0]);
        host().CloseDocument(docs[1]);
        EXPECT_EQ(LatestVersion(budget_), 1) << "a second check-in started while the first ran";
    });
    host().CloseDocument(docs[0]);
    DrainIdle();

    EXPECT_EQ(Registry().GetCount(), 0);
    ExpectCheckedIn(lease_, copies[0]);
    ExpectCheckedIn(budget_, copies[1]);
    EXPECT_TRUE(host().Alerts().empty()) << host().DescribeAlerts();
}

// Save to Tessera of an open document: while the import waits (here in the progress dialog), the
// host removes the source's record; the source is still released as its own after the import, and
// the removal follows.
TEST_F(OneOperationTest, TheSourceOfASaveToTesseraIsReleasedAfterTheImport) {
    std::vector<std::wstring> copies = OpenFromTessera({lease_}, true);
    ASSERT_EQ(copies.size(), 1u);
    PDDoc lease = host().Documents()[0]->pdDoc();
    ASSERT_EQ(tessera::SetImportPreset(Store(), L"DOCS", L""), S_OK);
    ASSERT_EQ(tessera::AddHang(Store(), L"ImportExecute", 1, 1), S_OK);
    During(WM_INITDIALOG, [&] { RemoveDocument(copies[0]); });
    ASPathName source = MakePath(copies[0]);
    ASPathName target = VxEntry<TesseraPathToPathProc>(VxOwnTable(), kTesseraSaveAsDialog)(source);
    ReleasePath(source);
    ASSERT_NE(target, nullptr);
    TrackedDocument* imported = Registry().FindASPathName(PathText(target));
    ReleasePath(target);
    DrainIdle();

    ASSERT_NE(imported, nullptr);
    EXPECT_EQ(imported->pdDoc, lease);
    EXPECT_EQ(Registry().GetCount(), 1);
    EXPECT_EQ(Registry().PendingDocument(), nullptr);
    EXPECT_EQ(Info(lease_).lockedBy, L"");
    EXPECT_FALSE(Exists(RecordFileOf(copies[0])));
}

// Entry 5 releases the copies no document uses (two side by side), not the open one; the DMS keeps
// the first one's lock and the alert saying so lets the host ask for entry 5 again, which must not
// start while the first runs. The first goes on with the next record.
TEST_F(OneOperationTest, RemovingUnusedDocumentsGoesOnAfterAnAlert) {
    ASSERT_EQ(OpenFromTessera({memo_}, true).size(), 1u);
    std::vector<std::wstring> copies = OpenFromTessera({lease_, budget_}, false);
    ASSERT_EQ(copies.size(), 2u);
    ASSERT_EQ(tessera::AddRefusal(Store(), L"Unlock", 1), S_OK);
    host().SetAlertHandler([](const std::wstring&) { RemoveUnusedDocuments(); });
    RemoveUnusedDocuments();
    DrainIdle();

    EXPECT_EQ(host().Alerts().size(), 1u);
    ASSERT_EQ(Registry().GetCount(), 1);
    EXPECT_NE(Registry().GetDocumentAt(0)->pdDoc, nullptr);
    EXPECT_EQ(Info(memo_).lockedBy, L"jdoe");
    EXPECT_EQ(Info(lease_).lockedBy, L"jdoe");
    EXPECT_EQ(Info(budget_).lockedBy, L"");
    for (const std::wstring& copy : copies) EXPECT_FALSE(Exists(copy));
}

// A copy the check-out has registered is not unused: the host has not had it to open yet. Nor does
// the start-up's recovery run in the middle: it waits for a later idle moment.
TEST_F(OneOperationTest, ACheckOutKeepsItsCopiesFromEntry5AndTheRecoveryWhileItRuns) {
    During(WM_CHECKEDOUTDOCUMENT, [] {
        RemoveUnusedDocuments();
        TS_StartupIdleProc(nullptr);
    });
    std::vector<std::wstring> copies = OpenFromTessera({lease_, budget_}, false);
    ASSERT_EQ(copies.size(), 2u);
    for (long number : {lease_, budget_}) EXPECT_EQ(Info(number).lockedBy, L"jdoe");
    for (const std::wstring& copy : copies) {
        EXPECT_NE(Registry().FindASPathName(copy), nullptr);
        EXPECT_TRUE(Exists(RecordFileOf(copy)));
    }
    EXPECT_TRUE(host().JournalMatching("idle-unregister").empty());
}

}  // namespace
