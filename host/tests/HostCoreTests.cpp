// Core and "AS"/"ASExtra" entries, and the object accounting.
#include <thread>

#include "vxhost/HostFixture.h"

using namespace vxhost;
using ::testing::ElementsAre;

namespace {

class CoreTest : public HostFixture {};

ASAtom AtomOf(HFT core, const char* name) { return VxEntry<CoreAtomFromStringProc>(core, kCoreAtomFromString)(name); }

TEST_F(CoreTest, AtomsAreSmallStableAndNamed) {
    ASAtom a = AtomOf(Core(), "AVRibbon:Category:Help");
    ASAtom b = AtomOf(Core(), "Varnel Pro");
    EXPECT_EQ(a, AtomOf(Core(), "AVRibbon:Category:Help"));
    EXPECT_NE(a, b);
    EXPECT_EQ(a >> 32, 0u);
    EXPECT_EQ(b >> 32, 0u);
    EXPECT_EQ(host().AtomName(b), "Varnel Pro");
    EXPECT_EQ(host().AtomName(0x7fffffff), "");
    EXPECT_EQ(AtomOf(Core(), nullptr), 0u);
    // The application name answers with the same atom as the plug-in makes.
    EXPECT_EQ(VxEntry<AVAppGetNameProc>(AppView(), kAVAppGetName)(), b);
}

TEST_F(CoreTest, JournalKeepsAtomAndTableRequestsInOrder) {
    auto get = VxEntry<CoreGetHFTByNameProc>(Core(), kCoreGetHFTByName);
    ASUns32 version = 0;
    EXPECT_EQ(get(AtomOf(Core(), "AS"), &version), AS());
    EXPECT_EQ(get(AtomOf(Core(), "AppView"), &version), AppView());
    EXPECT_EQ(get(AtomOf(Core(), "NoSuchTable"), &version), nullptr);
    EXPECT_EQ(version, 0u);
    EXPECT_THAT(host().Journal(), ElementsAre("atom:AS", "hft:AS", "atom:AppView", "hft:AppView", "atom:NoSuchTable",
                                              "hft:NoSuchTable"));
    host().ClearJournal();
    EXPECT_TRUE(host().Journal().empty());
}

TEST_F(CoreTest, EveryNamedHostTableExistsAndUnlistedEntriesAreNull) {
    for (const char* name : {"AS", "COS", "PDModel", "PDFEditRead", "PDFEditWrite", "PDSysFont", "PageContent", "ASExtra",
                             "AVExtra", "AppView", "WIN", "FDF", "PDSRead", "PDSWrite"}) {
        HFT table = host().GetTable(name);
        ASSERT_NE(table, nullptr) << name;
        EXPECT_EQ(table[0], nullptr) << name;
    }
    EXPECT_EQ(Core()[1], nullptr);
    EXPECT_NE(Core()[kCoreLog], nullptr);
    EXPECT_EQ(AS()[kASFileSysDisplayText - 1], nullptr);
    EXPECT_NE(AppView()[kAVIconRelease], nullptr);
}

TEST_F(CoreTest, LegacyArrayHoldsTheListedTablesOnly) {
    HFT* legacy = host().LegacyArray();
    EXPECT_EQ(legacy[0], Core());
    EXPECT_EQ(legacy[1], AS());
    EXPECT_EQ(legacy[3], PDModel());
    EXPECT_EQ(legacy[8], AppView());
    EXPECT_EQ(legacy[10], ASExtra());
    EXPECT_EQ(legacy[24], host().HostTable("PDSRead"));
    EXPECT_EQ(legacy[25], host().HostTable("PDSWrite"));
    for (int i : {9, 12, 13, 20, 23}) EXPECT_EQ(legacy[i], nullptr) << i;
}

TEST_F(CoreTest, RaiseThrowsTheCodeAndEntry4ReportsItPerThread) {
    auto raise = VxEntry<CoreRaiseProc>(Core(), kCoreRaise);
    auto code = VxEntry<CoreGetExceptionErrorCodeProc>(Core(), kCoreGetExceptionErrorCode);
    ASInt32 caught = 0;
    try {
        raise(0x1234, "file.cpp", 12, "Function");
    } catch (CVxException* e) {
        caught = e->errorCode;
        EXPECT_EQ(code(), 0x1234);
    }
    EXPECT_EQ(caught, 0x1234);

    ASInt32 otherBefore = -1, otherAfter = -1;
    std::thread other([&] {
        otherBefore = code();
        try {
            raise(77, "other.cpp", 1, "Other");
        } catch (CVxException*) {
            otherAfter = code();
        }
    });
    other.join();
    EXPECT_EQ(otherBefore, 0);
    EXPECT_EQ(otherAfter, 77);
    EXPECT_EQ(code(), 0x1234);
    // Served per thread, and reported as calls off the main thread.
    EXPECT_EQ(host().ThreadViolations().size(), 3u);
    host().ClearThreadViolations();
}

TEST_F(CoreTest, LogGoesToMemoryAndFile) {
    auto log = VxEntry<CoreLogProc>(Core(), kCoreLog);
    log("first\n");
    log("second\n");
    EXPECT_EQ(host().LogText(), "first\nsecond\n");
    EXPECT_EQ(TempFolder::Read(host().LogPath()), "first\nsecond\n");
}

HFT VXAPI ProvideCounting(HFTServer server, ASUns32 version, void* clientData) {
    auto* calls = static_cast<int*>(clientData);
    ++*calls;
    static HFT table;
    if (*calls == 1) table = VxEntry<ASNewHFTProc>(Host::Current()->HostTable("AS"), kASNewHFT)(server, 4);
    return table;
}

void VXAPI DestroyCounting(HFTServer server, void* clientData) {
    auto* calls = static_cast<int*>(clientData);
    *calls += 100;
}

TEST_F(CoreTest, ServerProviderRunsOnEveryRequestAndDestroyRunsOnce) {
    int calls = 0;
    HFTServer server = VxEntry<ASNewHFTServerProc>(AS(), kASNewHFTServer)("Mine", ProvideCounting, DestroyCounting, &calls);
    ASSERT_NE(server, nullptr);
    auto get = VxEntry<CoreGetHFTByNameProc>(Core(), kCoreGetHFTByName);
    ASUns32 version = 0;
    HFT first = get(AtomOf(Core(), "Mine"), &version);
    HFT second = get(AtomOf(Core(), "Mine"), &version);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(first[0], nullptr);
    EXPECT_EQ(first[3], nullptr);
    EXPECT_EQ(host().Objects().Live(ObjectKind::Table), 1u);

    VxEntry<ASDestroyHFTProc>(AS(), kASDestroyHFT)(first);
    VxEntry<ASDestroyHFTServerProc>(AS(), kASDestroyHFTServer)(server);
    EXPECT_EQ(calls, 102);
    EXPECT_EQ(get(AtomOf(Core(), "Mine"), &version), nullptr);  // gone with its server
    EXPECT_EQ(host().Objects().LiveTotal(), 0u);
    EXPECT_TRUE(host().Objects().Errors().empty());
}

TEST_F(CoreTest, PathsCopyReleaseDisplayAndRemove) {
    std::wstring file = temp_.Write(L"doc.pdf", "%PDF");
    ASPathName path = MakePath(file);
    ASSERT_NE(path, nullptr);
    ASPathName copy = VxEntry<ASFileSysCopyPathProc>(AS(), kASFileSysCopyPath)(nullptr, path);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, path);
    ReleasePath(path);
    EXPECT_EQ(PathText(copy), file);  // the copy lives on its own
    EXPECT_EQ(VxEntry<ASGetDefaultFileSysProc>(AS(), kASGetDefaultFileSys)(), host().DefaultFileSys());

