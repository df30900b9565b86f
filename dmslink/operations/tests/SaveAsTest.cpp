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
    ASPathName OpenLease() {
        SetOpen({lease_});
        ASPathName* items = nullptr;
        ASUns16 count = 0;
        EXPECT_TRUE(OpenDocuments(*manager_, *docs_, nullptr, nullptr, &items, &count, true));
        if (count != 1) return nullptr;
        ASPathName path = items[0];
        VxFree(items);
        return path;
    }
    std::vector<std::wstring> ImportItems() {
        std::vector<std::wstring> items;
        for (const ContextItem& item : SpyItems())
            if (item.name != L"ImportedDocument") items.push_back(item.name + L"=" + item.value);
        return items;
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
        ASPathName path = c.path ? MakePath(c.path) : nullptr;
        ASPathName saved = SaveDocumentAs(*manager_, *docs_, path, true);
        EXPECT_NE(saved, nullptr) << (c.path ? vxhost::ToUtf8(c.path) : "null path");
        EXPECT_EQ(ImportItems(), (std::vector<std::wstring>{L"TesseraExt2.SaveAsOptionCmd.SaveAsTypesArray=[29]",
                                                            std::wstring(L"TesseraExt.Import.DocDescription=") + c.description,
                                                            std::wstring(L"TesseraExt.Import.DocType=") + c.type,
                                                            L"ParentWindow=" + window, L"TesseraDMS="}));
        EXPECT_EQ(SpyItems()[0].type, VT_ARRAY | VT_I4);
        if (saved) ReleasePath(saved);
        if (path) ReleasePath(path);
    }
}

TEST_F(SaveAsTest, AnUnsavedSourceIsUnlockedAndTheNewDocumentRegistered) {
    ASPathName lease = OpenLease();
    ASSERT_NE(lease, nullptr);
    TrackedDocument* source = docs_->FindASPathName(lease);
    ASSERT_NE(source, nullptr);
    UseSpyContext();
    ASSERT_EQ(tessera::SetImportPreset(Store(), L"DOCS", L""), S_OK);

    ASPathName saved = SaveDocumentAs(*manager_, *docs_, lease, true);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(TextOf(saved), Root() + L"\\VRL1\\1238_1.pdf");
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
    EXPECT_EQ(SpyItems()[5].name, L"TesseraExt.Import.OriginalDocument");
    EXPECT_EQ(SpyItems()[5].type, VT_UNKNOWN);
    ReleasePath(saved);
    ReleasePath(lease);
}

TEST_F(SaveAsTest, ASavedSourceIsCheckedIn) {
    ASPathName lease = OpenLease();
    ASSERT_NE(lease, nullptr);
    TrackedDocument* source = docs_->FindASPathName(lease);
    ASSERT_NE(source, nullptr);
    source->saved = true;
    ASSERT_TRUE(VxWriteFile(TextOf(lease), "saved before Save As"));
    ASSERT_EQ(tessera::SetImportPreset(Store(), L"DOCS", L""), S_OK);

    ASPathName saved = SaveDocumentAs(*manager_, *docs_, lease, false);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(TextOf(saved), TextOf(lease));
    EXPECT_EQ(LatestVersion(lease_), 2);
    EXPECT_EQ(VxReadFile(Info(lease_, 2).contentPath), "saved before Save As");
    EXPECT_EQ(docs_->GetCount(), 2);
    ReleasePath(saved);
    ReleasePath(lease);
    DrainIdle();
}

TEST_F(SaveAsTest, ACancelledImportChangesNothing) {
    ASPathName lease = OpenLease();
    ASSERT_NE(lease, nullptr);
    ASSERT_EQ(tessera::SetImportPresetCancel(Store()), S_OK);
    EXPECT_EQ(SaveDocumentAs(*manager_, *docs_, lease, true), nullptr);
    EXPECT_EQ(docs_->GetCount(), 1);
    EXPECT_EQ(docs_->PendingDocument(), nullptr);
    EXPECT_EQ(docs_->LastSaveAsPath(), nullptr);
    EXPECT_EQ(Info(lease_).lockedBy, L"jdoe");
    std::vector<tessera::DocumentInfo> all;
    ASSERT_EQ(tessera::ListDocuments(Store(), &all), S_OK);
    EXPECT_EQ(all.size(), 4u);
    ReleasePath(lease);
}

}  // namespace
