// The "Tessera" table's decisions and entries, and the document notification handlers, with this
// test program's own framework bound to the host stand-in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VxHFT.h"
#include "VxHostedTest.h"
#include "VxPlugin.h"
#include "boundary/Boundary.h"
#include "boundary/ExtTesseraHFT.h"

namespace {

class TesseraTableTest : public VxHostedTest {
protected:
    void SetUp() override {
        VxHostedTest::SetUp();
        ASSERT_EQ(VxPublishHFT(), 1);
        table_ = VxOwnTable();
        ASSERT_NE(table_, nullptr);
        AdoptModule(std::make_unique<CDmslinkModule>(host().MainWindow()));
    }
    void TearDown() override {
        ReleaseModule().reset();
        VxHostedTest::TearDown();
    }

    TSPreferences& Preferences() { return TheModule()->Preferences(); }
    CDocumentManager& Documents() { return TheModule()->Documents(); }

    bool Entry(int index) { return VxEntry<TesseraBoolProc>(table_, index)() != 0; }

    // A file in the test's folder with a record of its own (no DMS document behind it).
    std::wstring TrackedFile(const std::wstring& name) {
        std::wstring file = folder_ / name;
        EXPECT_TRUE(VxWriteFile(file, "%PDF-1.4\n"));
        Documents().AddDocument(nullptr, nullptr, file, false);
        EXPECT_NE(Record(file), nullptr);
        return file;
    }
    TrackedDocument* Record(const std::wstring& file) { return Documents().FindASPathName(file); }

    HFT table_ = nullptr;
    VxTempFolder folder_;
};

TEST_F(TesseraTableTest, SaveDecisionFollowsTheTwoHostFlagsAndShift) {
    TSPreferences& m = Preferences();
    m.enableSave = true;
    m.saveDefaultLocation = false;
    m.saveShortcutInvert = true;
    struct Case {
        bool suppressed, explicitOnly, buttonActive;
        ASUns32 modifiers;
        bool expected;
    };
    const Case cases[] = {
        {false, false, false, 0, false}, {false, false, false, 1, true},   // default rule, Shift inverts
        {false, true, false, 1, false},  {false, true, true, 0, true},     // only while the Save item runs
        {true, true, false, 0, false},   {true, true, false, 1, true},     // default rule again
        {true, false, true, 1, false},                                     // suppressed: never
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.suppressed << c.explicitOnly << c.buttonActive << c.modifiers);
        m.defaultsSuppressed = c.suppressed;
        m.explicitSaveOnly = c.explicitOnly;
        m.saveButtonActive = c.buttonActive;
        host().SetModifiers(c.modifiers);
        EXPECT_EQ(Entry(kTesseraIsSaveEnabled), c.expected);
    }
    m.enableSave = false;
    m.defaultsSuppressed = m.explicitSaveOnly = false;
    EXPECT_FALSE(Entry(kTesseraIsSaveEnabled));
}

TEST_F(TesseraTableTest, HostFlagsAreSetOnlyByTheByteOne) {
    VxEntry<TesseraSetFlagProc>(table_, kTesseraSetDefaultsSuppressed)(2);
    VxEntry<TesseraSetFlagProc>(table_, kTesseraSetExplicitSaveOnly)(255);
    EXPECT_FALSE(Preferences().defaultsSuppressed);
    EXPECT_FALSE(Preferences().explicitSaveOnly);
    VxEntry<TesseraSetFlagProc>(table_, kTesseraSetDefaultsSuppressed)(1);
    VxEntry<TesseraSetFlagProc>(table_, kTesseraSetExplicitSaveOnly)(1);
    EXPECT_TRUE(Preferences().defaultsSuppressed);
    EXPECT_TRUE(Preferences().explicitSaveOnly);
}

