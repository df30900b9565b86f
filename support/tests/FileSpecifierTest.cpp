#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CAPError.h"
#include "Files/CAPFileSpecifier.h"
#include "VxHFT.h"
#include "VxHostedTest.h"

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using vxhost::ObjectKind;

namespace {

class FileSpecifierTest : public VxHostedTest {
protected:
    void SetUp() override {
        VxHostedTest::SetUp();
        CAPError::Instance().Clear();
    }
    void TearDown() override {
        CAPError::Instance().Clear();
        VxHostedTest::TearDown();
    }

    static UINT LastErrorId() {
        const CAPErrorData* error = CAPError::Instance().GetLastError();
        return error ? error->stringId : 0;
    }
    static std::wstring LastErrorText() {
        const CAPErrorData* error = CAPError::Instance().GetLastError();
        return error ? error->text : std::wstring();
    }
    static int ErrorCount() { return CAPError::Instance().GetCount(); }

    static std::wstring Missing(const wchar_t* path) {
        EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES) << "expected to be missing";
        return path;
    }

    VxTempFolder dir_;
};

TEST_F(FileSpecifierTest, HoldsAPathOf259CharactersAndRefusesOneOf260) {
    std::wstring longest = L"C:\\" + std::wstring(256, L'a');
    ASSERT_EQ(longest.size(), 259u);
    CAPFileSpecifier held(longest.c_str());
    EXPECT_EQ(held.GetPath(), longest);
    EXPECT_EQ(ErrorCount(), 0);

    CAPFileSpecifier refused(L"C:\\docs\\kept.pdf");
    refused = (longest + L"b").c_str();
    EXPECT_TRUE(refused.IsEmpty());
    EXPECT_EQ(LastErrorId(), 18031u);
    EXPECT_EQ(LastErrorText(), L"Cannot assign path to file specifier.");

    CAPFileSpecifier constructed((longest + L"b").c_str());
    EXPECT_TRUE(constructed.IsEmpty());
    EXPECT_EQ(ErrorCount(), 2);
}

TEST_F(FileSpecifierTest, MissingPathsAreJudgedByTheirFormExistingOnesByTheirAttributes) {
    ASSERT_TRUE(CreateDirectoryW((dir_ / L"dir.d").c_str(), nullptr));
    ASSERT_TRUE(VxWriteFile(dir_ / L"data", "x"));
    const struct {
        std::wstring path;
        bool folder, file;
    } cases[] = {{Missing(L"C:\\x\\report"), true, true}, {Missing(L"C:\\x\\report.pdf"), false, true},
                 {Missing(L"C:\\x\\"), true, false},      {dir_ / L"dir.d", true, false},
                 {dir_ / L"data", false, true}};
    for (const auto& c : cases) {
        CAPFileSpecifier specifier(c.path.c_str());
        EXPECT_EQ(specifier.IsFolder(), c.folder) << vxhost::ToUtf8(c.path);
        EXPECT_EQ(specifier.IsFile(), c.file) << vxhost::ToUtf8(c.path);
    }
}

TEST_F(FileSpecifierTest, FileNameIsTheLastComponentWithItsExtension) {
    std::wstring folder = dir_ / L"y";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    wchar_t name[kCAPMaxPath];

    EXPECT_TRUE(CAPFileSpecifier((folder + L"\\").c_str()).GetFileName(name, kCAPMaxPath));
    EXPECT_STREQ(name, L"y");
    EXPECT_TRUE(CAPFileSpecifier(L"C:\\x\\doc.pdf").GetFileName(name, kCAPMaxPath));
    EXPECT_STREQ(name, L"doc.pdf");
    EXPECT_TRUE(CAPFileSpecifier(L"C:\\x/archive.tar.gz").GetFileName(name, kCAPMaxPath));
    EXPECT_STREQ(name, L"archive.tar.gz");
    EXPECT_EQ(ErrorCount(), 0);

    EXPECT_FALSE(CAPFileSpecifier(L"C:\\").GetFileName(name, kCAPMaxPath));
    EXPECT_EQ(LastErrorId(), 18047u);
    EXPECT_FALSE(CAPFileSpecifier(L"C:\\x\\doc.pdf").GetFileName(name, 7));  // no room for the terminator
    EXPECT_EQ(LastErrorId(), 18047u);
}

