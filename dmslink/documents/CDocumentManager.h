// CDocumentManager.h - the registry of every document dmslink opened from the DMS or recognised as a
// DMS document: the state of each tracked copy, and the answers to what opening, saving, closing and
// releasing it must do. The registry itself calls no DMS operation and reaches no module-wide object:
// the lifecycle layer (module/CDocumentLifecycle) carries out the check-ins and unlocks it asks for,
// and hands in the DMS lookups it needs. It owns the deletions of copies still waiting for the host's
// next idle moment, and carries them out when it goes.
//
// Paths are wide texts here; host paths are turned into text where they enter the plug-in.
// Main thread only; no lock of its own.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "CAPArray.h"
#include "Utilities/CAPHandles.h"
#include "VarnelSDK.h"
#include "dms/DmsDocument.h"
#include "documents/CDeferredDeletions.h"
#include "documents/CFolderClaim.h"
#include "documents/FileDataRecord.h"

struct TrackedDocument {
    PDDoc pdDoc = nullptr;         // the open host document; null once detached. Not owned.
    DmsDocumentPtr dmsDocument;    // owned reference to the DMS document
    std::wstring pathName;         // the local file
    bool retained = false;         // release/removal keeps the DMS lock and the local copy
    bool saved = false;            // closing checks the document in
    // The copy holds a saved edit that the DMS has not received (its owed mark is on disk): its copy,
    // record file and lock stay until a check-in of it succeeds.
    bool owed = false;
    bool fromDeskClient = false;   // a DeskClient PRF file lies beside the file; the folder is the client's
    std::wstring deskClientName;   // the PRF's DESCRIPTION with ".pdf" appended, else empty
    // The "\TSFile.dat" beside the copy, held open while the record lives, so that the start-up
    // recovery of another host running at the same time leaves this copy alone.
    CAPHandle recordClaim;
    // The registry's number for the record, never given twice in a session: an operation that has
    // waited in a dialog or an alert finds its record again by it, and never uses one that has gone.
    unsigned id = 0;
};

// What closing a tracked document must do first.
enum class CloseStep {
    Keep,     // the local copy cannot be read (it may be the user's only edit): nothing changes
    CheckIn,  // a saved document: check it in, then release it with the check-in's result
    Release,  // release it, unlocking and deleting
};

// How a release ends; the registry has made every change of its own state but the removal.
enum class ReleaseStep {
    Detached,         // a retained record stays, without its host document
    Removed,          // RemoveDoc; the DMS lock, the copy and its record file stay
    UnlockAndDelete,  // UnlockDocument, DeleteDocFromTmp, then RemoveDoc
};

// "Lease agreement.pdf" for the user: the DMS's description and extension (as the document object
// holds them, no call to the server), else the copy's file name.
std::wstring DisplayNameOf(const TrackedDocument& record);

// A DMS document by server, database, number and version; null when there is none to be had.
using DocumentLookup = std::function<DmsDocumentPtr(const std::wstring& server, const std::wstring& database,
                                                    long number, long version)>;
// Checks a left-over copy in; true when the DMS has it.
using RecoveryCheckin = std::function<bool(const std::wstring& copy, const FileDataRecord& record)>;

class CDocumentManager : public CAPArray {
public:
    CDocumentManager() = default;
    // Deletes the local copy of every record that holds nothing the DMS lacks and frees the records;
    // neither checks in nor unlocks. A saved or owed copy stays with its record file for the
    // recovery at the next start. Then every deletion still waiting is carried out.
    ~CDocumentManager() override;
    CDocumentManager(const CDocumentManager&) = delete;
    CDocumentManager& operator=(const CDocumentManager&) = delete;

    // ---- records (searches run from the newest record to the oldest)
    // With a claim on a record file already written (the check-out's), that claim is kept and the
    // file is not written again. All or nothing: null leaves the registry as it was, and what it
    // was handed (the DMS reference, the claim) is released.
    TrackedDocument* AddDocument(PDDoc pdDoc, DmsDocumentPtr document, const std::wstring& path, bool createFileData,
                                 CAPHandle recordClaim = CAPHandle());
    TrackedDocument* FindPDDoc(PDDoc pdDoc);
    TrackedDocument* FindASPathName(const std::wstring& path);
    bool IsPathEqual(const std::wstring& a, const std::wstring& b);
    TrackedDocument* GetDocumentAt(int index) const { return static_cast<TrackedDocument*>(GetAt(index)); }
    // The record's index, or -1 when it is not (or no longer) in the registry.
    int IndexOf(const TrackedDocument* record) const;
    // The record of that id while it is in the registry; null once it has gone.
    TrackedDocument* FindRecord(unsigned id) const;
    int RemoveDoc(int index);
    int RemoveDoc(TrackedDocument* record);

    // ---- what a close, a release and a removal must do
    // The first step of closing; `status` receives the copy's file status for the trace lines that
    // end the close. A skipped close consumes its mark here.
    CloseStep DecideClose(TrackedDocument* record, BY_HANDLE_FILE_INFORMATION* status);
    // The release rules; an owed copy is never unlocked or deleted.
    ReleaseStep DecideRelease(TrackedDocument* record, bool unlockAndDelete);
    // RemoveDocument and RemoveUnusedDocuments: a retained record loses its mark and goes; an owed
    // one goes with its copy, record file and lock kept; any other is unlocked and deleted.
    ReleaseStep DecideRemoval(TrackedDocument* record);
    // The ids of the records a removal works on, in registry order.
    std::vector<unsigned> RecordsAtPath(const std::wstring& path);
    std::vector<unsigned> DetachedRecords();  // null host document
    // A save reached the copy: closing checks it in, and until a check-in of it succeeds the copy is owed.
    void MarkSaved(TrackedDocument* record);
    // A check-in of the record's copy succeeded: the DMS has what the copy holds.
    void MarkReceived(TrackedDocument* record);

