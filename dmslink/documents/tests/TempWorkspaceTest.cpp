#include <cstdint>

#include "DocumentsFixture.h"
#include "VxApp.h"
#include "VxHFT.h"
#include "documents/CKeptCopies.h"
#include "documents/TempWorkspace.h"

namespace {

std::string Int(int32_t value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }
std::string Text(const std::wstring& text, uint32_t count) {
    return Int(static_cast<int32_t>(count)) +
           std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}
std::string Text(const std::wstring& text) { return Text(text, static_cast<uint32_t>(text.size())); }
std::string Record(int32_t number, int32_t version, const std::wstring& name, const std::wstring& database,
                   const std::wstring& server) {
    return Int(number) + Int(version) + Text(name) + Text(database) + Text(server);
}

class TempWorkspaceTest : public DocumentsTest {
protected:
    bool Details(const std::string& bytes, long* number = nullptr, std::wstring* name = nullptr,
                 std::wstring* server = nullptr) {
        std::wstring file = files_ / L"TSFile.dat";
        EXPECT_TRUE(VxWriteFile(file, bytes));
        long n = 0, v = 0;
        std::wstring nm, db, sv;
        bool result = docs_->GetFileDataDetails(file, &n, &v, &nm, &db, &sv);
        if (number) *number = n;
        if (name) *name = nm;
        if (server) *server = sv;
        return result;
    }
};

TEST_F(TempWorkspaceTest, FolderNumbersStartAtTheFirstFreeOne) {
    std::wstring root = Root();
    std::wstring folder;
    ASSERT_TRUE(CreateDirectoryW((root + L"\\VRL1").c_str(), nullptr));
    ASSERT_TRUE(GetUniqueTempFolder(&folder));
    EXPECT_EQ(folder, root + L"\\VRL0\\");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(GetUniqueTempFolder(&folder));
    EXPECT_EQ(folder, root + L"\\VRL2\\");
    EXPECT_EQ(FormatTempFileName(1234, 2, L"pdf"), L"1234_2.pdf");

    // A claim makes its folder; a number another host took that very moment (or a file of that
    // name) is passed over for the next.
    std::wstring first, second;
    CFolderClaim firstClaim, secondClaim, other;
    ASSERT_TRUE(ClaimTempFolder(&first, &firstClaim));
    int n = _wtoi(first.substr(root.size() + 4).c_str());
    ASSERT_TRUE(CreateDirectoryW(VxFormat(L"%s\\VRL%d", root.c_str(), n + 1).c_str(), nullptr));
    VxWriteFile(VxFormat(L"%s\\VRL%d", root.c_str(), n + 2), "not a folder");
    ASSERT_TRUE(ClaimTempFolder(&second, &secondClaim));
    EXPECT_EQ(second, VxFormat(L"%s\\VRL%d\\", root.c_str(), n + 3));
    DWORD made = GetFileAttributesW(first.c_str());
    EXPECT_TRUE(made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_DIRECTORY));

    // The folder is its claimer's from the first moment, empty as it is, until the claim is let go.
    EXPECT_FALSE(other.Take(first));
    firstClaim.Release();
    EXPECT_TRUE(other.Take(first));
    EXPECT_FALSE(firstClaim.Take(first));
}

// Without DMSLINK_TEMP_ROOT the root is the system's temporary folder and "dmslink", as ever;
// with it, the folder it names (without a trailing backslash), created when missing.
TEST_F(TempWorkspaceTest, TheRootIsTheSystemTemporaryFolderUnlessAProcessNamesItsOwn) {
    std::wstring own = Root();
    SetEnvironmentVariableW(L"DMSLINK_TEMP_ROOT", (files_ / L"elsewhere\\").c_str());
    EXPECT_EQ(GetTempRootFolder(), files_ / L"elsewhere");
    EXPECT_TRUE(Exists(files_ / L"elsewhere"));
    SetEnvironmentVariableW(L"DMSLINK_TEMP_ROOT", nullptr);
    wchar_t system[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, system);
    EXPECT_EQ(GetTempRootFolder(), std::wstring(system) + L"dmslink");
    SetEnvironmentVariableW(L"DMSLINK_TEMP_ROOT", own.c_str());
}