TEST_F(TesseraTableTest, OpenDecisionIsFalseWheneverDefaultsAreSuppressed) {
    TSPreferences& m = Preferences();
    m.enableOpen = true;
    for (int bits = 0; bits < 8; ++bits) {
        m.openDefaultLocation = bits & 1;
        m.openShortcutInvert = bits & 2;
        host().SetModifiers((bits & 4) ? 1 : 0);
        m.defaultsSuppressed = true;
        EXPECT_FALSE(Entry(kTesseraIsOpenEnabled)) << bits;
        m.defaultsSuppressed = false;
        bool expected = m.openDefaultLocation != (m.openShortcutInvert && (bits & 4));
        EXPECT_EQ(Entry(kTesseraIsOpenEnabled), expected) << bits;
    }
}

TEST_F(TesseraTableTest, WithoutTheManagersEntriesAnswerFalseAndDoNothing) {
    Preferences().enableOpen = Preferences().enableSave = true;
    ReleaseModule().reset();
    for (int index : {kTesseraIsOpenEnabled, kTesseraIsSaveEnabled, kTesseraIsOpenAvailable, kTesseraIsSaveAvailable,
                      kTesseraIsOpenDefault, kTesseraIsOpenAndSaveEnabled, kTesseraIsSaveDefault})
        EXPECT_FALSE(Entry(index)) << index;
    ASPathName path = MakePath(folder_ / L"a.pdf");
    EXPECT_EQ(VxEntry<TesseraPathToPathProc>(table_, kTesseraGetSaveAsPath)(path), nullptr);
    EXPECT_EQ(VxEntry<TesseraPathToPathProc>(table_, kTesseraSaveAsDialog)(path), nullptr);
    EXPECT_EQ(VxEntry<TesseraCheckinProc>(table_, kTesseraCheckinDocument)(path, 1), 0);
    EXPECT_EQ(VxEntry<TesseraSaveOnServerProc>(table_, kTesseraSaveDocumentOnServer)(path, 1, 1), 0);
    ReleasePath(path);
    ASText name = MakeText(L"alpha");
    EXPECT_EQ(VxEntry<TesseraServerNameProc>(table_, kTesseraToggleServerConnection)(name), 0);
    EXPECT_EQ(VxEntry<TesseraServerNameProc>(table_, kTesseraEditServer)(name), 0);
    DestroyText(name);
    host().ClearJournal();
    VxEntry<TesseraVoidProc>(table_, kTesseraFileOpenBtnExecuteProc)();
    VxEntry<TesseraVoidProc>(table_, kTesseraFileSaveAsBtnExecuteProc)();
    EXPECT_TRUE(host().Journal().empty());
}

// kTesseraOpenDialog replaced by one that answers three local copies, the second of them missing.
std::vector<std::wstring> gChosenFiles;
ASBool VXAPI ChooseThreeFiles(HWND, const wchar_t* filter, ASPathName** items, ASUns16* count, ASBool keep) {
    EXPECT_EQ(filter, nullptr);
    EXPECT_EQ(keep, 1);
    *items = static_cast<ASPathName*>(VxMalloc(static_cast<ASUns32>(gChosenFiles.size() * sizeof(ASPathName))));
    for (size_t i = 0; i < gChosenFiles.size(); ++i) (*items)[i] = VxPathFromWide(gChosenFiles[i].c_str());
    *count = static_cast<ASUns16>(gChosenFiles.size());
    return 1;
}

