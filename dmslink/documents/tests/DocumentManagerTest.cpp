// The registry's records and close rules, carried out by the lifecycle layer against the DMS stand-in.
#include <TesseraDMS.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "DocumentsFixture.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "documents/CKeptCopies.h"
#include "documents/TempWorkspace.h"
#include "module/CKeptCopyActions.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

std::vector<std::string>* gTraceLines = nullptr;
void CollectTrace(const char* line) {
    if (gTraceLines) gTraceLines->push_back(line);
}

const wchar_t kKept[] =
    L"'Lease.pdf' could not be checked in to Tessera. Your changes are kept on this computer and will be checked in "
    L"when you close the document again or the next time Varnel Pro starts.";

class DocumentManagerTest : public DocumentsTest {
protected:
    // A saved, open copy: the edit is on disk and the record is marked.
    CheckedOut SavedCopy() {
        CheckedOut copy = CheckOut();
        EditAndSave(copy);
        EXPECT_TRUE(copy.record->saved);
        EXPECT_TRUE(IsOwed(copy.file));
        return copy;
    }
    size_t VersionCount() { return Versions().size(); }
    enum class Way { RemoveDocument, RemoveUnused, PendingRelease, CloseAtSkipPath };
    void GoWithoutCheckin(Way way, const CheckedOut& copy) {
        switch (way) {
        case Way::RemoveDocument:
            Life().RemoveDocument(copy.file);
            break;
        case Way::RemoveUnused:
            copy.record->pdDoc = nullptr;
            Life().RemoveUnusedDocuments();
            break;
        case Way::PendingRelease:
            docs_->SetPendingDocument(copy.record);
            Life().ReleasePendingDocument();
            break;
        case Way::CloseAtSkipPath:
            docs_->SkipDocumentClose(copy.file);
            Close(copy);
            break;
        }
    }
    // The copy, its record file, its owed mark and the lock are all still there.
    void ExpectKeptWithItsEdit(const CheckedOut& copy, const std::string& content = "lease-v2 edited") {
        EXPECT_EQ(VxReadFile(copy.file), content);
        EXPECT_TRUE(Exists(RecordFileOf(copy.file)));
        EXPECT_TRUE(IsOwed(copy.file));
        EXPECT_EQ(LockedBy(), L"jdoe");
    }
    // The host opens the copy again, as from its list of recent files.
    CheckedOut Reopen(const CheckedOut& copy) {
        CheckedOut again;
        again.file = copy.file;
        again.doc = host().OpenDocument(copy.file);
        EXPECT_NE(again.doc, nullptr);
        if (again.doc) Life().DocumentOpened(again.doc->pdDoc(), copy.file);
        again.record = docs_->FindASPathName(copy.file);
        return again;
    }
};

TEST_F(DocumentManagerTest, SearchesAndTitleUseTheNewestRecord) {
    std::wstring file = files_ / L"Lease.pdf";
    ASSERT_TRUE(VxWriteFile(file, "x"));
    TrackedDocument* older = docs_->AddDocument(nullptr, Dms(number_, 1), file, false);
    TrackedDocument* newer = docs_->AddDocument(nullptr, Dms(number_, 2), file, false);
    ASSERT_NE(older, nullptr);
    ASSERT_NE(newer, nullptr);
    EXPECT_EQ(docs_->FindASPathName(files_.path() + L"\\LEASE.PDF"), newer);
    EXPECT_EQ(docs_->FindPDDoc(nullptr), newer);
    EXPECT_EQ(docs_->GetDocumentTitle(file), L"ID:1234 v:2 Lease.pdf");

    newer->pdDoc = reinterpret_cast<PDDoc>(&file);
    EXPECT_EQ(docs_->FindPDDoc(nullptr), older);
    EXPECT_EQ(docs_->GetDocumentTitle(files_ / L"other.pdf"), L"");
}