    auto remove = VxEntry<ASFileSysRemoveProc>(AS(), kASFileSysRemove);
    EXPECT_EQ(remove(nullptr, copy), 0);
    EXPECT_FALSE(TempFolder::Exists(file));
    EXPECT_NE(remove(nullptr, copy), 0);  // nothing left to remove
    ReleasePath(copy);
}

TEST_F(CoreTest, MakePathNeedsTheWstringTypeAndAText) {
    auto make = VxEntry<ASFileSysCreatePathProc>(AS(), kASFileSysCreatePath);
    EXPECT_EQ(make(nullptr, host().Atom("Cstring"), L"C:\\x.pdf", nullptr), nullptr);
    EXPECT_EQ(make(nullptr, host().Atom("Wstring"), L"", nullptr), nullptr);
    EXPECT_EQ(make(nullptr, host().Atom("Wstring"), nullptr, nullptr), nullptr);
    EXPECT_EQ(host().Objects().LiveTotal(), 0u);

    // A bare name becomes absolute against the current folder.
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    ASPathName bare = MakePath(L"name.pdf");
    std::wstring expected = std::wstring(current) + (current[wcslen(current) - 1] == L'\\' ? L"" : L"\\") + L"name.pdf";
    EXPECT_EQ(PathText(bare), expected);
    ReleasePath(bare);
}

TEST_F(CoreTest, TextsHoldWideStrings) {
    ASText text = VxEntry<ASTextNewProc>(ASExtra(), kASTextNew)();
    EXPECT_EQ(TextValue(text), L"");
    VxEntry<ASTextSetUnicodeProc>(ASExtra(), kASTextSetUnicode)(text, L"Tessera \u00e9");
    EXPECT_EQ(TextValue(text), L"Tessera \u00e9");
    DestroyText(text);
    ASText made = MakeText(L"Save to Tessera");
    EXPECT_EQ(TextValue(made), L"Save to Tessera");
    DestroyText(made);
}

