// TSOperations.h - the DMS document operations: check-out behind the DMS's browse dialog, check-in,
// unlock and the import command. They are TSManager operations: they use its DMS object, parent
// window and server list, and run on the host's main thread; only the DMS check-out and check-in
// calls themselves run on worker threads behind the progress dialog. They keep no record of
// documents: what is checked out is handed to a CheckoutSink, and the lifecycle layer decides what
// a check-in or an unlock means for a tracked copy.
#pragma once

#include <windows.h>

#include <TesseraDMS.h>

#include <string>
#include <vector>

#include "Utilities/CAPHandles.h"
#include "VarnelSDK.h"
#include "dms/DmsDocument.h"
#include "dms/TSManager.h"
#include "documents/CFolderClaim.h"

class CProgressDlg;
class CProgressLink;

// The gate every operation passes first: some configured server is connected, waiting for the
// automatic logins still running, then asking the host's query (IsAnyServerConnected) when none is
// marked. `askHost` false skips that question.
bool HasConnectedServer(TSManager& manager, bool askHost = true);

// ---- check-out

// A copy the check-out worker made, handed to the main thread before the next one is started.
struct CheckedOutDocument {
    DmsDocumentPtr document;
    std::wstring path;      // the local copy
    CAPHandle recordClaim;  // its record file, written before the copy (kept checked out only)
    CFolderClaim folderClaim;  // its folder's, from the folder's creation on
};

// Where Open from the DMS registers each copy: on the main thread, once per copy, in the order of
// the selection. False when it cannot be registered; the worker then gives the document back.
class CheckoutSink {
public:
    virtual ~CheckoutSink() = default;
    virtual bool Register(CheckedOutDocument& copy) = 0;
    // The user stopped waiting for the check-out: a copy registered before is forgotten again, its
    // file, record file and lock kept for the next start, which checks it in as any leftover.
    virtual void Forget(const std::wstring& path) = 0;
};

// Open from the DMS: the browse dialog, then a check-out of every chosen document. On true, *items
// is a list from the host's allocator with *count local copies, owned by the caller.
bool OpenDocuments(TSManager& manager, CheckoutSink& sink, HWND parent, const wchar_t* filter, ASPathName** items,
                   ASUns16* count, bool keepCheckedOut);

// The main thread's side of the hand-over: each copy gets its host path, is registered, and its
// path goes to the end of the list.
class CCheckoutHandover {
public:
    explicit CCheckoutHandover(CheckoutSink& sink) : sink_(sink) {}
    CCheckoutHandover(CheckoutSink& sink, ASPathName* items, unsigned capacity) : sink_(sink) { Into(items, capacity); }
    // The list the paths go to, from its first entry.
    void Into(ASPathName* items, unsigned capacity) {
        items_ = items;
        capacity_ = capacity;
        count_ = 0;
        paths_.clear();
    }
    // Routes the dialog's WM_CHECKEDOUTDOCUMENT here.
    void Attach(CProgressDlg& dialog);
    // 1 when the copy was registered and listed.
    LRESULT Take(CheckedOutDocument* copy);
    ASUns16 Count() const { return count_; }
    // Every copy taken so far is forgotten (the sink) and its path released.
    void Forget();

private:
    CheckoutSink& sink_;
    ASPathName* items_ = nullptr;
    std::vector<std::wstring> paths_;  // as the items, in text
    unsigned capacity_ = 0;
    ASUns16 count_ = 0;
};

struct CheckoutThreadParams {
    SAFEARRAY* selection = nullptr;          // borrowed "SelectedTesseraObjects"
    const CProgressLink* dialog = nullptr;   // the copies go to its window
    bool keepCheckedOut = false;
};
DWORD WINAPI CheckoutThreadProc(LPVOID params);

// ---- check-in and unlock

// Checks the local file in as `document` (the reference is the operation's, released before return).
// False also when the user stopped waiting for a DMS that did not answer: should the DMS take the
// copy afterwards, the worker leaves a mark of what it sent beside the local file (SettleSentMark).
// *outcome, when asked for, says how it ended: S_OK, S_FALSE when the DMS refused it without an
// error, E_ABORT when the user stopped waiting, TESSERA_E_NOT_LOGGED_IN without a connected server,
// kNoPrivateCopy when the private copy could not be made, else the DMS's failure.
bool CheckinDocument(TSManager& manager, const std::wstring& path, DmsDocumentPtr document, bool keepCheckedOut,
                     HRESULT* outcome = nullptr);
// The document by server, database, number and version, then CheckinDocument; *outcome also tells a
// document the DMS could not give (TSManager::GetDocument).
bool CheckinDeskClientDocument(TSManager& manager, const std::wstring& path, long number, long version,
                               const std::wstring& database, const std::wstring& server, bool keepCheckedOut,
                               HRESULT* outcome = nullptr);
const HRESULT kNoPrivateCopy = HRESULT_FROM_WIN32(ERROR_CANNOT_MAKE);
// True when the DMS reported the lock released; the reference is released before return.
bool UnlockDocument(TSManager& manager, DmsDocumentPtr document);
// The same, telling a document that was not checked out from a lock that could not be released.
enum class UnlockOutcome { Released, NotCheckedOut, Failed };
UnlockOutcome Unlock(TSManager& manager, DmsDocumentPtr document);

struct CheckinThreadParams {
    ITesseraDocumentPtr document;
    const wchar_t* path = nullptr;  // borrowed full path of the private copy
    const CProgressLink* dialog = nullptr;
    bool keepCheckedOut = false;
};
DWORD WINAPI CheckinThreadProc(LPVOID params);

// ---- import (Save to the DMS creates a new document)

class CImportCommand {
public:
    // The server gate, the import command with its context items for the file at `path` (none:
    // path: none) and, when given, the document it came from. True when the import went through (S_OK).
    // A description given replaces the one made from the file's name.
    bool Execute(TSManager& manager, const std::wstring& path, ITesseraDocument* original,
                 const std::wstring* description = nullptr);
    // The new document ("ImportedDocument"); null when it does not offer the document interface.
    DmsDocumentPtr TakeImportedDocument();
    // The user stopped waiting for the command: nothing was saved, as far as the user knows.
    bool Abandoned() const { return abandoned_; }

private:
    bool abandoned_ = false;
    ITesseraCommandContextPtr context_;
    ITesseraCommandPtr command_;
};

// Size texts of the two workers: "1 KB" up to 1024 bytes, else the size in KB rounded down.
std::wstring CheckoutSizeText(long bytes);
std::wstring CheckinSizeText(unsigned long long bytes);
