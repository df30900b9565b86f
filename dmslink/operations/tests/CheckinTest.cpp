#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OperationsFixture.h"
#include "VxHFT.h"
#include "operations/TSOperations.h"

namespace {

using Texts = std::vector<std::wstring>;

class CheckinTest : public OperationsTest {
protected:
    // Checked out as jdoe into a file of the test's own, then edited there.
    std::wstring EditedCopy(long number, const std::string& content) {
        std::wstring file = files_ / (L"local-" + std::to_wstring(number) + L".pdf");
        DmsDocumentPtr document = Dms(number);
        EXPECT_NE(document, nullptr);
        if (!document) return file;
        EXPECT_EQ(document->document->CheckOut(_bstr_t(file.c_str()), 1, 0.0, _bstr_t(L"")), S_OK);
        EXPECT_TRUE(VxWriteFile(file, content));
        return file;
    }
    bool Checkin(const std::wstring& file, long number, bool keepCheckedOut = false) {
        return CheckinDocument(*manager_, file, Dms(number), keepCheckedOut);
    }
};

TEST_F(CheckinTest, ADocumentWithContentGetsANewVersionAnEmptyOneIsReplaced) {
    std::wstring lease = EditedCopy(lease_, "edited lease");
    ASSERT_TRUE(Checkin(lease, lease_));
    EXPECT_EQ(LatestVersion(lease_), 2);
    EXPECT_EQ(VxReadFile(Info(lease_, 2).contentPath), "edited lease");
    EXPECT_EQ(Info(lease_, 2).lockedBy, L"");
    EXPECT_EQ(VxReadFile(lease), "edited lease") << "the local file is not touched";

    std::wstring empty = EditedCopy(empty_, "filled at last");
    ASSERT_TRUE(Checkin(empty, empty_, true));
    EXPECT_EQ(LatestVersion(empty_), 1);
    EXPECT_EQ(VxReadFile(Info(empty_).contentPath), "filled at last");
    EXPECT_EQ(Info(empty_).lockedBy, L"jdoe");

    EXPECT_EQ(TraceCount("Document checkin: 1"), 2u);
    ASSERT_EQ(Dialogs().size(), 2u);
    EXPECT_EQ(Dialogs()[0].caption, L"Checking-in documents to server...");
    EXPECT_FALSE(Dialogs()[0].cancelEnabled);
    EXPECT_EQ(Dialogs()[0].initial, (Texts{L"Lease", L"jdoe", L"1234", L"1", L"1 KB"}));
    EXPECT_EQ(Dialogs()[1].initial, (Texts{L"Empty", L"", L"1237", L"1", L"1 KB"}));
    // Both private copies are gone with their folders as each check-in ended.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((Root() + L"\\VRL*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << vxhost::ToUtf8(found.cFileName);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST_F(CheckinTest, ARefusedCheckinIsFalse) {
    std::wstring lease = EditedCopy(lease_, "edited lease");
    ASSERT_EQ(tessera::AddRefusal(Store(), L"CheckIn", 1), S_OK);
    EXPECT_FALSE(Checkin(lease, lease_));
    EXPECT_EQ(TraceCount("Document checkin: 0"), 1u);
    EXPECT_EQ(LatestVersion(lease_), 1);
    EXPECT_EQ(Info(lease_).lockedBy, L"jdoe");

    ASSERT_EQ(tessera::AddFault(Store(), L"CheckIn", E_ACCESSDENIED, 1), S_OK);
    EXPECT_FALSE(Checkin(lease, lease_));
    EXPECT_EQ(TraceCount("Document checkin error: " + std::to_string(static_cast<long>(E_ACCESSDENIED))), 1u);
}

TEST_F(CheckinTest, AFileThatCannotBeCopiedNeverReachesTheDms) {
    EditedCopy(lease_, "edited lease");
    EXPECT_FALSE(Checkin(files_ / L"gone.pdf", lease_));
    EXPECT_FALSE(HasTracePrefix("Document checkin"));
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(LatestVersion(lease_), 1);
    EXPECT_EQ(Info(lease_).lockedBy, L"jdoe");
}

TEST_F(CheckinTest, DeskClientCheckinFindsTheDocumentByItsNumbers) {
    std::wstring lease = EditedCopy(lease_, "from the desk client");
    EXPECT_FALSE(CheckinDeskClientDocument(*manager_, lease, lease_, -1, L"DOCS", L"SRV1", false));
    EXPECT_FALSE(CheckinDeskClientDocument(*manager_, lease, lease_, 1, L"", L"SRV1", false));
    EXPECT_FALSE(HasTracePrefix("Document checkin"));

    EXPECT_TRUE(CheckinDeskClientDocument(*manager_, lease, lease_, 1, L"DOCS", L"SRV1", false));
    DrainIdle();
    EXPECT_EQ(VxReadFile(Info(lease_, 2).contentPath), "from the desk client");
}

TEST_F(CheckinTest, UnlockReleasesOnlyACheckedOutDocument) {
    EditedCopy(lease_, "x");
    EXPECT_TRUE(UnlockDocument(*manager_, Dms(lease_)));
    EXPECT_EQ(Info(lease_).lockedBy, L"");
    EXPECT_EQ(Traces(), std::vector<std::string>{"Document was unlocked -1"});
    EXPECT_FALSE(UnlockDocument(*manager_, Dms(lease_)));
    EXPECT_EQ(Traces().size(), 1u);
    EXPECT_FALSE(UnlockDocument(*manager_, nullptr));
}

TEST(SizeTexts, KilobytesRoundedDownWithOneAtLeast) {
    const std::pair<long, const wchar_t*> sizes[] = {{-5, L"1 KB"},   {0, L"1 KB"},    {1024, L"1 KB"},
                                                     {1536, L"1 KB"}, {2047, L"1 KB"}, {2048, L"2 KB"},
                                                     {3145728, L"3072 KB"}};
    for (const auto& size : sizes) EXPECT_EQ(CheckoutSizeText(size.first), size.second) << size.first;
    EXPECT_EQ(CheckinSizeText(1024), L"1 KB");
    EXPECT_EQ(CheckinSizeText(1025), L"1 KB");
    EXPECT_EQ(CheckinSizeText(5000000000ULL), L"4882812 KB");
}

}  // namespace