TEST_F(TempWorkspaceTest, TheRecordFileHoldsTheDocumentByteForByte) {
    CheckedOut copy = CheckOut(2, false);
    std::string expected = Int(1234) + Int(2) + Text(L"1234_2.pdf") + Text(L"DOCS") + Text(L"SRV1");
    std::string bytes = VxReadFile(RecordFileOf(copy.file));
    ASSERT_EQ(bytes.size(), 56u);
    EXPECT_EQ(bytes, expected);
}

TEST_F(TempWorkspaceTest, RecordFilesAreCheckedForLengthsAndTruncation) {
    std::wstring name, server;
    std::wstring longName(260, L'n');
    EXPECT_TRUE(Details(Record(1, 2, longName, L"DOCS", L"SRV1"), nullptr, &name));
    EXPECT_EQ(name, longName);
    EXPECT_FALSE(Details(Record(1, 2, std::wstring(261, L'n'), L"DOCS", L"SRV1")));

    std::string valid = Record(1234, 2, L"1234_2.pdf", L"DOCS", L"SRV1");
    EXPECT_FALSE(Details(valid.substr(0, valid.size() - 2)));  // the server text cut short
    EXPECT_FALSE(Details(valid.substr(0, 6)));
    EXPECT_FALSE(Details(Int(1234) + Int(2) + Text(L"1234_2.pdf", 20)));

    EXPECT_FALSE(Details(Record(1234, 2, L"1234_2.pdf", L"", L"SRV1")));
    EXPECT_FALSE(Details(Record(-1, 2, L"1234_2.pdf", L"DOCS", L"SRV1")));
    EXPECT_TRUE(Details(Record(1234, 2, L"1234_2.pdf", L"DOCS", L""), nullptr, nullptr, &server));
    EXPECT_EQ(server, L"");

    long untouched = 77;
    EXPECT_FALSE(docs_->GetFileDataDetails(files_ / L"missing.dat", &untouched, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(untouched, 77);
}

TEST_F(TempWorkspaceTest, AReopenedCopyIsRecognisedOnce) {
    std::wstring folder;
    ASSERT_TRUE(GetUniqueTempFolder(&folder));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring file = folder + L"1234_2.pdf";
    ASSERT_TRUE(VxWriteFile(file, "left over"));
    ASSERT_TRUE(VxWriteFile(RecordFileOf(file), Record(1234, 2, L"1234_2.pdf", L"DOCS", L"SRV1")));
    vxhost::Document* doc = host().OpenDocument(file);
    ASSERT_NE(doc, nullptr);

    ASSERT_TRUE(docs_->CheckFileData(doc->pdDoc(), file, Lookup()));
    ASSERT_EQ(docs_->GetCount(), 1);
    EXPECT_EQ(docs_->GetDocumentAt(0)->pdDoc, doc->pdDoc());
    EXPECT_FALSE(docs_->GetDocumentAt(0)->saved) << "no owed mark: a copy as checked out";
    EXPECT_FALSE(docs_->CheckFileData(doc->pdDoc(), file, Lookup()));
    EXPECT_EQ(docs_->GetCount(), 1);

    // A leftover that another host's recovery is checking in is that host's: the reopen leaves it
    // alone, and the recovery, looking again before it deletes, leaves the copy the host has open.
    std::wstring other;
    ASSERT_TRUE(GetUniqueTempFolder(&other));
    ASSERT_TRUE(CreateDirectoryW(other.c_str(), nullptr));
    std::wstring leftover = other + L"1234_1.pdf";
    ASSERT_TRUE(VxWriteFile(leftover, "left over too"));
    ASSERT_TRUE(VxWriteFile(RecordFileOf(leftover), Record(1234, 1, L"1234_1.pdf", L"DOCS", L"SRV1")));
    CDocumentManager recovering;
    bool reopened = false;
    recovering.RecoverTempDocuments([&](const std::wstring& copy, const FileDataRecord&) {
        if (copy != leftover) return false;
        vxhost::Document* again = host().OpenDocument(leftover);
        reopened = again && docs_->CheckFileData(again->pdDoc(), leftover, Lookup());
        return true;
    });
    DrainIdle();
    EXPECT_FALSE(reopened);
    EXPECT_EQ(docs_->GetCount(), 1);
    EXPECT_TRUE(Exists(leftover));
}

TEST_F(TempWorkspaceTest, ARecordWithoutServerFailsTheLookup) {
    std::wstring file = files_ / L"1234_2.pdf";
    ASSERT_TRUE(VxWriteFile(file, "x"));
    ASSERT_TRUE(VxWriteFile(RecordFileOf(file), Record(1234, 2, L"1234_2.pdf", L"DOCS", L"")));
    EXPECT_FALSE(docs_->CheckFileData(nullptr, file, Lookup()));
    EXPECT_EQ(docs_->GetCount(), 0);
}

TEST_F(TempWorkspaceTest, DeletionWaitsForTheNextIdleCallOrTheEndOfTheSession) {
    CheckedOut copy = CheckOut(2, false);
    std::wstring folder = copy.file.substr(0, copy.file.rfind(L'\\'));
    docs_->DeleteDocFromTmp(copy.record);
    EXPECT_FALSE(Exists(RecordFileOf(copy.file)));
    EXPECT_TRUE(Exists(copy.file));
    host().RunIdle();
    EXPECT_FALSE(Exists(copy.file));
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(host().IdleProcs().empty());

    // A session that ends before the host's next idle moment still takes its copy along, and gives
    // the host back the path it held for the deletion (the fixture's ledger check).
    bool released = false;
    ASSERT_EQ(tessera::UnlockDocument(store_.path(), L"SRV1", L"DOCS", number_, &released), S_OK);
    copy = CheckOut(2, false);
    folder = copy.file.substr(0, copy.file.rfind(L'\\'));
    docs_->DeleteDocFromTmp(copy.record);
    docs_.reset();
    EXPECT_FALSE(Exists(copy.file));
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(host().IdleProcs().empty());
    docs_ = std::make_unique<CDocumentManager>();
}

TEST_F(TempWorkspaceTest, ADeskClientCopyLosesItsPrfFileButNotItsFolder) {
    std::wstring file = files_ / L"Lease.pdf";
    ASSERT_TRUE(VxWriteFile(file, "x"));
    ASSERT_TRUE(VxWriteFile(files_ / L"TSFile.dat", "keep"));
    ASSERT_TRUE(VxWriteFile(files_ / L"Lease.PRF",
                            "[x]\r\nFILE=" + vxhost::ToUtf8(file) + "\r\nDOCID=1\r\nDESCRIPTION=Lease\r\n"));
    TrackedDocument* record = docs_->AddDocument(nullptr, Dms(number_, 2), file, true);
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->fromDeskClient);
    EXPECT_EQ(record->deskClientName, L"Lease.pdf");
    EXPECT_EQ(VxReadFile(files_ / L"TSFile.dat"), "keep");

    Life().RemoveDocument(file);
    DrainIdle();
    EXPECT_EQ(docs_->GetCount(), 0);
    EXPECT_FALSE(Exists(files_ / L"Lease.PRF"));
    EXPECT_FALSE(Exists(file));
    EXPECT_TRUE(Exists(files_ / L"TSFile.dat"));
}

TEST_F(TempWorkspaceTest, FolderTreesBeyondTheShellLimitAreDeleted) {
    std::wstring top = Root() + L"\\VRL7";
    std::wstring deep = L"\\\\?\\" + top;
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    while (deep.size() < 300) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    ASSERT_TRUE(VxWriteFile(deep + L"\\file.pdf", "x"));
    std::wstring longFolder = deep.substr(4);
    ASSERT_GT(longFolder.size(), 261u);
    // Nothing outside the folder may go: a long path once made the shell empty the current folder.
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring bystander = std::wstring(current) + L"\\0-bystander-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    ASSERT_TRUE(VxWriteFile(bystander, "x"));
    DeleteFolderTree(longFolder);
    EXPECT_TRUE(Exists(bystander));
    EXPECT_FALSE(Exists(deep));
    DeleteFolderTree(top);
    EXPECT_FALSE(Exists(top));
    EXPECT_TRUE(Exists(bystander));
    DeleteFileW(bystander.c_str());
}

TEST_F(TempWorkspaceTest, ClearingKeepsOpenDocumentsAndCopiesStillOwedToTheDms) {
    CheckedOut open = CheckOut(2, true);
    std::wstring owed = Root() + L"\\VRL50";
    ASSERT_TRUE(CreateDirectoryW(owed.c_str(), nullptr));
    ASSERT_TRUE(VxWriteFile(owed + L"\\1234_1.pdf", "edit"));
    ASSERT_TRUE(VxWriteFile(owed + L"\\TSFile.dat", Record(1234, 1, L"1234_1.pdf", L"DOCS", L"SRV1")));
    std::wstring junk = Root() + L"\\VRL51";
    ASSERT_TRUE(CreateDirectoryW(junk.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((junk + L"\\inner").c_str(), nullptr));
    ASSERT_TRUE(VxWriteFile(junk + L"\\inner\\a.pdf", "x"));
    ASSERT_TRUE(VxWriteFile(Root() + L"\\loose.txt", "x"));

    docs_->ClearTempFolders();
    EXPECT_FALSE(Exists(junk));
    EXPECT_TRUE(Exists(open.file));
    EXPECT_TRUE(Exists(owed + L"\\1234_1.pdf"));
    EXPECT_TRUE(Exists(Root() + L"\\loose.txt"));
}

TEST_F(TempWorkspaceTest, NoFolderOfAnotherRunningHostIsRecoveredOrClearedUntilThatHostLetsGo) {
    CheckedOut held = CheckOut(2, false);
    ASSERT_TRUE(VxWriteFile(held.file, "being edited elsewhere"));
    // The host's other folders: a copy whose record it let go of while it still has the copy (its
    // own check-in, kept checked out), a copy whose deletion waits for its next idle moment, a
    // check-in's private copy, and a folder it has just made.
    std::wstring kept;
    CFolderClaim keptClaim, fresh;
    ASSERT_TRUE(ClaimTempFolder(&kept, &keptClaim));
    docs_->KeepClaim(std::move(keptClaim));
    ASSERT_TRUE(VxWriteFile(kept + L"1234_1.pdf", "kept checked out"));
    ASSERT_TRUE(VxWriteFile(kept + L"TSFile.dat", Record(1234, 1, L"1234_1.pdf", L"DOCS", L"SRV1")));
    std::wstring waiting = docs_->AcquireTempPath(L"1234_2.pdf");
    ASSERT_TRUE(VxWriteFile(waiting, "closed"));
    docs_->DeleteDocFromTmp(docs_->AddDocument(nullptr, nullptr, waiting, false));
    CClaimedTempFolder checkin;
    ASSERT_TRUE(checkin.Claim());
    ASSERT_TRUE(VxWriteFile(checkin.Path() + L"\\1234_2.pdf", "being sent"));
    std::wstring made;
    ASSERT_TRUE(ClaimTempFolder(&made, &fresh));
    std::wstring before = LockedBy();
    CDocumentManager secondHost;
    CDocumentLifecycle second(*manager_, secondHost);

    second.RecoverTempDocuments();
    secondHost.ClearTempFolders();
    EXPECT_EQ(Versions().size(), 2u);
    EXPECT_EQ(LockedBy(), before);
    for (const std::wstring& file : {held.file, RecordFileOf(held.file), kept + L"1234_1.pdf", kept + L"TSFile.dat",
                                     waiting, checkin.Path() + L"\\1234_2.pdf", made})
        EXPECT_TRUE(Exists(file)) << file;
    // The other host's own idle moment comes: its deletion runs, under its claim.
    DrainIdle();
    EXPECT_FALSE(Exists(waiting));
    DeleteFileW((kept + L"TSFile.dat").c_str());

    // The holder goes without closing the document (as a killed host does): the copy is owed now,
    // and checked in by the next recovery.
    docs_->MarkSaved(held.record);
    docs_.reset();
    second.RecoverTempDocuments();
    DrainIdle();
    ASSERT_EQ(Versions().size(), 3u);
    EXPECT_EQ(VxReadFile(Versions().back().contentPath), "being edited elsewhere");
    EXPECT_EQ(LockedBy(), L"");
    EXPECT_FALSE(Exists(held.file));
    EXPECT_FALSE(Exists(RecordFileOf(held.file)));
    EXPECT_EQ(secondHost.GetCount(), 0);
    docs_ = std::make_unique<CDocumentManager>();
}

// Every copy that holds an edit the DMS lacks and that this host does not track is listed with what
// its mark says (an earlier build's empty mark counts); a folder another living host claims is
// listed as open elsewhere, and nothing is done with it.
TEST_F(TempWorkspaceTest, KeptCopiesAreListedWithWhyTheyAreKept) {
    CheckedOut refused = CheckOut(2);
    EditAndSave(refused);
    Fault(L"CheckIn");
    Close(refused);
    DrainIdle();
    auto leftover = [&](long number, bool owed) {
        std::wstring folder = VxFormat(L"%s\\VRL%d", Root().c_str(), static_cast<int>(number));
        std::wstring name = FormatTempFileName(number, 1, L"pdf"), copy = folder + L"\\" + name;
        EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        EXPECT_TRUE(VxWriteFile(copy, "edited before"));
        EXPECT_TRUE(VxWriteFile(folder + L"\\TSFile.dat", Record(number, 1, name, L"DOCS", L"SRV1")));
        EXPECT_TRUE(!owed || VxWriteFile(OwedMarkOf(copy), ""));
        return copy;
    };
    const std::wstring old = leftover(1300, true), elsewhere = leftover(1301, true), unmarked = leftover(1302, false);
    const std::wstring tracked = leftover(1303, true);
    docs_->AddDocument(nullptr, nullptr, tracked, false);
    CFolderClaim otherHost;
    ASSERT_TRUE(otherHost.Take(elsewhere.substr(0, elsewhere.rfind(L'\\'))));

    CKeptCopies kept(*docs_);
    kept.Collect();
    const std::vector<KeptCopy>& entries = kept.Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].copy, refused.file);
    EXPECT_EQ(std::make_tuple(entries[0].record.number, entries[0].record.version), std::make_tuple(1234, 2));
    EXPECT_EQ(entries[0].name, L"Lease.pdf");
    EXPECT_EQ(entries[0].reason, RefusalMessage(S_FALSE));
    EXPECT_EQ(std::make_tuple(entries[1].copy, entries[1].name, entries[1].reason, entries[1].openElsewhere),
              std::make_tuple(old, std::wstring(L"1300_1.pdf"), std::wstring(), false));
    EXPECT_EQ(std::make_tuple(entries[2].copy, entries[2].openElsewhere), std::make_tuple(elsewhere, true));

    kept.Delete(elsewhere);
    EXPECT_TRUE(Exists(elsewhere));
    kept.NoteRefusal(old, L"Refused again.");
    EXPECT_EQ(std::make_tuple(ReadOwedNote(old).name, ReadOwedNote(old).reason),
              std::make_tuple(std::wstring(L"1300_1.pdf"), std::wstring(L"Refused again.")));
    // This session's kept copy goes under the claim the registry held, the other under the list's.
    kept.Delete(refused.file);
    EXPECT_FALSE(Exists(refused.file.substr(0, refused.file.rfind(L'\\'))));
    kept.HandOver(old);
    EXPECT_TRUE(docs_->HoldsClaim(old.substr(0, old.rfind(L'\\'))));
    EXPECT_EQ(kept.Entries().size(), 1u);
    EXPECT_TRUE(Exists(old) && Exists(unmarked) && Exists(RecordFileOf(old)));
}

