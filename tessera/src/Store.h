// The store folder: the state every process of the stand-in shares.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <TesseraDMS.h>

#include "Handles.h"

namespace tessera {

struct StoreUser {
    std::wstring server;
    std::wstring id;
    std::wstring password;
    std::wstring fullName;
    bool trusted = false;
};

struct StoreVersion {
    long number = 0;
    std::wstring content;  // relative to the store folder
};

struct StoreLock {
    std::wstring user;
    long version = 0;
    std::wstring path;
};

struct StoreDocument {
    std::wstring server;
    std::wstring database;
    long number = 0;
    std::wstring extension;
    std::wstring name;
    std::wstring description;
    std::wstring author;
    long rights = 0;
    std::vector<StoreVersion> versions;
    std::optional<StoreLock> lock;
    std::vector<std::wstring> noCheckIn;  // users whose right to check it in was taken away

    StoreVersion* FindVersion(long version);
    long LatestVersion() const;
    bool MayCheckIn(const std::wstring& user) const;
};

struct StoreDatabase {
    std::wstring server;
    std::wstring name;
};

// The number of a deleted document: never given to another document of its database.
struct StoreDeleted {
    std::wstring server;
    std::wstring database;
    long number = 0;
};

struct StoreData {
    std::vector<std::wstring> servers;
    std::vector<StoreDatabase> databases;
    std::vector<StoreUser> users;
    std::vector<StoreDocument> documents;
    std::vector<StoreDeleted> deleted;

    bool HasServer(const std::wstring& server) const;
    bool HasDatabase(const std::wstring& server, const std::wstring& database) const;
    const StoreUser* FindUser(const std::wstring& server, const std::wstring& id) const;
    StoreDocument* FindDocument(const std::wstring& server, const std::wstring& database, long number);
    bool WasDeleted(const std::wstring& server, const std::wstring& database, long number) const;
    long NextNumber(const std::wstring& server, const std::wstring& database) const;
};

struct StoreFault {
    enum class Kind { Fail, Refuse, Kill, KillAfter, Hang, Pass };
    std::wstring operation;
    HRESULT hr = S_OK;
    bool refuse = false;
    long remaining = 0;  // 0: until cleared. Kill faults: the matching call that ends the process
    Kind kind = Kind::Fail;
    long seconds = 0;  // Hang
};

// Longest hang a fault line may ask for: a day.
constexpr long kLongestHang = 86400;

// The parsed store of the file at `path` when the file is as this process last saw it.
bool TakeCachedStore(const std::wstring& path, StoreData* data);
void CacheStore(const std::wstring& path, const StoreData& data);

// CopyFileW, timed as the store's content transfer.
BOOL TransferFile(const std::wstring& from, const std::wstring& to, BOOL failIfExists);

// The process ends now, as a host that crashes: no destructor, no clean-up of any kind.
[[noreturn]] void EndProcessAsKilled();
// A kill-after fault met by this thread's current operation: the process ends once it has done its work.
bool TakeKillAfter();

bool SameName(const std::wstring& a, const std::wstring& b);

HRESULT ParseStore(const std::wstring& text, StoreData* data);
std::wstring FormatStore(const StoreData& data);
HRESULT ParseFaults(const std::wstring& text, std::vector<StoreFault>* faults);
std::wstring FormatFaults(const std::vector<StoreFault>& faults);

HRESULT ReadTextFile(const std::wstring& path, std::wstring* text, bool* exists);
HRESULT WriteTextFile(const std::wstring& path, const std::wstring& text);

// One read-modify-write of the store. Holds the lock of this process and of store.lock for its
// lifetime, so a transaction never sees another one half done.
class StoreTransaction {
public:
    explicit StoreTransaction(const std::wstring& folder);
    ~StoreTransaction();
    StoreTransaction(const StoreTransaction&) = delete;
    StoreTransaction& operator=(const StoreTransaction&) = delete;

    // S_OK when the lock is held and store.txt was read.
    HRESULT Status() const { return status_; }
    StoreData& Data() { return data_; }
    const std::wstring& Folder() const { return folder_; }
    std::wstring FullPath(const std::wstring& relative) const;

    HRESULT Commit();

    // Consumes the first matching hang and the first other matching fault of faults.txt. A hang
    // blocks the calling thread with both locks released and reads the store afresh after it.
    // S_OK without a failure; *refused when a refusal applies.
    HRESULT TakeFault(const wchar_t* operation, bool* refused);
    HRESULT TakeFault(std::initializer_list<const wchar_t*> operations, bool* refused);

    // Copies a file into the store's content folder; *relative names the copy. An empty source
    // makes an empty content file.
    HRESULT ImportContent(const std::wstring& source, std::wstring* relative);

private:
    void Lock();
    void Unlock();

    long long started_;  // for the process's store times
    std::wstring folder_;
    std::unique_lock<std::mutex> processLock_;
    UniqueHandle lockFile_;
    HRESULT status_ = E_FAIL;
    StoreData data_;
};

std::wstring PresetPath(const std::wstring& folder, const wchar_t* name);
// Reads and deletes a preset file under the store lock. *present false when there is none.
HRESULT TakePreset(const std::wstring& folder, const wchar_t* name, std::vector<std::wstring>* lines,
                   bool* present);

// A preset line: split at tabs when it has any, else at blanks.
std::vector<std::wstring> SplitFields(const std::wstring& line);
std::vector<std::wstring> SplitLines(const std::wstring& text);
bool ParseLong(const std::wstring& text, long* value);

// Application type ("PDF", "WORDX", ...) to extension; empty for an unknown or empty type.
std::wstring ExtensionForAppType(const std::wstring& type);

long long FileSize(const std::wstring& path);

}  // namespace tessera