TEST_F(TesseraTableTest, OpenButtonReportsAFailedDocumentAndGoesOnWithTheNext) {
    std::wstring first = TrackedFile(L"first.pdf");
    std::wstring missing = TrackedFile(L"missing.pdf");
    DeleteFileW(missing.c_str());
    std::wstring third = TrackedFile(L"third.pdf");
    gChosenFiles = {first, missing, third};
    void* original = table_[kTesseraOpenDialog];
    table_[kTesseraOpenDialog] = reinterpret_cast<void*>(ChooseThreeFiles);
    VxEntry<TesseraVoidProc>(table_, kTesseraFileOpenBtnExecuteProc)();
    table_[kTesseraOpenDialog] = original;

    EXPECT_EQ(host().Alerts(), (std::vector<std::wstring>{L"There was an error opening the document 'missing.pdf'."}));
    EXPECT_EQ(Record(missing), nullptr);
    EXPECT_NE(Record(first), nullptr);
    EXPECT_NE(Record(third), nullptr);
    std::vector<std::wstring> opened;
    for (vxhost::Document* doc : host().Documents()) opened.push_back(doc->Path());
    EXPECT_EQ(opened, (std::vector<std::wstring>{first, third}));
    // The failure was logged once, under the entry's name.
    EXPECT_NE(host().LogText().find("Function: Tessera_FileOpenBtnExecuteProc_Internal"), std::string::npos);
    // The returned paths and the list itself went back to the host.
    EXPECT_EQ(host().Objects().Live(vxhost::ObjectKind::Block), 0u);
    host().RunIdle();  // the removed record's deferred delete takes its path along
}

TEST_F(TesseraTableTest, CheckinWithoutARecordIsFalse) {
    ASPathName path = MakePath(folder_ / L"untracked.pdf");
    EXPECT_EQ(VxEntry<TesseraCheckinProc>(table_, kTesseraCheckinDocument)(path, 1), 0);
    EXPECT_EQ(Documents().SkipClosePath(), L"");
    ReleasePath(path);
}

TEST_F(TesseraTableTest, SaveOnServerKeepsTheRecordUnlessAskedToReleaseIt) {
    std::wstring kept = TrackedFile(L"kept.pdf");
    ASPathName path = MakePath(kept);
    VxEntry<TesseraSaveOnServerProc>(table_, kTesseraSaveDocumentOnServer)(path, 1, 0);
    EXPECT_NE(Record(kept), nullptr);
    EXPECT_EQ(Documents().SkipClosePath(), L"");

    // Released while kept checked out: the skipped close consumes the mark, the copy stays.
    VxEntry<TesseraSaveOnServerProc>(table_, kTesseraSaveDocumentOnServer)(path, 1, 1);
    EXPECT_EQ(Record(kept), nullptr);
    EXPECT_EQ(Documents().SkipClosePath(), L"");
    EXPECT_TRUE(vxhost::TempFolder::Exists(kept));
    ReleasePath(path);
}