// Names read from a record file are trusted only as one plain file name inside their own folder.
TEST_F(TempWorkspaceTest, ARecordNamingAnythingButAFileOfItsFolderIsSkipped) {
    const struct {
        const wchar_t* name;
        bool plain;
    } names[] = {{L"1234_2.pdf", true}, {L"a b.pdf", true},      {L"..", false},         {L".", false},
                 {L"..\\x.pdf", false}, {L"sub/x.pdf", false},  {L"C:x.pdf", false},    {L"x.pdf:stream", false},
                 {L"NUL", false},       {L"com1.pdf", false},   {L"CON .txt", false},   {L"x.pdf.", false},
                 {L"", false},          {L"COM10.pdf", true},   {L"x\x01.pdf", false},
                 {L"LPT\u00B9.pdf", false}, {L"COM\u00B3", false}};
    for (const auto& n : names) EXPECT_EQ(IsPlainFileName(n.name), n.plain) << vxhost::ToUtf8(n.name);

    // A planted record pointing out of its folder: the file it names is neither sent nor deleted.
    std::wstring victim = Root() + L"\\victim.pdf";
    ASSERT_TRUE(VxWriteFile(victim, "not the plug-in's"));
    std::wstring folder = Root() + L"\\VRL60";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(VxWriteFile(folder + L"\\TSFile.dat", Record(1234, 2, L"..\\victim.pdf", L"DOCS", L"SRV1")));
    ASSERT_EQ(tessera::UnlockDocument(store_.path(), L"SRV1", L"DOCS", number_, nullptr), S_OK);
    Life().RecoverTempDocuments();
    DrainIdle();
    EXPECT_EQ(VxReadFile(victim), "not the plug-in's");
    EXPECT_EQ(Versions().size(), 2u);
    docs_->ClearTempFolders();
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(Exists(victim));
}

}  // namespace
