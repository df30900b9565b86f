// CDocumentManager.h - the registry of every document dmslink opened from the DMS or recognised as
// a DMS document, with its temporary workspace (per-document folders and "\TSFile.dat" records) and
// the DeskClient PRF files.
//
// Main thread only, except AddDocument (and so CreateFileData), which the check-out worker calls while
// the main thread sits in the progress dialog's modal loop. No lock of its own.
#pragma once

#include <string>

#include "CAPArray.h"
#include "Utilities/CAPHandles.h"
#include "VarnelSDK.h"
#include "dms/TSManager.h"

struct TrackedDocument {
    PDDoc pdDoc = nullptr;         // the open host document; null once detached. Not owned.
    DmsDocumentPtr dmsDocument;    // owned reference to the DMS document
    ASPathName pathName = nullptr; // owned copy (default file system) of the local file's path
    bool retained = false;         // release/removal keeps the DMS lock and the local copy
    bool saved = false;            // closing checks the document in
    bool fromDeskClient = false;   // a DeskClient PRF file lies beside the file; the folder is the client's
    std::wstring deskClientName;   // the PRF's DESCRIPTION with ".pdf" appended, else empty
    // The "\TSFile.dat" beside the copy, held open while the record lives, so that the start-up
    // recovery of another host running at the same time leaves this copy alone.
    CAPHandle recordClaim;
};

class CDocumentManager : public CAPArray {
public:
    CDocumentManager() = default;
    // Deletes the local copy of every record that was not saved and frees the records; neither checks
    // in nor unlocks. A saved copy stays with its record file for the recovery at the next start.
    ~CDocumentManager() override;
    CDocumentManager(const CDocumentManager&) = delete;
    CDocumentManager& operator=(const CDocumentManager&) = delete;

    // ---- records (searches run from the newest record to the oldest)
    TrackedDocument* AddDocument(PDDoc pdDoc, DmsDocumentPtr document, ASPathName path, bool createFileData);
    TrackedDocument* FindPDDoc(PDDoc pdDoc);
    TrackedDocument* FindASPathName(ASPathName path);
    bool IsPathEqual(ASPathName a, ASPathName b);
    TrackedDocument* GetDocumentAt(int index) const { return static_cast<TrackedDocument*>(GetAt(index)); }

    // Host paths and documents are both opaque pointers, so the three forms carry their kind in the name.
    void DocumentWasClosed(TrackedDocument* record);
    void DocumentWasClosedAtPath(ASPathName path);  // DocumentWasClosed(FindASPathName(path))
    void DocumentWasClosedForDoc(PDDoc pdDoc);      // DocumentWasClosed(FindPDDoc(pdDoc))
    // A record no longer in the registry is left alone.
    int ReleaseDocument(TrackedDocument* record, bool unlockAndDelete);
    int RemoveDoc(int index);
    int RemoveDoc(TrackedDocument* record);
    void RemoveDocument(ASPathName path);
    void RemoveUnusedDocuments();

    // ---- marks and saved paths
    void RetainDocument(ASPathName path);
    void DocumentWasSaved(PDDoc pdDoc);
    void SetSkipClosePDDoc(PDDoc pdDoc);
    void SkipDocumentClose(ASPathName path);
    void SkipDocumentSave(ASPathName path);
    void SetLastSaveAsPath(ASPathName path);
    int ReleaseLastSaveAsPath();
    int ReleaseSkipSavePath();
    int ReleaseSkipClosePath();
    bool IsLastSaveAsPath(ASPathName path);
    bool CheckSkipSavePath(ASPathName path);
    // Removing the pending record by any path clears the slot.
    void SetPendingDocument(TrackedDocument* record) { pendingDocument_ = record; }
    int ReleasePendingDocument();
    // "ID:%d v:%d %s.%s" as a new host text owned by the caller, or null.
    ASText GetDocumentTitle(ASPathName path);

    // ---- temporary workspace
    ASPathName AcquireTempPathNameForPath(ASPathName source);
    ASPathName AcquireTempPathNameForDoc(PDDoc pdDoc);
    int CreateFileData(TrackedDocument* record);
    bool GetFileDataDetails(const std::wstring& file, long* number, long* version, std::wstring* name,
                            std::wstring* database, std::wstring* server);
    bool CheckFileData(PDDoc pdDoc, ASPathName path);
    // Ownership of `path` passes to the deferred delete (it is released here when it cannot be).
    int DeleteDocFromTmp(ASPathName path, TrackedDocument* record);
    // Skips copies that the registry tracks again.
    void RecoverTempDocuments();
    // Keeps the folders of tracked documents and of copies whose check-in is still owed.
    void ClearTempFolders();

    // ---- DeskClient PRF files
    std::wstring GetPRFFileName(ASPathName path);
    // Each output may be null (not requested).
    bool GetDeskClientDataDetails(ASPathName path, long* number, long* version, std::wstring* name,
                                  std::wstring* database, std::wstring* server);
    bool CheckDeskClientData(PDDoc pdDoc, ASPathName path);

    // The record's index, or -1 when it is not (or no longer) in the registry.
    int IndexOf(const TrackedDocument* record) const;

    // For tests and the exported table.
    ASPathName LastSaveAsPath() const { return lastSaveAsPath_; }
    ASPathName SkipSavePath() const { return skipSavePath_; }
    ASPathName SkipClosePath() const { return skipClosePath_; }
    PDDoc SkipClosePDDoc() const { return skipClosePDDoc_; }
    TrackedDocument* PendingDocument() const { return pendingDocument_; }

private:
    // DeleteDocFromTmp's work; `deferred` false deletes the file at once (at unload no idle call
    // follows, and the module's code may be gone before one would).
    void DeleteLocalCopy(ASPathName path, TrackedDocument* record, bool deferred);
    // Folders that ClearTempFolders must keep: a tracked document's, or a copy not yet checked in.
    bool IsFolderInUse(const std::wstring& folder);
    // RemoveDocument and RemoveUnusedDocuments: the records for which `matches` holds.
    template <class Matches>
    void RemoveMatching(Matches matches);

    ASPathName lastSaveAsPath_ = nullptr;
    ASPathName skipSavePath_ = nullptr;
    PDDoc skipClosePDDoc_ = nullptr;
    ASPathName skipClosePath_ = nullptr;
    TrackedDocument* pendingDocument_ = nullptr;
};

// ---- free functions of the workspace
std::wstring GetTempRootFolder();                  // "<system temp>\dmslink", created when missing
bool GetUniqueTempFolder(std::wstring* folder);    // "<root>\VRL<n>\" for the first free n in 0..99998
std::wstring FormatTempFileName(long number, long version, const std::wstring& extension);  // "%d_%d.%s"
void DeleteFolderTree(const std::wstring& folder);
void VXAPI DeferredFileDelete(void* path);         // idle procedure; client data is an owned ASPathName

// The module's one registry and DMS manager (start-up creates them, unload destroys them).
extern CDocumentManager* gDocumentManager;
extern TSManager* gTSManager;