TEST_F(DocumentManagerTest, AddingAndClosingTraceThePathRightsAndFileStatus) {
    std::vector<std::string> lines;
    gTraceLines = &lines;
    VxTraceSink previous = VxSetTraceSink(CollectTrace);
    CheckedOut copy = CheckOut();
    Close(copy);
    VxSetTraceSink(previous);
    gTraceLines = nullptr;
    EXPECT_THAT(lines, Contains("AddDocument " + vxhost::ToUtf8(copy.file)));
    EXPECT_THAT(lines, Contains("Document access rights: 255"));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "File size: 8"), 2);  // "lease-v2", added and closed
    for (const char* label : {"File acces time: ", "File creation time: ", "File modification time: "})
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(label, 0) == 0; }),
                  2)
            << label;
}

TEST_F(DocumentManagerTest, PathsCompareWithoutCaseAndTrailingBackslashOfAFolder) {
    EXPECT_TRUE(docs_->IsPathEqual(files_ / L"doc.pdf", files_.path() + L"\\DOC.PDF"));
    EXPECT_TRUE(docs_->IsPathEqual(files_.path(), files_.path() + L"\\"));
    EXPECT_FALSE(docs_->IsPathEqual(files_ / L"doc.pdf", files_ / L"doc2.pdf"));
    EXPECT_FALSE(docs_->IsPathEqual(files_ / L"doc.pdf", L""));
    std::wstring deep = files_.path() + L"\\" + std::wstring(300, L'x') + L"\\a.pdf";
    EXPECT_TRUE(docs_->IsPathEqual(deep, files_.path() + L"\\" + std::wstring(300, L'X') + L"\\A.PDF"));
}

TEST_F(DocumentManagerTest, ClosingANeverSavedDocumentUnlocksAndDeletesItsCopy) {
    CheckedOut copy = CheckOut();
    EXPECT_EQ(LockedBy(), L"jdoe");
    Close(copy);
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(LockedBy(), L"");
    EXPECT_EQ(VersionCount(), 2u);
    EXPECT_FALSE(Exists(RecordFileOf(copy.file)));
    EXPECT_TRUE(Exists(copy.file));  // until the host's next idle call
    DrainIdle();
    EXPECT_FALSE(Exists(copy.file));
    EXPECT_TRUE(host().Alerts().empty());
}

// A refused check-in keeps everything and says so once; the copy opened again is owed, so closing it
// unchanged tries again (here failing) instead of unlocking and deleting the edit; unload keeps it
// too, a refused recovery keeps it, and a later start's recovery finally delivers it.
TEST_F(DocumentManagerTest, AnEditTheDmsRefusedStaysUntilACheckinOfItSucceeds) {
    CheckedOut copy = SavedCopy();
    Fault(L"CheckIn");
    Close(copy);
    DrainIdle();
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(VersionCount(), 2u);
    ExpectKeptWithItsEdit(copy);
    EXPECT_EQ(host().Alerts(), std::vector<std::wstring>{kKept});
    // The mark says why, for the window that lists kept copies, also after a restart.
    EXPECT_EQ(ReadOwedNote(copy.file).name, L"Lease.pdf");
    EXPECT_EQ(ReadOwedNote(copy.file).reason, RefusalMessage(S_FALSE));

    CheckedOut reopened = Reopen(copy);
    ASSERT_NE(reopened.record, nullptr);
    EXPECT_TRUE(reopened.record->saved);
    EXPECT_TRUE(reopened.record->owed);
    ASSERT_EQ(tessera::AddFault(store_.path(), L"CheckIn", E_ACCESSDENIED, 1), S_OK);  // failing this time
    Close(reopened);  // closed without a new save
    DrainIdle();
    ExpectKeptWithItsEdit(copy);
    EXPECT_EQ(host().Alerts().size(), 2u);
    EXPECT_EQ(ReadOwedNote(copy.file).reason, RefusalMessage(E_ACCESSDENIED));

    reopened = Reopen(copy);
    ASSERT_NE(reopened.record, nullptr);
    docs_.reset();  // unloaded with the owed copy open
    ExpectKeptWithItsEdit(copy);
    host().CloseAllDocuments();

    docs_ = std::make_unique<CDocumentManager>();
    Fault(L"CheckIn");
    Life().RecoverTempDocuments();  // refused at this start
    DrainIdle();
    ExpectKeptWithItsEdit(copy);
    EXPECT_EQ(ReadOwedNote(copy.file).name, L"Lease.pdf");
    EXPECT_EQ(ReadOwedNote(copy.file).reason, RefusalMessage(S_FALSE));
    Life().RecoverTempDocuments();
    DrainIdle();
    ASSERT_EQ(VersionCount(), 3u);
    EXPECT_EQ(VxReadFile(Versions().back().contentPath), "lease-v2 edited");
    EXPECT_EQ(LockedBy(), L"");
    EXPECT_FALSE(Exists(copy.file));
    EXPECT_FALSE(Exists(OwedMarkOf(copy.file)));
}

