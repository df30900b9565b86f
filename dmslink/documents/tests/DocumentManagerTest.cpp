#include <TesseraDMS.h>

#include <algorithm>

#include "DocumentsFixture.h"
#include "VxHFT.h"
#include "VxTrace.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

std::vector<std::string>* gTraceLines = nullptr;
void CollectTrace(const char* line) {
    if (gTraceLines) gTraceLines->push_back(line);
}

class DocumentManagerTest : public DocumentsTest {
protected:
    // A saved, open copy: the edit is on disk and the record is marked.
    CheckedOut SavedCopy() {
        CheckedOut copy = CheckOut();
        host().EditDocument(copy.doc, " edited");
        EXPECT_TRUE(host().SaveDocument(copy.doc));
        docs_->DocumentWasSaved(copy.doc->pdDoc());
        EXPECT_TRUE(copy.record->saved);
        return copy;
    }
    size_t VersionCount() { return Versions().size(); }
};

TEST_F(DocumentManagerTest, SearchesAndTitleUseTheNewestRecord) {
    std::wstring file = files_ / L"Lease.pdf";
    ASSERT_TRUE(VxWriteFile(file, "x"));
    Path path(this, file);
    Path otherCase(this, files_.path() + L"\\LEASE.PDF");
    TrackedDocument* older = docs_->AddDocument(nullptr, Dms(number_, 1), path, false);
    TrackedDocument* newer = docs_->AddDocument(nullptr, Dms(number_, 2), path, false);
    ASSERT_NE(older, nullptr);
    ASSERT_NE(newer, nullptr);
    EXPECT_EQ(docs_->FindASPathName(otherCase), newer);
    EXPECT_EQ(docs_->FindPDDoc(nullptr), newer);

    ASText title = docs_->GetDocumentTitle(path);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(TextValue(title), L"ID:1234 v:2 Lease.pdf");
    DestroyText(title);

    newer->pdDoc = reinterpret_cast<PDDoc>(&file);
    EXPECT_EQ(docs_->FindPDDoc(nullptr), older);
    Path untracked(this, files_ / L"other.pdf");
    EXPECT_EQ(docs_->GetDocumentTitle(untracked), nullptr);
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
    Path a(this, files_ / L"doc.pdf");
    Path b(this, files_.path() + L"\\DOC.PDF");
    Path folder(this, files_.path());
    Path folderSlash(this, files_.path() + L"\\");
    Path other(this, files_ / L"doc2.pdf");
    EXPECT_TRUE(docs_->IsPathEqual(a, b));
    EXPECT_TRUE(docs_->IsPathEqual(folder, folderSlash));
    EXPECT_FALSE(docs_->IsPathEqual(a, other));
    EXPECT_FALSE(docs_->IsPathEqual(a, nullptr));
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
}

TEST_F(DocumentManagerTest, ClosingASavedDocumentChecksTheEditIn) {
    CheckedOut copy = SavedCopy();
    Close(copy);
    DrainIdle();
    std::vector<tessera::DocumentInfo> versions = Versions();
    ASSERT_EQ(versions.size(), 3u);
    EXPECT_EQ(VxReadFile(versions.back().contentPath), "lease-v2 edited");
    EXPECT_EQ(LockedBy(), L"");
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_FALSE(Exists(copy.file));
}

TEST_F(DocumentManagerTest, ARefusedCheckinKeepsTheLockAndTheLocalCopy) {
    CheckedOut copy = SavedCopy();
    Fault(L"CheckIn");
    Close(copy);
    DrainIdle();
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(VersionCount(), 2u);
    EXPECT_EQ(LockedBy(), L"jdoe");
    EXPECT_EQ(VxReadFile(copy.file), "lease-v2 edited");
    EXPECT_TRUE(Exists(RecordFileOf(copy.file)));  // so the next start checks it in
}

TEST_F(DocumentManagerTest, WithoutTheDmsManagerASavedCopyIsKept) {
    CheckedOut copy = SavedCopy();
    TSManager* manager = gTSManager;
    gTSManager = nullptr;
    Close(copy);
    gTSManager = manager;
    DrainIdle();
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(LockedBy(), L"jdoe");
    EXPECT_EQ(VxReadFile(copy.file), "lease-v2 edited");
}

TEST_F(DocumentManagerTest, SkippedClosesBySavedDocumentOrPath) {
    CheckedOut byDoc = SavedCopy();
    docs_->SetSkipClosePDDoc(byDoc.doc->pdDoc());
    Close(byDoc);
    docs_->SetSkipClosePDDoc(nullptr);
    DrainIdle();
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(VersionCount(), 2u);
    EXPECT_EQ(LockedBy(), L"jdoe");
    EXPECT_TRUE(Exists(byDoc.file));

    // The skip is used by the check-in decision; the release then unlocks and deletes.
    ASSERT_EQ(tessera::UnlockDocument(store_.path(), L"SRV1", L"DOCS", number_, nullptr), S_OK);
    CheckedOut byPath = SavedCopy();
    Path path(this, byPath.file);
    docs_->SkipDocumentClose(path);
    Close(byPath);
    DrainIdle();
    EXPECT_EQ(docs_->SkipClosePath(), nullptr);
    EXPECT_EQ(VersionCount(), 2u);
    EXPECT_EQ(LockedBy(), L"");
    EXPECT_FALSE(Exists(byPath.file));
}

