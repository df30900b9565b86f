// StandIn.h - the in-process face of the Tessera stand-in (static library tesserastub).
//
// Tests link tesserastub, call TesseraRegisterClassObjects() after CoInitialize and then create the
// DMS objects with CoCreateInstance exactly as the plug-in does. The functions in namespace tessera
// seed and inspect a store folder and script the commands; they work on the same files as the COM
// objects and tessera-store.exe, under the same cross-process lock. An empty store argument means
// the store the objects use: TESSERA_STORE, else HKCU\Software\Tessera\StandIn "Store", else
// %ProgramData%\TesseraStandIn.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Registers the four class objects in this process (CoRegisterClassObject, multiple use).
HRESULT TesseraRegisterClassObjects();
void TesseraRevokeClassObjects();

namespace tessera {

// Login results other than 0.
enum : long {
    kLoginRefused = 1,     // unknown user or wrong password
    kLoginNotTrusted = 2,  // the Windows user may not log in trusted on this server
};

std::wstring ResolveStoreFolder();

HRESULT AddServer(const std::wstring& store, const std::wstring& server);
HRESULT AddDatabase(const std::wstring& store, const std::wstring& server, const std::wstring& database);
HRESULT AddUser(const std::wstring& store, const std::wstring& server, const std::wstring& userId,
                const std::wstring& password, const std::wstring& fullName, bool trusted);

struct NewDocument {
    std::wstring server;
    std::wstring database;
    std::wstring contentFile;  // empty: the document starts empty
    std::wstring extension;    // without the dot; empty: taken from contentFile, else "pdf"
    std::wstring name;
    std::wstring description;
    std::wstring author;       // user id, may be empty
    long number = 0;           // 0: the next free number of the database
    long rights = 255;
};
// Creates the document with version 1; *number receives its number.
HRESULT AddDocument(const std::wstring& store, const NewDocument& doc, long* number);
// Adds a version (the latest + 1) holding the file's content.
HRESULT AddVersion(const std::wstring& store, const std::wstring& server, const std::wstring& database,
                   long number, const std::wstring& contentFile, long* version);

// Checks a document out as userId without copying it anywhere (another user's lock).
HRESULT LockDocument(const std::wstring& store, const std::wstring& server, const std::wstring& database,
                     long number, long version, const std::wstring& userId, const std::wstring& path);
// *released: whether a lock was there.
HRESULT UnlockDocument(const std::wstring& store, const std::wstring& server, const std::wstring& database,
                       long number, bool* released);

// Deletes the document: its versions, its lock and its content files go, whoever has it checked
// out, as when the DMS's administrator deletes it. Every call on it fails with TESSERA_E_NOT_FOUND
// from then on, also through document objects made earlier; its number is not given out again.
HRESULT DeleteDocument(const std::wstring& store, const std::wstring& server, const std::wstring& database,
                       long number);
// Takes away (allowed false) or gives back userId's right to check the document in. Without it the
// user's CheckIn is refused as by a `refuse` fault: S_OK with a null result, the lock and the content
// as they were. Other users and the other calls are not affected.
HRESULT SetCheckInRight(const std::wstring& store, const std::wstring& server, const std::wstring& database,
                        long number, const std::wstring& userId, bool allowed);

struct DocumentInfo {
    std::wstring server;
    std::wstring database;
    long number = 0;
    long version = 0;
    long long size = -1;  // -1 when the content file is missing
    std::wstring extension;
    std::wstring name;
    std::wstring description;
    std::wstring author;
    long rights = 0;
    std::wstring lockedBy;  // empty when not checked out by anyone
    long lockedVersion = 0;
    std::wstring lockPath;
    std::wstring contentPath;  // full path of this version's content inside the store
};
// One entry per version, ordered by server, database, number and version.
HRESULT ListDocuments(const std::wstring& store, std::vector<DocumentInfo>* documents);

// Fault injection: the next `count` calls of `operation` (count 0: every call until cleared) fail
// with `hr`, or are refused when `refuse` is set. Operation names are listed in tessera/README.md.
HRESULT AddFault(const std::wstring& store, const std::wstring& operation, HRESULT hr, long count);
HRESULT AddRefusal(const std::wstring& store, const std::wstring& operation, long count);
// The `call`-th call of `operation` (counted across processes) ends the calling process at once, as
// a crash: before the operation acts, or with `afterTheWork` once it has done its work and before it
// answers.
HRESULT AddKill(const std::wstring& store, const std::wstring& operation, bool afterTheWork, long call);
// The next `count` calls of `operation` (0: every call until cleared) block the calling thread for
// `seconds` (1 to a day) without holding the store, then go on as usual, or as another fault of the
// operation says.
HRESULT AddHang(const std::wstring& store, const std::wstring& operation, long seconds, long count);
// The next `count` calls of `operation` pass untouched by the faults written after this one: a fault
// for the third call is a pass for two, then the fault.
HRESULT AddPass(const std::wstring& store, const std::wstring& operation, long count);
HRESULT ClearFaults(const std::wstring& store);
// Keeps the store locked for `seconds`, as a server busy with another client: every call that
// reads the store waits meanwhile.
HRESULT HoldStore(const std::wstring& store, long seconds);

// What the DMS calls of this process cost since the last call: the store operations (each DMS call
// that reads or changes the store is one, its lock wait included), and within them the copies of
// document content (check-out to the caller's file, check-in into the store).
struct StoreTimes {
    double seconds = 0;
    long transactions = 0;
    double transferSeconds = 0;
};
StoreTimes TakeStoreTimes();

// Preset answers for the open and import dialogs; each is used by the next Execute and then removed.
struct DocumentRef {
    std::wstring server;  // empty: any logged-in session's server that has the database
    std::wstring database;
    long number = 0;
    long version = 0;
};
HRESULT SetOpenPreset(const std::wstring& store, const std::vector<DocumentRef>& selection);
HRESULT SetOpenPresetCancel(const std::wstring& store);
// database ("name" or "server<TAB>name"): where the new document goes; a non-empty description
// replaces the prefilled one.
HRESULT SetImportPreset(const std::wstring& store, const std::wstring& database, const std::wstring& description);
HRESULT SetImportPresetCancel(const std::wstring& store);
HRESULT ClearPresets(const std::wstring& store);

}  // namespace tessera
