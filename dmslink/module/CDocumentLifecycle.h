// CDocumentLifecycle.h - one document's way from the host's notifications to the DMS and back, in one
// place. The registry (CDocumentManager) holds the state of each tracked copy and answers what an
// open, a save, a close or a release must do; this layer carries that out with the DMS operations
// (check-out, check-in, unlock, import) of TSManager.
//
// The rule users rely on: a copy that holds an edit the DMS has not received keeps its file, its
// record file and its lock until a check-in of that copy succeeds - reopened, closed unsaved,
// unloaded with it open, refused, failing, or found again at start-up.
//
// Paths are wide texts; the entries and handlers turn host paths into text where they come in.
// Main thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "VarnelSDK.h"
#include "dms/TSManager.h"
#include "documents/CDocumentManager.h"

// The message of a check-in's outcome (CheckinDocument's), as the user is told why a copy is kept.
std::wstring RefusalMessage(HRESULT outcome);
// An alert from the module's string table.
void TellUser(const std::wstring& message);

class CDocumentLifecycle {
public:
    CDocumentLifecycle(TSManager& manager, CDocumentManager& documents) : manager_(manager), documents_(documents) {}

    // ---- open
    // Open from the DMS (kTesseraOpenDialog): every copy is registered as the worker hands it over.
    bool OpenDocuments(HWND parent, const wchar_t* filter, ASPathName** items, ASUns16* count, bool keepCheckedOut);
    // The host opened a document: a reopened workspace copy or a DeskClient document is tracked, a
    // tracked path gets its host document.
    void DocumentOpened(PDDoc doc, const std::wstring& path);

    // ---- save
    // The host saved a document (after the save notification's own checks).
    void DocumentSaved(PDDoc doc, const std::wstring& path);
    // kTesseraDocumentWasSaved: marks a tracked document saved, or saves an untracked one to the DMS:
    // `file`, the document's file as the host had it when Save went to the DMS (empty otherwise).
    void DocumentWasSaved(PDDoc doc, const std::wstring& file = std::wstring());
    // Save to the DMS as a new document; the path the host is to save to, or empty.
    std::wstring SaveDocumentAs(const std::wstring& path, bool rename);

    // ---- close, release, removal
    void DocumentWasClosed(TrackedDocument* record);
    void DocumentWasClosed(PDDoc doc) { DocumentWasClosed(documents_.FindPDDoc(doc)); }
    void DocumentWasClosedAtPath(const std::wstring& path) { DocumentWasClosed(documents_.FindASPathName(path)); }
    void ReleaseDocument(TrackedDocument* record, bool unlockAndDelete);
    void ReleasePendingDocument();
    void RemoveDocument(const std::wstring& path);
    void RemoveUnusedDocuments();

    // ---- the host's own check-ins (kTesseraCheckinDocument, kTesseraSaveDocumentOnServer)
    bool CheckinDocument(const std::wstring& path, bool keepCheckedOut);
    bool SaveDocumentOnServer(const std::wstring& path, bool keepCheckedOut, bool releaseRecord);

    // ---- start-up: copies left by an earlier run go to the DMS
    void RecoverTempDocuments();

private:
    // Every operation below waits in message loops (the progress dialog, the DMS's own dialogs, the
    // host's alerts) through which the host may call the plug-in again; after each, a record is found
    // again by its id and never used once it has gone.

    // The record's copy to the DMS; on success the registry knows the DMS has it, otherwise the owed
    // copy's mark keeps why not.
    bool CheckIn(TrackedDocument* record, std::wstring path, bool keepCheckedOut);
    // Once per refused check-in: the copy is kept for a later try.
    void TellCheckinKept(unsigned id);
    // The release after the host's own check-in of `path`, of the record as far as it is still there.
    void ReleaseCheckedIn(unsigned id, const std::wstring& path, bool keepCheckedOut, bool received);
    void RemoveEach(const std::vector<unsigned>& ids);
    // Step 8 of Save to the DMS: the document the file came from is checked in or unlocked.
    void ReleaseSource(TrackedDocument* source);
    void CarryOut(TrackedDocument* record, ReleaseStep step);
    DocumentLookup Lookup();

    TSManager& manager_;
    CDocumentManager& documents_;
};