TEST_F(FileSpecifierTest, ExtensionKeepsItsDotAndAFolderHasNone) {
    wchar_t extension[kCAPMaxPath];
    EXPECT_TRUE(CAPFileSpecifier(L"C:\\x\\doc.pdf").GetExtension(extension, kCAPMaxPath));
    EXPECT_STREQ(extension, L".pdf");
    EXPECT_TRUE(CAPFileSpecifier(L"C:\\x\\archive.tar.gz").GetExtension(extension, kCAPMaxPath));
    EXPECT_STREQ(extension, L".gz");
    EXPECT_EQ(ErrorCount(), 0);

    std::wstring dottedFolder = dir_ / L"dir.d";
    ASSERT_TRUE(CreateDirectoryW(dottedFolder.c_str(), nullptr));
    EXPECT_FALSE(CAPFileSpecifier(dottedFolder.c_str()).GetExtension(extension, kCAPMaxPath));
    EXPECT_EQ(LastErrorId(), 18048u);
    EXPECT_EQ(LastErrorText(), L"Cannot obtain extension from file (directory).");
}

TEST_F(FileSpecifierTest, SizeOfAFileAndOfAMissingOne) {
    std::wstring path = dir_ / L"five.bin";
    ASSERT_TRUE(VxWriteFile(path, "12345"));
    DWORD low = 99, high = 99;
    EXPECT_TRUE(CAPFileSpecifier(path.c_str()).GetSize(&low, &high));
    EXPECT_EQ(low, 5u);
    EXPECT_EQ(high, 0u);

    EXPECT_FALSE(CAPFileSpecifier((dir_ / L"none.bin").c_str()).GetSize(&low, &high));
    ASSERT_EQ(LastErrorId(), 18040u);
    EXPECT_EQ(CAPError::Instance().GetLastError()->value, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileSpecifierTest, NarrowPathAndAbsolutePath) {
    CAPFileSpecifier specifier(L"C:\\x\\doc.pdf");
    EXPECT_STREQ(specifier.GetNarrowPath(), "C:\\x\\doc.pdf");

    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring expected = current;
    if (expected.back() != L'\\') expected += L'\\';
    CAPFileSpecifier absolute;
    EXPECT_TRUE(CAPFileSpecifier(L"sub\\doc.pdf").GetAbsolutePath(absolute));
    EXPECT_EQ(absolute.GetPath(), expected + L"sub\\doc.pdf");

    EXPECT_FALSE(CAPFileSpecifier().GetAbsolutePath(absolute));
    EXPECT_EQ(LastErrorId(), 18034u);
}

TEST_F(FileSpecifierTest, EqualityIgnoresCaseAndAFoldersTrailingBackslash) {
    EXPECT_TRUE(CAPFileSpecifier(L"C:\\A\\doc.pdf") == CAPFileSpecifier(L"c:\\a\\DOC.PDF"));
    EXPECT_FALSE(CAPFileSpecifier(L"C:\\A\\doc.pdf") == CAPFileSpecifier(L"C:\\A\\doc2.pdf"));

    std::wstring dir = dir_ / L"Dir";
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    EXPECT_TRUE(CAPFileSpecifier((dir + L"\\").c_str()) == CAPFileSpecifier(dir.c_str()));
    EXPECT_TRUE(CAPFileSpecifier(dir.c_str()) == CAPFileSpecifier((dir + L"\\").c_str()));

    // Paths whose absolute form does not fit are never equal, not even to themselves.
    std::wstring tooLong = L"C:\\" + std::wstring(256, L'a');
    EXPECT_FALSE(CAPFileSpecifier(tooLong.c_str()) == CAPFileSpecifier(tooLong.c_str()));
    EXPECT_FALSE(CAPFileSpecifier() == CAPFileSpecifier());
}

TEST_F(FileSpecifierTest, CopiesAFileAndRefusesToOverwriteUnlessAsked) {
    std::wstring source = dir_ / L"source.pdf";
    std::wstring target = dir_ / L"target.pdf";
    ASSERT_TRUE(VxWriteFile(source, "new content"));
    CAPFileSpecifier from(source.c_str());

    EXPECT_TRUE(from.Copy(CAPFileSpecifier(target.c_str()), false, false, false));
    EXPECT_EQ(VxReadFile(target), "new content");

    ASSERT_TRUE(VxWriteFile(target, "old"));
    EXPECT_FALSE(from.Copy(CAPFileSpecifier(target.c_str()), false, false, false));
    EXPECT_EQ(VxReadFile(target), "old");
    ASSERT_EQ(LastErrorId(), 18042u);
    EXPECT_EQ(CAPError::Instance().GetLastError()->value, static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(LastErrorText(), L"Cannot copy \"" + source + L"\" to \"" + target + L"\".");

    EXPECT_TRUE(from.Copy(CAPFileSpecifier(target.c_str()), true, false, false));
    EXPECT_EQ(VxReadFile(target), "new content");
}

TEST_F(FileSpecifierTest, CopiesAFileIntoAFolderUnderItsOwnName) {
    std::wstring source = dir_ / L"source.pdf";
    std::wstring folder = dir_ / L"into";
    ASSERT_TRUE(VxWriteFile(source, "abc"));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));

    EXPECT_TRUE(CAPFileSpecifier(source.c_str()).Copy(CAPFileSpecifier(folder.c_str()), false, false, false));
    EXPECT_EQ(VxReadFile(folder + L"\\source.pdf"), "abc");
    EXPECT_TRUE(CAPFileSpecifier(source.c_str()).Copy(CAPFileSpecifier((folder + L"/").c_str()), true, false, false));

    EXPECT_FALSE(CAPFileSpecifier((dir_ / L"none.pdf").c_str()).Copy(CAPFileSpecifier(folder.c_str()), false, false,
                                                                       false));
    EXPECT_EQ(LastErrorId(), 18042u);
}

