// TempWorkspace.h - the plug-in's temporary workspace: a folder per checked-out copy below a private
// root, the "\TSFile.dat" record beside each copy, the mark of a copy that holds an edit the DMS has
// not received, and the deletion of copies and folders. Files and folders only: no registry, no host
// state (the deferred delete hands its path to the host's idle call, on the main thread).
#pragma once

#include <windows.h>

#include <TesseraDMS.h>

#include <string>
#include <vector>

#include "Files/CAPLongPaths.h"
#include "Utilities/CAPHandles.h"
#include "VarnelSDK.h"
#include "documents/CDeferredDeletions.h"
#include "documents/CFolderClaim.h"
#include "documents/FileDataRecord.h"

// "<system temp>\dmslink" (or the folder DMSLINK_TEMP_ROOT names), created when missing; empty when
// there is no system temporary folder.
std::wstring GetTempRootFolder();
// "<root>\VRL<n>\" for the first n in 0..99998 at which nothing exists; false (and empty) when none.
bool GetUniqueTempFolder(std::wstring* folder);
// A fresh "<root>\VRL<n>\" made for the caller together with its claim, so two hosts checking out at
// the same moment never share one and no host takes it for a leftover; false (and empty) when none
// can be made.
bool ClaimTempFolder(std::wstring* folder, CFolderClaim* claim);
std::wstring FormatTempFileName(long number, long version, const std::wstring& extension);  // "%d_%d.%s"
// "VRL" and a number: the name of a folder the workspace makes.
bool IsWorkspaceFolderName(const std::wstring& name);
// A "VRL<n>" folder right below the root: one that a claim covers. A copy elsewhere (a file the user
// had saved to the DMS in place) is deleted without one, and its folder stays.
bool IsWorkspaceFolder(const std::wstring& folder);
// A folder that no host claims - no record file, no owed mark, only plain files, none of them held
// open by any process - goes with its files, under its claim. False, with nothing deleted, for any
// other folder (an empty one included).
bool DeleteUnclaimedFolder(const std::wstring& folder);

// A fresh folder of the workspace for an operation's own files ("<root>\VRL<n>", no final
// backslash), deleted with everything in it when the object goes.
class CClaimedTempFolder {
public:
    CClaimedTempFolder() = default;
    ~CClaimedTempFolder();
    CClaimedTempFolder(const CClaimedTempFolder&) = delete;
    CClaimedTempFolder& operator=(const CClaimedTempFolder&) = delete;
    bool Claim();
    const std::wstring& Path() const { return claim_.Folder(); }

private:
    CFolderClaim claim_;
};

// ---- the record file
std::wstring RecordFileOf(const std::wstring& copy);  // the copy's folder and "\TSFile.dat"
// The record's fields as far as the file holds them; true when it is a usable record.
bool ReadFileData(const std::wstring& recordFile, FileDataRecord* record);
// Writes the record (replacing any) and answers the claim on it; an invalid claim when it could not
// be written.
CAPHandle WriteFileData(const std::wstring& recordFile, const FileDataRecord& record);
// The record of a DMS document as the check-out names its copy; raises _com_error like every DMS call.
FileDataRecord DescribeForRecord(ITesseraDocument* document);
// A record file held open with delete access that no one else may share: while one process holds
// it, no other can claim it (nor delete it), and readers still can. The system closes it when its
// process dies, which hands a crashed host's copy to the next start's recovery.
CAPHandle ClaimRecordFile(const std::wstring& recordFile);

// ---- the owed mark: "<copy>.owed" beside a copy holding a saved edit that the DMS has not received.
// Its copy, record file and lock stay until a check-in of the copy succeeds; the mark survives a
// reopen and a restart, and the record file stays byte for byte as it was.
//
// The mark also says what the user is shown about the copy: the document's name, and why the DMS
// has not received the edit (the message of the last refused check-in), as UTF-8 "key=value" lines.
// Only its presence counts: an empty mark (an earlier build's) marks the copy owed all the same.
struct OwedNote {
    std::wstring name;    // "Lease agreement.pdf"; empty when not known
    std::wstring reason;  // empty before any refusal
};
std::wstring OwedMarkOf(const std::wstring& copy);
// A mark made now names the document; one that is there already stays as it is.
void MarkOwed(const std::wstring& copy, const std::wstring& name = std::wstring());
bool IsOwed(const std::wstring& copy);
void ClearOwed(const std::wstring& copy);
OwedNote ReadOwedNote(const std::wstring& copy);
// The message of a refused check-in, beside the mark of an owed copy (a copy that is not owed gets
// no mark); the name stays as the mark had it when none is given.
void NoteRefusal(const std::wstring& copy, const std::wstring& name, const std::wstring& reason);

// ---- the sent mark: "<copy>.sent" beside a copy whose check-in the user stopped waiting for and the
// DMS took afterwards, with the size and time of the copy that went. While the copy is still exactly
// that, the DMS has what it holds.
struct FileStamp {
    unsigned long long size = 0;
    unsigned long long written = 0;  // last write time
    bool known = false;
};
FileStamp StampOf(const std::wstring& path);
void WriteSentMark(const std::wstring& copy, const FileStamp& sent);
// True when a sent mark shows the DMS has what the copy holds: the owed mark and the sent mark go.
// A sent mark for an older state of the copy goes, and the copy stays owed.
bool SettleSentMark(const std::wstring& copy);

// ---- copies
// A fresh private folder (created, its claim in *claim) and the name in it; the bare name when no
// folder is free.
std::wstring AcquireTempPath(const std::wstring& fileName, CFolderClaim* claim);
// Deletes the copy through the host (with `later`, at the host's next idle call, since the host may
// still hold it), its companion file (record or PRF) and owed mark at once. With the folder's claim
// the folder goes too once it is empty, the claim held until then (by the deferred deletion when
// there is one).
void DeleteLocalCopy(const std::wstring& copy, const std::wstring& companion, CFolderClaim folder,
                     CDeferredDeletions* later);

// ---- file status lines
// The file opened for reading with all sharing allowed; invalid when it cannot be.
CAPHandle OpenForStatus(const std::wstring& path);
bool ReadFileStatus(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);  // false when it cannot be read
void TraceFileStatus(const BY_HANDLE_FILE_INFORMATION& info);          // its four trace lines