TEST_F(CoreTest, AllocatorTracksBlocksThroughResize) {
    auto alloc = VxEntry<ASmallocProc>(AS(), kASmalloc);
    auto resize = VxEntry<ASreallocProc>(AS(), kASrealloc);
    auto release = VxEntry<ASfreeProc>(AS(), kASfree);
    auto* block = static_cast<char*>(alloc(4));
    memcpy(block, "abc", 4);
    auto* bigger = static_cast<char*>(resize(block, 4000));
    EXPECT_STREQ(bigger, "abc");
    EXPECT_EQ(host().Objects().Live(ObjectKind::Block), 1u);
    release(bigger);
    release(nullptr);
    EXPECT_EQ(host().Objects().Live(ObjectKind::Block), 0u);
    EXPECT_TRUE(host().Objects().Errors().empty());
}

// A plug-in cleans up through releases, the log and entry 4 while it handles an injected fault:
// none of them may count or raise.
TEST_F(CoreTest, AnArmedFaultRaisesOnceAtTheNthMakingCall) {
    ASPathName path = MakePath(L"C:\\a.pdf");
    ASText text = MakeText(L"a");
    void* block = VxEntry<ASmallocProc>(AS(), kASmalloc)(8);
    host().FailMakingCall(2);
    ReleasePath(path);
    DestroyText(text);
    VxEntry<ASfreeProc>(AS(), kASfree)(block);
    VxEntry<CoreLogProc>(Core(), kCoreLog)("line\n");
    VxEntry<CoreGetExceptionErrorCodeProc>(Core(), kCoreGetExceptionErrorCode)();
    EXPECT_EQ(host().MakingCalls(), 0);

    AtomOf(Core(), "first");
    ASInt32 caught = 0;
    try {
        MakeText(L"second");
    } catch (CVxException* e) {
        caught = e->errorCode;
    }
    EXPECT_EQ(caught, kErrGeneral);
    EXPECT_TRUE(host().InjectedFaultFired());
    EXPECT_EQ(host().JournalMatching("raise:").back(), "raise:0x40000001 injected ASExtra 4");
    DestroyText(MakeText(L"third"));  // spent: answers again
    EXPECT_EQ(host().MakingCalls(), 3);
    host().FailMakingCall(0);
    AtomOf(Core(), "not counted");
    EXPECT_EQ(host().MakingCalls(), 3);
}

// The accounting itself, without the fixture (which would fail these tests on purpose).
TEST(Ledger, ReportsLeaksDoubleAndUnknownReleases) {
    Host host;
    HFT as = host.HostTable("AS");
    auto make = VxEntry<ASFileSysCreatePathProc>(as, kASFileSysCreatePath);
    auto release = VxEntry<ASFileSysReleasePathProc>(as, kASFileSysReleasePath);
    ASPathName leaked = make(nullptr, host.Atom("Wstring"), L"C:\\leaked.pdf", nullptr);
    ASPathName twice = make(nullptr, host.Atom("Wstring"), L"C:\\twice.pdf", nullptr);
    release(nullptr, twice);
    release(nullptr, twice);
    int stranger = 0;
    release(nullptr, &stranger);
    ASText text = VxEntry<ASTextNewProc>(host.HostTable("ASExtra"), kASTextNew)();
    release(nullptr, text);  // a text is not a path
    VxEntry<ASTextDestroyProc>(host.HostTable("ASExtra"), kASTextDestroy)(text);

    EXPECT_EQ(host.Objects().Live(ObjectKind::Path), 1u);
    EXPECT_EQ(host.Objects().Created(ObjectKind::Path), 2u);
    auto leaks = host.Objects().Leaks();
    ASSERT_EQ(leaks.size(), 1u);
    EXPECT_NE(leaks[0].find("C:\\leaked.pdf"), std::string::npos) << leaks[0];
    auto errors = host.Objects().Errors();
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_NE(errors[0].find("double release of path"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("release of unknown path"), std::string::npos) << errors[1];
    EXPECT_NE(errors[2].find("release of a text as a path"), std::string::npos) << errors[2];
    EXPECT_EQ(host.Objects().Problems().size(), 4u);
    // A released handle is never handed back to a reader.
    EXPECT_EQ(VxEntry<ASFileSysDisplayTextProc>(as, kASFileSysDisplayText)(nullptr, twice, nullptr), kErrBadParameter);
    release(nullptr, leaked);
    EXPECT_EQ(host.Objects().LiveTotal(), 0u);
}

TEST(Ledger, OnlyOneHostAtATime) {
    Host first;
    EXPECT_EQ(Host::Current(), &first);
    EXPECT_THROW(Host second, std::logic_error);
    EXPECT_EQ(Host::Current(), &first);
}

}  // namespace