class FolderCopyTest : public FileSpecifierTest {
protected:
    void SetUp() override {
        FileSpecifierTest::SetUp();
        source_ = dir_ / L"tree";
        target_ = dir_ / L"out";
        ASSERT_TRUE(CreateDirectoryW(source_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((source_ + L"\\sub").c_str(), nullptr));
        ASSERT_TRUE(VxWriteFile(source_ + L"\\a.txt", "a"));
        ASSERT_TRUE(VxWriteFile(source_ + L"\\b.txt", "b"));
        ASSERT_TRUE(VxWriteFile(source_ + L"\\sub\\c.txt", "c"));
        ASSERT_TRUE(CreateDirectoryW(target_.c_str(), nullptr));
    }
    std::wstring source_, target_;
};

TEST_F(FolderCopyTest, RecursiveCopyTakesTheWholeTree) {
    EXPECT_TRUE(CAPFileSpecifier(source_.c_str()).Copy(CAPFileSpecifier(target_.c_str()), false, true, false));
    EXPECT_EQ(VxReadFile(target_ + L"\\tree\\a.txt"), "a");
    EXPECT_EQ(VxReadFile(target_ + L"\\tree\\b.txt"), "b");
    EXPECT_EQ(VxReadFile(target_ + L"\\tree\\sub\\c.txt"), "c");
    EXPECT_EQ(ErrorCount(), 0);
}

TEST_F(FolderCopyTest, WithoutRecursionOnlyTheFolderIsMade) {
    EXPECT_TRUE(CAPFileSpecifier(source_.c_str()).Copy(CAPFileSpecifier(target_.c_str()), false, false, false));
    EXPECT_NE(GetFileAttributesW((target_ + L"\\tree").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW((target_ + L"\\tree\\a.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FolderCopyTest, AFailingEntryStopsTheCopyUnlessToldToGoOn) {
    ASSERT_TRUE(CreateDirectoryW((target_ + L"\\tree").c_str(), nullptr));
    ASSERT_TRUE(VxWriteFile(target_ + L"\\tree\\a.txt", "kept"));

    EXPECT_FALSE(CAPFileSpecifier(source_.c_str()).Copy(CAPFileSpecifier(target_.c_str()), false, true, true));
    EXPECT_EQ(VxReadFile(target_ + L"\\tree\\a.txt"), "kept");
    EXPECT_EQ(VxReadFile(target_ + L"\\tree\\b.txt"), "b");
    EXPECT_EQ(VxReadFile(target_ + L"\\tree\\sub\\c.txt"), "c");
    EXPECT_EQ(LastErrorId(), 18042u);

    EXPECT_FALSE(CAPFileSpecifier(source_.c_str()).Copy(CAPFileSpecifier(target_.c_str()), false, true, false));
}

TEST_F(FolderCopyTest, AFolderIsNotCopiedIntoItself) {
    EXPECT_FALSE(CAPFileSpecifier(source_.c_str()).Copy(CAPFileSpecifier(source_.c_str()), false, true, false));
    EXPECT_EQ(LastErrorId(), 18042u);
    EXPECT_EQ(GetFileAttributesW((source_ + L"\\tree").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileSpecifierTest, TakesTheDisplayTextOfAHostPath) {
    ASPathName path = VxPathFromWide(L"C:\\docs\\a.pdf");
    ASSERT_NE(path, nullptr);
    {
        CAPFileSpecifier specifier(path);
        EXPECT_EQ(std::wstring(specifier.GetPath()), L"C:\\docs\\a.pdf");
        specifier = L"C:\\other.pdf";
        specifier = path;
        EXPECT_EQ(std::wstring(specifier.GetPath()), L"C:\\docs\\a.pdf");
    }
    VxReleasePath(nullptr, path);
    EXPECT_EQ(host().Objects().Live(ObjectKind::Text), 0u);
    EXPECT_EQ(ErrorCount(), 0);
}

// The host's "AS" table with a display-text entry that fails.
class FailingDisplayTextTest : public FileSpecifierTest {
protected:
    void SetUp() override {
        FileSpecifierTest::SetUp();
        original_ = gVxHFT[kHftAS].table;
        failing_.assign(original_, original_ + kASTableSize);
        failing_[kASFileSysDisplayText] = reinterpret_cast<void*>(FailingDisplayText);
        gVxHFT[kHftAS].table = failing_.data();
    }
    void TearDown() override {
        gVxHFT[kHftAS].table = original_;
        FileSpecifierTest::TearDown();
    }
    static ASInt32 VXAPI FailingDisplayText(ASFileSys, ASPathName, ASText) { return 0x40000002; }

    HFT original_ = nullptr;
    std::vector<void*> failing_;
};

TEST_F(FailingDisplayTextTest, AHostErrorDuringAssignmentIsLoggedAndEmptiesThePath) {
    ASPathName path = VxPathFromWide(L"C:\\docs\\a.pdf");
    CAPFileSpecifier specifier(L"C:\\docs\\kept.pdf");
    specifier = path;
    VxReleasePath(nullptr, path);

    EXPECT_TRUE(specifier.IsEmpty());
    EXPECT_EQ(LastErrorId(), 18031u);
    EXPECT_EQ(host().Objects().Live(ObjectKind::Text), 0u);
    EXPECT_THAT(host().LogText(), MatchesRegex("==============================\nException handled: 0x40000002\n"
                                               "File: Files\\\\CAPFileSpecifier\n"
                                               "Function: CAPFileSpecifier::operator =\nLine: \\d+\n"));
    std::vector<std::string> raised = host().JournalMatching("raise:");
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_THAT(raised[0], HasSubstr("CAPFileSpecifier::operator = Files\\CAPFileSpecifier:206"));
}

TEST_F(FileSpecifierTest, ANullHostPathIsRefusedWithoutAskingTheHost) {
    CAPFileSpecifier specifier(L"C:\\docs\\kept.pdf");
    specifier = static_cast<ASPathName>(nullptr);
    EXPECT_TRUE(specifier.IsEmpty());
    EXPECT_EQ(LastErrorId(), 18031u);
    EXPECT_EQ(host().LogText(), "");
}

TEST_F(FileSpecifierTest, EachConversionToAHostPathReleasesTheOneBefore) {
    {
        CAPFileSpecifier specifier(L"C:\\docs\\a.pdf");
        ASPathName first = specifier.ToHostPath();
        ASSERT_NE(first, nullptr);
        ASPathName second = specifier;
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(host().Objects().Created(ObjectKind::Path), 2u);
        EXPECT_EQ(host().Objects().Live(ObjectKind::Path), 1u);
        EXPECT_FALSE(host().Objects().IsLive(first, ObjectKind::Path));
        EXPECT_EQ(CAPFileSpecifier(second).GetPath(), std::wstring(L"C:\\docs\\a.pdf"));
    }
    EXPECT_EQ(host().Objects().Live(ObjectKind::Path), 0u);
}

TEST_F(FileSpecifierTest, AFailedConversionIsLoggedAndAnswersNull) {
    CAPFileSpecifier empty;
    EXPECT_EQ(empty.ToHostPath(), nullptr);
    EXPECT_EQ(LastErrorId(), 18032u);
    EXPECT_EQ(LastErrorText(), L"Cannot convert file specifier to required format.");
    EXPECT_THAT(host().LogText(), MatchesRegex("==============================\nException handled: 0x30000001\n"
                                               "File: Files\\\\CAPFileSpecifier\n"
                                               "Function: CAPFileSpecifier::operator class CVxASPathName \\*const \n"
                                               "Line: \\d+\n"));
    EXPECT_THAT(host().JournalMatching("raise:").at(0), HasSubstr(":450"));
}

}  // namespace