// A discard gives the lock back before the copy goes: while no server is connected nothing goes, or
// the lock would stay for good.
TEST_F(DocumentManagerTest, AKeptEditIsDiscardedOnlyWhereTheDmsCanReleaseItsLock) {
    CheckedOut copy = SavedCopy();
    Fault(L"CheckIn");
    Close(copy);
    DrainIdle();
    CKeptCopies kept(*docs_);
    kept.Collect();
    ASSERT_EQ(kept.Entries().size(), 1u);
    const KeptCopy entry = kept.Entries()[0];
    CKeptCopyActions actions(*manager_, kept);
    ASSERT_TRUE(manager_->Logout(L"SRV1"));
    EXPECT_FALSE(actions.Discard(entry));
    ExpectKeptWithItsEdit(copy);
    EXPECT_THAT(host().Alerts().back(), HasSubstr(L"were not discarded: No Tessera server was connected."));
    ASSERT_TRUE(manager_->Login(L"SRV1", false, L"jdoe", L"secret"));
    EXPECT_TRUE(actions.Discard(entry));
    EXPECT_EQ(LockedBy(), L"");
    EXPECT_FALSE(Exists(copy.file));
    EXPECT_EQ(VersionCount(), 2u);
}

// A log-off while the edit is being checked in: Cancel is disabled and the transfer cannot be
// interrupted, so the dialog waits for it, answering the messages sent to the host's thread
// meanwhile, and the result counts as usual: the refused edit is kept. The quit is there again for
// the host's own loop once the dialog has gone.
TEST_F(DocumentManagerTest, AQuitDuringACheckinWaitsForItsResult) {
    CheckedOut copy = SavedCopy();
    ASSERT_EQ(tessera::AddHang(store_.path(), L"CheckIn", 1, 1), S_OK);
    Fault(L"CheckIn");
    std::atomic<bool> closed{false};
    std::atomic<bool> answeredMeanwhile{false};
    QuitDuringProgress quit(1, 3);
    HWND hostWindow = host().MainWindow();
    std::thread other([&] {
        // Another thread asks the host's window something while the check-in runs.
        if (WaitForSingleObject(quit.PostedEvent(), 10000) != WAIT_OBJECT_0) return;
        Sleep(200);
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutW(hostWindow, WM_NULL, 0, 0, SMTO_NORMAL, 3000, &answer)) answeredMeanwhile = !closed;
    });
    Close(copy);
    closed = true;
    other.join();
    EXPECT_TRUE(quit.Posted());
    EXPECT_TRUE(answeredMeanwhile);
    MSG left = {};
    EXPECT_TRUE(PeekMessageW(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(left.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(left.wParam, 3u);
    DrainIdle();
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(VersionCount(), 2u);
    ExpectKeptWithItsEdit(copy);
    EXPECT_EQ(host().Alerts(), std::vector<std::wstring>{kKept});
}

// All or nothing: a document the registry cannot add (its access rights cannot be read) leaves the
// registry as it was, and what it was handed goes: the DMS reference and the claim on the record file.
TEST_F(DocumentManagerTest, ADocumentThatCannotBeAddedLeavesTheRegistryAsItWas) {
    CheckedOut before = CheckOut(1, false);
    ASSERT_EQ(tessera::UnlockDocument(store_.path(), L"SRV1", L"DOCS", number_, nullptr), S_OK);
    CheckedOut copy = CheckOut(2, false);
    const std::wstring recordFile = RecordFileOf(copy.file);
    ASSERT_EQ(docs_->RemoveDoc(copy.record), 0);
    ASSERT_EQ(docs_->GetCount(), 1);

    DmsDocumentPtr document = WithUnreadableRights(Dms(number_, 2));
    ASSERT_NE(document, nullptr);
    ITesseraDocument* unreadable = document->document;
    unreadable->AddRef();
    CAPHandle claim = ClaimRecordFile(recordFile);
    ASSERT_TRUE(claim);
    EXPECT_EQ(docs_->AddDocument(nullptr, std::move(document), copy.file, true, std::move(claim)), nullptr);

    EXPECT_EQ(docs_->GetCount(), 1);
    EXPECT_EQ(docs_->GetDocumentAt(0), before.record);
    EXPECT_EQ(docs_->FindASPathName(copy.file), nullptr);
    EXPECT_EQ(unreadable->Release(), 0u) << "the registry kept a reference";
    EXPECT_TRUE(DeleteFileW(recordFile.c_str())) << "the registry kept the claim on the record file";
    EXPECT_THAT(host().LogText(), HasSubstr("File: CDocumentManager\nFunction: CDocumentManager::AddDocument\n"));
}

// Every way a record can go without a check-in leaves an owed copy, its record file and its lock.
TEST_F(DocumentManagerTest, NoRemovalOrReleaseDeletesAnOwedCopy) {
    const struct {
        const char* name;
        Way way;
    } ways[] = {{"RemoveDocument", Way::RemoveDocument},
                {"RemoveUnusedDocuments", Way::RemoveUnused},
                {"pending release", Way::PendingRelease},
                {"close at the skip path", Way::CloseAtSkipPath}};
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        CheckedOut copy = SavedCopy();
        GoWithoutCheckin(way.way, copy);
        DrainIdle();
        EXPECT_EQ(docs_->FindASPathName(copy.file), nullptr);
        ExpectKeptWithItsEdit(copy);
        EXPECT_EQ(VersionCount(), 2u);
        host().CloseAllDocuments();
        ASSERT_EQ(tessera::UnlockDocument(store_.path(), L"SRV1", L"DOCS", number_, nullptr), S_OK);
        ClearOwed(copy.file);
    }
}

TEST_F(DocumentManagerTest, SkippedClosesBySavedDocumentOrPath) {
    CheckedOut byDoc = SavedCopy();
    docs_->SetSkipClosePDDoc(byDoc.doc->pdDoc());
    Close(byDoc);
    docs_->SetSkipClosePDDoc(nullptr);
    DrainIdle();
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(VersionCount(), 2u);
    ExpectKeptWithItsEdit(byDoc);

    // Checked in by the host itself first (kTesseraCheckinDocument): the skip is then used by the check-in decision,
    // and the release that follows deletes a copy the DMS has.
    ASSERT_EQ(tessera::UnlockDocument(store_.path(), L"SRV1", L"DOCS", number_, nullptr), S_OK);
    CheckedOut byPath = SavedCopy();
    ASSERT_TRUE(Life().CheckinDocument(byPath.file, false));
    ASSERT_EQ(VersionCount(), 3u);
    EXPECT_FALSE(IsOwed(byPath.file));
    docs_->SkipDocumentClose(byPath.file);
    Close(byPath);
    DrainIdle();
    EXPECT_EQ(docs_->SkipClosePath(), L"");
    EXPECT_EQ(VersionCount(), 3u);
    EXPECT_EQ(LockedBy(), L"");
    EXPECT_FALSE(Exists(byPath.file));
}

TEST_F(DocumentManagerTest, AnUnsavedCloseAtTheSkipPathKeepsLockAndCopy) {
    CheckedOut copy = CheckOut();
    docs_->SkipDocumentClose(copy.file);
    Close(copy);
    DrainIdle();
    EXPECT_EQ(docs_->SkipClosePath(), L"");
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(LockedBy(), L"jdoe");
    EXPECT_TRUE(Exists(copy.file));
}

TEST_F(DocumentManagerTest, AMissingLocalFileChangesNothing) {
    CheckedOut copy = CheckOut();
    PDDoc pdDoc = copy.doc->pdDoc();
    host().CloseDocument(copy.doc);
    ASSERT_TRUE(DeleteFileW(copy.file.c_str()));
    Life().DocumentWasClosed(pdDoc);
    EXPECT_EQ(docs_->GetCount(), 1);
    EXPECT_EQ(docs_->GetDocumentAt(0), copy.record);
    EXPECT_EQ(copy.record->pdDoc, pdDoc);
    EXPECT_EQ(LockedBy(), L"jdoe");
    EXPECT_THAT(host().LogText(), HasSubstr("File: CDocumentManager\nFunction: CDocumentManager::DocumentWasClosed\n"));
}

TEST_F(DocumentManagerTest, ARetainedRecordSurvivesOneCloseDetached) {
    CheckedOut copy = CheckOut();
    docs_->RetainDocument(copy.file);
    Close(copy);
    ASSERT_EQ(docs_->GetCount(), 1);
    EXPECT_EQ(copy.record->pdDoc, nullptr);
    EXPECT_FALSE(copy.record->retained);
    EXPECT_EQ(LockedBy(), L"jdoe");
    Life().RemoveUnusedDocuments();
    DrainIdle();
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(LockedBy(), L"");
    EXPECT_FALSE(Exists(copy.file));
}

TEST_F(DocumentManagerTest, MarksAreConsumedOnce) {
    std::wstring path = files_ / L"doc.pdf", same = files_.path() + L"\\DOC.pdf";
    EXPECT_FALSE(docs_->CheckSkipSavePath(path));
    docs_->SkipDocumentSave(path);
    EXPECT_TRUE(docs_->CheckSkipSavePath(same));
    EXPECT_FALSE(docs_->CheckSkipSavePath(same));

    docs_->SetLastSaveAsPath(same);
    EXPECT_TRUE(docs_->IsLastSaveAsPath(path));
    docs_->ReleaseLastSaveAsPath();
    EXPECT_FALSE(docs_->IsLastSaveAsPath(path));
}

TEST_F(DocumentManagerTest, DestructionDeletesUnsavedCopiesAtOnceAndKeepsSavedOnes) {
    CheckedOut unsaved = CheckOut(1, false);
    ASSERT_EQ(tessera::UnlockDocument(store_.path(), L"SRV1", L"DOCS", number_, nullptr), S_OK);
    CheckedOut saved = CheckOut(2, false);
    docs_->MarkSaved(saved.record);
    docs_.reset();
    EXPECT_TRUE(host().IdleProcs().empty());
    EXPECT_FALSE(Exists(unsaved.file));
    EXPECT_FALSE(Exists(RecordFileOf(unsaved.file)));
    EXPECT_TRUE(Exists(saved.file));
    EXPECT_TRUE(Exists(RecordFileOf(saved.file)));
    EXPECT_EQ(LockedBy(), L"jdoe");  // neither checked in nor unlocked
}

}  // namespace
