#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OperationsFixture.h"
#include "VxHFT.h"
#include "operations/TSOperations.h"

namespace {

class SaveAsTest : public OperationsTest {
protected:
    // A document opened from the DMS and kept checked out, as the Open button does it.
    std::wstring OpenLease() {
        SetOpen({lease_});
        ASPathName* items = nullptr;
        ASUns16 count = 0;
        EXPECT_TRUE(Life().OpenDocuments(nullptr, nullptr, &items, &count, true));
        if (count != 1) return std::wstring();
        std::wstring path = PathText(items[0]);
        FreeList(items, count);
        return path;
    }
};

TEST_F(SaveAsTest, ContextItemsDescribeTheFileInOrder) {
    UseSpyContext();
    const std::wstring window = std::to_wstring(static_cast<LONG>(reinterpret_cast<LONG_PTR>(host().MainWindow())));
    struct Case {
        const wchar_t* path;
        const wchar_t* description;
        const wchar_t* type;
    } cases[] = {{L"C:\\Work\\Lease.PDF", L"Lease", L"PDF"},
                 {L"C:\\Work\\Notes.rtf", L"Notes", L"<null>"},
                 {L"C:\\Work\\README", L"README", L"<null>"},
                 {nullptr, L"", L"<null>"}};
    for (const Case& c : cases) {
        ASSERT_EQ(tessera::SetImportPreset(Store(), L"DOCS", L""), S_OK);
        std::wstring saved = Life().SaveDocumentAs(c.path ? c.path : L"", true);
        EXPECT_NE(saved, L"") << (c.path ? vxhost::ToUtf8(c.path) : "null path");
        EXPECT_EQ(SpyItems(), (std::vector<ContextItem>{
                                  {L"TesseraExt2.SaveAsOptionCmd.SaveAsTypesArray", VT_ARRAY | VT_I4, L"[29]"},
                                  {L"TesseraExt.Import.DocDescription", VT_BSTR, c.description},
                                  {L"TesseraExt.Import.DocType", VT_BSTR, c.type},
                                  {L"ParentWindow", VT_I4, window},
                                  {L"TesseraDMS", VT_UNKNOWN, L""},
                                  {L"ImportedDocument", VT_DISPATCH, L""}}));
    }
}

TEST_F(SaveAsTest, AnUnsavedSourceIsUnlockedAndTheNewDocumentRegistered) {
    std::wstring lease = OpenLease();
    ASSERT_NE(lease, L"");
    TrackedDocument* source = docs_->FindASPathName(lease);
    ASSERT_NE(source, nullptr);
    UseSpyContext();
    ASSERT_EQ(tessera::SetImportPreset(Store(), L"DOCS", L""), S_OK);

    std::wstring saved = Life().SaveDocumentAs(lease, true);
    EXPECT_EQ(saved, Root() + L"\\VRL1\\1238_1.pdf");
    TrackedDocument* added = docs_->FindASPathName(saved);
    ASSERT_NE(added, nullptr);
    ASSERT_NE(added->dmsDocument, nullptr);
    long number = 0;
    added->dmsDocument->document->get_Number(&number);
    EXPECT_EQ(number, 1238);
    EXPECT_EQ(docs_->PendingDocument(), source);
    EXPECT_TRUE(docs_->IsLastSaveAsPath(saved));
    EXPECT_EQ(Info(lease_).lockedBy, L"");
    EXPECT_EQ(LatestVersion(lease_), 1);
    ASSERT_GE(SpyItems().size(), 6u);
    EXPECT_EQ(SpyItems()[5], (ContextItem{L"TesseraExt.Import.OriginalDocument", VT_UNKNOWN, L""}));
}

TEST_F(SaveAsTest, ASavedSourceIsCheckedIn) {
    std::wstring lease = OpenLease();
    ASSERT_NE(lease, L"");
    TrackedDocument* source = docs_->FindASPathName(lease);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(VxWriteFile(lease, "saved before Save As"));
    docs_->MarkSaved(source);
    ASSERT_EQ(tessera::SetImportPreset(Store(), L"DOCS", L""), S_OK);

    EXPECT_EQ(Life().SaveDocumentAs(lease, false), lease);
    EXPECT_EQ(LatestVersion(lease_), 2);
    EXPECT_EQ(VxReadFile(Info(lease_, 2).contentPath), "saved before Save As");
    EXPECT_EQ(docs_->GetCount(), 2);
    EXPECT_FALSE(source->owed) << "the DMS has the edit";
    DrainIdle();
    EXPECT_TRUE(host().Alerts().empty());
}

// The check-in of the saved source is refused: the user is told, and the source stays owed, so the
// release of the pending source after the host's save keeps its copy and lock.
TEST_F(SaveAsTest, ARefusedCheckinOfTheSavedSourceKeepsItsEdit) {
    std::wstring lease = OpenLease();
    TrackedDocument* source = docs_->FindASPathName(lease);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(VxWriteFile(lease, "saved before Save As"));
    docs_->MarkSaved(source);
    ASSERT_EQ(tessera::SetImportPreset(Store(), L"DOCS", L""), S_OK);
    ASSERT_EQ(tessera::AddRefusal(Store(), L"CheckIn", 1), S_OK);

    std::wstring saved = Life().SaveDocumentAs(lease, true);
    ASSERT_NE(saved, L"");
    ASSERT_EQ(host().Alerts().size(), 1u);
    EXPECT_EQ(host().Alerts()[0].rfind(L"'Lease.pdf' could not be checked in to Tessera.", 0), 0u);
    Life().ReleasePendingDocument();
    DrainIdle();
    EXPECT_EQ(VxReadFile(lease), "saved before Save As");
    EXPECT_EQ(Info(lease_).lockedBy, L"jdoe");
    EXPECT_EQ(LatestVersion(lease_), 1);
}

// A Save to the DMS that ends without a tracked new document fails as a whole: nothing is pending, no
// path is handed to the host, and no new document stays locked for nobody.
TEST_F(SaveAsTest, AnImportThatEndsUntrackedFailsTheSave) {
    struct Case {
        const char* name;
        bool cancel;           // the user cancels the import's dialog
        size_t documents;      // in the DMS afterwards
        const wchar_t* leaseLock;
        const wchar_t* alert;  // nullptr: none
    } cases[] = {{"cancelled", true, 4, L"jdoe", nullptr},
                 {"untrackable", false, 5, L"", L"Error: -2147467259. The document could not be saved to Tessera."}};
    // The cancel changes nothing, so the second case starts from the same state.
    std::wstring lease = OpenLease();
    ASSERT_NE(lease, L"");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.cancel) {
            ASSERT_EQ(tessera::SetImportPresetCancel(Store()), S_OK);
        } else {
            ASSERT_EQ(tessera::SetImportPreset(Store(), L"DOCS", L""), S_OK);
            // The new document's access rights cannot be read, so the registry cannot add it.
            ASSERT_EQ(tessera::AddRefusal(Store(), L"AccessRights", 1), S_OK);
        }
        EXPECT_EQ(Life().SaveDocumentAs(lease, true), L"");
        EXPECT_EQ(docs_->GetCount(), 1);
        EXPECT_EQ(docs_->PendingDocument(), nullptr);
        EXPECT_EQ(docs_->LastSaveAsPath(), L"");
        EXPECT_EQ(Info(lease_).lockedBy, c.leaseLock);
        std::vector<tessera::DocumentInfo> all;
        ASSERT_EQ(tessera::ListDocuments(Store(), &all), S_OK);
        ASSERT_EQ(all.size(), c.documents);
        for (const tessera::DocumentInfo& document : all) EXPECT_EQ(document.lockedBy, document.number == lease_ ? c.leaseLock : L"");
        ASSERT_EQ(host().Alerts().size(), c.alert ? 1u : 0u);
        if (c.alert) {
            EXPECT_EQ(host().Alerts()[0], c.alert);
        }
    }
}

}  // namespace
