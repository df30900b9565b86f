// TSOperations.h - the DMS document operations: open (with the check-out worker), save as a new DMS
// document (import), check-in (with the check-in worker) and unlock. They are TSManager operations:
// they use its DMS object, parent window and server list, and run on the host's main thread; only
// the check-out and check-in calls themselves run on worker threads behind the progress dialog.
#pragma once

#include <windows.h>

#include <string>

#include "VarnelSDK.h"
#include "dms/TSManager.h"

class CDocumentManager;
class CProgressDlg;

// Open from the DMS: the browse dialog, then a check-out of every chosen document. On true, *items
// is a list from the host's allocator with *count local copies, owned by the caller.
bool OpenDocuments(TSManager& manager, CDocumentManager& documents, HWND parent, const wchar_t* filter,
                   ASPathName** items, ASUns16* count, bool keepCheckedOut);

// Save to the DMS as a new document; the new host path (owned by the caller) or null.
ASPathName SaveDocumentAs(TSManager& manager, CDocumentManager& documents, ASPathName path, bool rename);

// Checks the local file in as `document` (the reference is the operation's, released before return).
bool CheckinDocument(TSManager& manager, CDocumentManager& documents, ASPathName path, DmsDocumentPtr document,
                     bool keepCheckedOut);
bool CheckinDeskClientDocument(TSManager& manager, CDocumentManager& documents, const wchar_t* path, long number,
                               long version, const std::wstring& database, const std::wstring& server,
                               bool keepCheckedOut);
// True when the DMS reported the lock released; the reference is released before return.
bool UnlockDocument(TSManager& manager, DmsDocumentPtr document);

// The gate every operation passes first: some configured server is connected, asking the host's
// query (IsAnyServerConnected) when none is marked. `askHost` false skips that question.
bool HasConnectedServer(TSManager& manager, bool askHost = true);

// ---- workers (exposed for tests)
struct CheckoutThreadParams {
    SAFEARRAY* selection = nullptr;      // borrowed "SelectedTesseraObjects"
    ASPathName* items = nullptr;         // borrowed output list
    ASUns16* count = nullptr;
    CProgressDlg* dialog = nullptr;
    bool keepCheckedOut = false;
    CDocumentManager* documents = nullptr;
};
DWORD WINAPI CheckoutThreadProc(LPVOID params);

struct CheckinThreadParams {
    ITesseraDocumentPtr document;        // released by CheckinDocument after the worker ended
    const wchar_t* path = nullptr;       // borrowed full path of the private copy
    CProgressDlg* dialog = nullptr;
    bool keepCheckedOut = false;
};
DWORD WINAPI CheckinThreadProc(LPVOID params);

// Size texts of the two workers: "1 KB" up to 1024 bytes, else the size in KB rounded down.
std::wstring CheckoutSizeText(long bytes);
std::wstring CheckinSizeText(unsigned long long bytes);