TEST_F(TesseraTableTest, ServerEntriesForAnUnknownNameChangeNothing) {
    ASSERT_TRUE(TheModule()->Servers().AddServer(L"alpha", L"ann", L"pw", false, true, false, false));
    ASText beta = MakeText(L"Alpha");
    EXPECT_EQ(VxEntry<TesseraServerNameProc>(table_, kTesseraToggleServerConnection)(beta), 0);
    EXPECT_EQ(VxEntry<TesseraServerNameProc>(table_, kTesseraDeleteServer)(beta), 0);
    ASText user = nullptr;
    EXPECT_EQ(VxEntry<TesseraGetServerDetailsProc>(table_, kTesseraGetServerDetails)(beta, &user, nullptr, nullptr,
                                                                                    nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(user, nullptr);
    DestroyText(beta);
    ASSERT_EQ(TheModule()->Servers().GetServerCount(), 1);
    EXPECT_FALSE(TheModule()->Servers().GetServerAt(0)->connected);

    ASText alpha = MakeText(L"alpha");
    ASBool trusted = 9, autoConnect = 9, machineWide = 9;
    ASSERT_EQ(VxEntry<TesseraGetServerDetailsProc>(table_, kTesseraGetServerDetails)(
                  alpha, &user, nullptr, &trusted, &autoConnect, nullptr, &machineWide),
              1);
    EXPECT_EQ(TextValue(user), L"ann");
    EXPECT_EQ(trusted, 0);
    EXPECT_EQ(autoConnect, 1);
    EXPECT_EQ(machineWide, 0);
    DestroyText(user);
    ASText name = nullptr;
    ASSERT_EQ(VxEntry<TesseraGetServerNameProc>(table_, kTesseraGetServerName)(0, &name), 1);
    EXPECT_EQ(TextValue(name), L"alpha");
    DestroyText(name);
    EXPECT_EQ(VxEntry<TesseraGetServerNameProc>(table_, kTesseraGetServerName)(1, &name), 0);
    EXPECT_EQ(VxEntry<TesseraServerNameProc>(table_, kTesseraDeleteServer)(alpha), 1);
    EXPECT_EQ(TheModule()->Servers().GetServerCount(), 0);
    DestroyText(alpha);
}

// ---- notifications

TEST_F(TesseraTableTest, OpeningBindsOnlyATrackedDocument) {
    std::wstring tracked = TrackedFile(L"tracked.pdf");
    VxTempFolder elsewhere;
    std::wstring other = elsewhere / L"other.pdf";
    ASSERT_TRUE(VxWriteFile(other, "%PDF-1.4\n"));

    vxhost::Document* untracked = host().OpenDocument(other);
    ASSERT_NE(untracked, nullptr);
    TS_OpenHandler(untracked->pdDoc(), nullptr);
    TS_AVDocDidOpen(untracked->avDoc(), nullptr);
    EXPECT_EQ(Documents().GetCount(), 1);
    EXPECT_EQ(Record(tracked)->pdDoc, nullptr);

    vxhost::Document* doc = host().OpenDocument(tracked);
    ASSERT_NE(doc, nullptr);
    TS_AVDocDidOpen(doc->avDoc(), nullptr);
    EXPECT_EQ(Documents().GetCount(), 1);
    EXPECT_EQ(Record(tracked)->pdDoc, doc->pdDoc());
}

TEST_F(TesseraTableTest, ASkippedSaveClearsTheMarkAndKeepsTheLastSaveAsPath) {
    std::wstring file = TrackedFile(L"skipped.pdf");
    vxhost::Document* doc = host().OpenDocument(file);
    ASSERT_NE(doc, nullptr);
    TS_OpenHandler(doc->pdDoc(), nullptr);
    Documents().SkipDocumentSave(file);
    Documents().SetLastSaveAsPath(folder_ / L"elsewhere.pdf");

    TS_PDDocDidSave(doc->pdDoc(), nullptr);
    EXPECT_FALSE(Record(file)->saved);
    EXPECT_EQ(Documents().SkipSavePath(), L"");
    EXPECT_NE(Documents().LastSaveAsPath(), L"");

    TS_PDDocDidSave(doc->pdDoc(), nullptr);
    EXPECT_TRUE(Record(file)->saved);
    EXPECT_EQ(Documents().LastSaveAsPath(), L"");
}

TEST_F(TesseraTableTest, TheSaveOfACopyIsIgnored) {
    std::wstring file = TrackedFile(L"copied.pdf");
    vxhost::Document* doc = host().OpenDocument(file);
    ASSERT_NE(doc, nullptr);
    TS_OpenHandler(doc->pdDoc(), nullptr);
    Documents().SetLastSaveAsPath(folder_ / L"elsewhere.pdf");

    const ASUns32 copy[2] = {0, kSaveFlagCopy};
    TS_SaveOrigin(doc->pdDoc(), copy, nullptr);
    TS_PDDocDidSave(doc->pdDoc(), nullptr);
    EXPECT_FALSE(Record(file)->saved);
    EXPECT_NE(Documents().LastSaveAsPath(), L"");

    const ASUns32 plain[2] = {0, 0};
    TS_SaveOrigin(doc->pdDoc(), plain, nullptr);
    TS_PDDocDidSave(doc->pdDoc(), nullptr);
    EXPECT_TRUE(Record(file)->saved);
}

}  // namespace