    // ---- marks and saved paths (an empty path clears a slot)
    void RetainDocument(const std::wstring& path);
    void SetSkipClosePDDoc(PDDoc pdDoc) { skipClosePDDoc_ = pdDoc; }
    void SkipDocumentClose(const std::wstring& path) { skipClosePath_ = path; }
    void SkipDocumentSave(const std::wstring& path) { skipSavePath_ = path; }
    void SetLastSaveAsPath(const std::wstring& path) { lastSaveAsPath_ = path; }
    int ReleaseLastSaveAsPath();
    int ReleaseSkipSavePath();
    int ReleaseSkipClosePath();
    bool IsLastSaveAsPath(const std::wstring& path) { return IsPathEqual(path, lastSaveAsPath_); }
    // True once for a path set by SkipDocumentSave, which it then clears.
    bool CheckSkipSavePath(const std::wstring& path);
    // Removing the pending record by any path clears the slot.
    void SetPendingDocument(TrackedDocument* record) { pendingDocument_ = record; }
    TrackedDocument* TakePendingDocument();
    // "ID:%d v:%d %s.%s"; empty when the path has no record with a DMS document.
    std::wstring GetDocumentTitle(const std::wstring& path);

    // ---- temporary workspace
    // The claim of every folder this host made or took is kept here until the folder is gone
    // (deleted by this host, a deferred deletion included once it has run) or the plug-in unloads.
    void KeepClaim(CFolderClaim claim);
    bool HoldsClaim(const std::wstring& folder) const;
    // The folder's claim, kept: true when it is held already or could be taken now.
    bool ClaimFolder(const std::wstring& folder);
    // The folder's claim, out of the registry's keeping (not held when it was not kept).
    CFolderClaim TakeBackClaim(const std::wstring& folder);
    // A fresh claimed folder and the name in it; the bare name when no folder is free.
    std::wstring AcquireTempPath(const std::wstring& fileName);
    std::wstring AcquireTempPathNameForPath(const std::wstring& source);
    int CreateFileData(TrackedDocument* record);
    bool GetFileDataDetails(const std::wstring& file, long* number, long* version, std::wstring* name,
                            std::wstring* database, std::wstring* server);
    // A reopened copy of the workspace, recognised by its record file: added, owed again when its
    // mark says so. False when it is tracked already or not recognised.
    bool CheckFileData(PDDoc pdDoc, const std::wstring& path, const DocumentLookup& lookup);
    // The record's copy with its companion file (record or PRF) and owed mark; the copy at the
    // host's next idle call.
    int DeleteDocFromTmp(TrackedDocument* record);
    // Copies left by an earlier run: each is handed to `checkin` and deleted when that succeeds.
    // Skips copies this or another running host tracks. A folder of the workspace that holds neither
    // a record file nor an owed mark, whose files no process holds open, goes with its files.
    void RecoverTempDocuments(const RecoveryCheckin& checkin);
    // Deletes the folders of the workspace that no living host claims, under their claim; keeps
    // this host's own and those of copies whose check-in is still owed.
    void ClearTempFolders();

    // ---- DeskClient PRF files
    std::wstring GetPRFFileName(const std::wstring& path);
    // Each output may be null (not requested).
    bool GetDeskClientDataDetails(const std::wstring& path, long* number, long* version, std::wstring* name,
                                  std::wstring* database, std::wstring* server);
    bool CheckDeskClientData(PDDoc pdDoc, const std::wstring& path, const DocumentLookup& lookup);

    // For tests and the exported table.
    const std::wstring& LastSaveAsPath() const { return lastSaveAsPath_; }
    const std::wstring& SkipSavePath() const { return skipSavePath_; }
    const std::wstring& SkipClosePath() const { return skipClosePath_; }
    PDDoc SkipClosePDDoc() const { return skipClosePDDoc_; }
    TrackedDocument* PendingDocument() const { return pendingDocument_; }

private:
    // A reopened copy's record, owed again when its mark says so.
    bool AddRecognised(PDDoc pdDoc, DmsDocumentPtr document, const std::wstring& path);
    // The record's claim, and that of every record of the same folder, so that the deletion is not
    // kept from the record file.
    void LetGoOfFolder(TrackedDocument* record);
    void DeleteCopyOf(TrackedDocument* record, bool deferred);
    bool IsOwedRecord(const TrackedDocument* record) const;
    // A claimed folder that ClearTempFolders must keep all the same: a copy not yet checked in.
    bool IsFolderInUse(const std::wstring& folder);
    // Folders of this host that hold nothing and that no record or Save As path names (a Save As
    // the host did not go through with, a folder emptied from outside) go with their claims.
    void DropUnusedClaims();
    std::vector<unsigned> Matching(const std::function<bool(const TrackedDocument&)>& matches);

    std::wstring lastSaveAsPath_;
    std::wstring skipSavePath_;
    PDDoc skipClosePDDoc_ = nullptr;
    std::wstring skipClosePath_;
    TrackedDocument* pendingDocument_ = nullptr;
    unsigned lastId_ = 0;
    std::vector<CFolderClaim> claims_;
    // After the claims: its deletions, each with its folder's claim, run before they go.
    CDeferredDeletions deletions_;
};