TEST_F(DocumentManagerTest, AnUnsavedCloseAtTheSkipPathKeepsLockAndCopy) {
    CheckedOut copy = CheckOut();
    Path path(this, copy.file);
    docs_->SkipDocumentClose(path);
    Close(copy);
    DrainIdle();
    EXPECT_EQ(docs_->SkipClosePath(), nullptr);
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(LockedBy(), L"jdoe");
    EXPECT_TRUE(Exists(copy.file));
}

TEST_F(DocumentManagerTest, AMissingLocalFileChangesNothing) {
    CheckedOut copy = CheckOut();
    PDDoc pdDoc = copy.doc->pdDoc();
    host().CloseDocument(copy.doc);
    ASSERT_TRUE(DeleteFileW(copy.file.c_str()));
    docs_->DocumentWasClosedForDoc(pdDoc);
    EXPECT_EQ(docs_->GetCount(), 1);
    EXPECT_EQ(docs_->GetDocumentAt(0), copy.record);
    EXPECT_EQ(copy.record->pdDoc, pdDoc);
    EXPECT_EQ(LockedBy(), L"jdoe");
    EXPECT_THAT(host().LogText(), HasSubstr("File: CDocumentManager\nFunction: CDocumentManager::DocumentWasClosed\n"));
}

TEST_F(DocumentManagerTest, ARetainedRecordSurvivesOneCloseDetached) {
    CheckedOut copy = CheckOut();
    Path path(this, copy.file);
    docs_->RetainDocument(path);
    Close(copy);
    ASSERT_EQ(docs_->GetCount(), 1);
    EXPECT_EQ(copy.record->pdDoc, nullptr);
    EXPECT_FALSE(copy.record->retained);
    EXPECT_EQ(LockedBy(), L"jdoe");
    docs_->RemoveUnusedDocuments();
    DrainIdle();
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(LockedBy(), L"");
    EXPECT_FALSE(Exists(copy.file));
}

TEST_F(DocumentManagerTest, RemoveUnusedDocumentsTakesAdjacentDetachedRecords) {
    CheckedOut bound = CheckOut(2, true);
    std::wstring a = files_ / L"a.pdf", b = files_ / L"b.pdf";
    ASSERT_TRUE(VxWriteFile(a, "a"));
    ASSERT_TRUE(VxWriteFile(b, "b"));
    Path pathA(this, a), pathB(this, b);
    docs_->AddDocument(nullptr, Dms(number_, 1), pathA, false);
    docs_->AddDocument(nullptr, Dms(number_, 1), pathB, false);
    ASSERT_EQ(docs_->GetCount(), 3);
    docs_->RemoveUnusedDocuments();
    DrainIdle();
    ASSERT_EQ(docs_->GetCount(), 1);
    EXPECT_EQ(docs_->GetDocumentAt(0), bound.record);
    EXPECT_FALSE(Exists(a));
    EXPECT_FALSE(Exists(b));
}

TEST_F(DocumentManagerTest, MarksAreConsumedOnce) {
    Path path(this, files_ / L"doc.pdf");
    Path same(this, files_.path() + L"\\DOC.pdf");
    EXPECT_FALSE(docs_->CheckSkipSavePath(path));
    docs_->SkipDocumentSave(path);
    EXPECT_TRUE(docs_->CheckSkipSavePath(same));
    EXPECT_FALSE(docs_->CheckSkipSavePath(same));

    docs_->SetLastSaveAsPath(path);
    docs_->SetLastSaveAsPath(same);  // releases the first copy
    EXPECT_TRUE(docs_->IsLastSaveAsPath(path));
    docs_->ReleaseLastSaveAsPath();
    EXPECT_FALSE(docs_->IsLastSaveAsPath(path));
    docs_->SkipDocumentClose(path);  // left set: destruction releases it
}

TEST_F(DocumentManagerTest, APendingRecordRemovedElsewhereIsForgotten) {
    CheckedOut copy = CheckOut(2, false);
    docs_->SetPendingDocument(copy.record);
    docs_->RemoveDoc(copy.record);
    EXPECT_EQ(docs_->PendingDocument(), nullptr);
    EXPECT_EQ(docs_->ReleasePendingDocument(), 0);
    EXPECT_EQ(docs_->GetCount(), 0);

    ASSERT_EQ(tessera::UnlockDocument(store_.path(), L"SRV1", L"DOCS", number_, nullptr), S_OK);
    CheckedOut pending = CheckOut(2, false);
    docs_->SetPendingDocument(pending.record);
    docs_->ReleasePendingDocument();
    DrainIdle();
    EXPECT_EQ(docs_->PendingDocument(), nullptr);
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_EQ(LockedBy(), L"");
    EXPECT_FALSE(Exists(pending.file));
}

TEST_F(DocumentManagerTest, DestructionDeletesUnsavedCopiesAtOnceAndKeepsSavedOnes) {
    CheckedOut unsaved = CheckOut(1, false);
    ASSERT_EQ(tessera::UnlockDocument(store_.path(), L"SRV1", L"DOCS", number_, nullptr), S_OK);
    CheckedOut saved = CheckOut(2, false);
    saved.record->saved = true;
    docs_.reset();
    EXPECT_TRUE(host().IdleProcs().empty());
    EXPECT_FALSE(Exists(unsaved.file));
    EXPECT_FALSE(Exists(RecordFileOf(unsaved.file)));
    EXPECT_TRUE(Exists(saved.file));
    EXPECT_TRUE(Exists(RecordFileOf(saved.file)));
    EXPECT_EQ(LockedBy(), L"jdoe");  // neither checked in nor unlocked
}

}  // namespace
