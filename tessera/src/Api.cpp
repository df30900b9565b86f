#include <shlobj.h>

#include <algorithm>

#include "Store.h"
#include "tessera/StandIn.h"

namespace tessera {
namespace {

std::wstring Folder(const std::wstring& store) { return store.empty() ? ResolveStoreFolder() : store; }

std::wstring ExtensionOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return std::wstring();
    return path.substr(dot + 1);
}

HRESULT WritePreset(const std::wstring& store, const wchar_t* name, const std::wstring& text) {
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    CreateDirectoryW(tx.FullPath(L"presets").c_str(), nullptr);
    return WriteTextFile(PresetPath(tx.Folder(), name), text);
}

HRESULT EditFaults(const std::wstring& store, const StoreFault* added) {
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    std::wstring path = tx.FullPath(L"faults.txt");
    if (!added) {
        if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
            return HRESULT_FROM_WIN32(GetLastError());
        return S_OK;
    }
    std::wstring text;
    bool exists = false;
    std::vector<StoreFault> faults;
    HRESULT hr = ReadTextFile(path, &text, &exists);
    if (SUCCEEDED(hr)) hr = ParseFaults(text, &faults);
    if (FAILED(hr)) return hr;
    faults.push_back(*added);
    return WriteTextFile(path, FormatFaults(faults));
}

}  // namespace

std::wstring ResolveStoreFolder() {
    wchar_t buffer[MAX_PATH * 4];
    DWORD length = GetEnvironmentVariableW(L"TESSERA_STORE", buffer, ARRAYSIZE(buffer));
    if (length > 0 && length < ARRAYSIZE(buffer)) return buffer;
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tessera\\StandIn", 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
        DWORD type = 0, bytes = sizeof(buffer) - sizeof(wchar_t);
        if (RegQueryValueExW(key.get(), L"Store", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) ==
                ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ) && bytes >= sizeof(wchar_t)) {
            // The value need not carry its terminating NUL.
            buffer[bytes / sizeof(wchar_t)] = 0;
            if (type == REG_EXPAND_SZ) {
                wchar_t expanded[MAX_PATH * 4];
                DWORD got = ExpandEnvironmentStringsW(buffer, expanded, ARRAYSIZE(expanded));
                if (got > 0 && got <= ARRAYSIZE(expanded)) return expanded;
            } else if (buffer[0]) {
                return buffer;
            }
        }
    }
    wchar_t common[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common)))
        return std::wstring(common) + L"\\TesseraStandIn";
    return L"C:\\ProgramData\\TesseraStandIn";
}

HRESULT AddServer(const std::wstring& store, const std::wstring& server) {
    if (server.empty()) return E_INVALIDARG;
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    if (tx.Data().HasServer(server)) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    tx.Data().servers.push_back(server);
    return tx.Commit();
}

HRESULT AddDatabase(const std::wstring& store, const std::wstring& server, const std::wstring& database) {
    if (database.empty()) return E_INVALIDARG;
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    if (!tx.Data().HasServer(server)) return TESSERA_E_NO_SERVER;
    if (tx.Data().HasDatabase(server, database)) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    tx.Data().databases.push_back({server, database});
    return tx.Commit();
}

HRESULT AddUser(const std::wstring& store, const std::wstring& server, const std::wstring& userId,
                const std::wstring& password, const std::wstring& fullName, bool trusted) {
    if (userId.empty()) return E_INVALIDARG;
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    if (!tx.Data().HasServer(server)) return TESSERA_E_NO_SERVER;
    if (tx.Data().FindUser(server, userId)) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    tx.Data().users.push_back({server, userId, password, fullName, trusted});
    return tx.Commit();
}

HRESULT AddDocument(const std::wstring& store, const NewDocument& doc, long* number) {
    if (doc.number < 0) return E_INVALIDARG;
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    StoreData& data = tx.Data();
    if (!data.HasDatabase(doc.server, doc.database)) return TESSERA_E_NOT_FOUND;
    StoreDocument made;
    made.server = doc.server;
    made.database = doc.database;
    made.number = doc.number ? doc.number : data.NextNumber(doc.server, doc.database);
    if (data.FindDocument(doc.server, doc.database, made.number)) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    // A number asked for explicitly may be one a deleted document had.
    data.deleted.erase(std::remove_if(data.deleted.begin(), data.deleted.end(),
                                      [&](const StoreDeleted& d) {
                                          return d.number == made.number && SameName(d.server, doc.server) &&
                                                 SameName(d.database, doc.database);
                                      }),
                       data.deleted.end());
    made.extension = !doc.extension.empty() ? doc.extension : ExtensionOf(doc.contentFile);
    if (made.extension.empty()) made.extension = L"pdf";
    made.name = doc.name;
    made.description = doc.description;
    made.author = doc.author;
    made.rights = doc.rights;
    std::wstring content;
    HRESULT hr = tx.ImportContent(doc.contentFile, &content);
    if (FAILED(hr)) return hr;
    made.versions.push_back({1, content});
    data.documents.push_back(std::move(made));
    hr = tx.Commit();
    if (FAILED(hr)) {
        DeleteFileW(tx.FullPath(content).c_str());
        return hr;
    }
    if (number) *number = data.documents.back().number;
    return S_OK;
}

HRESULT AddVersion(const std::wstring& store, const std::wstring& server, const std::wstring& database,
                   long number, const std::wstring& contentFile, long* version) {
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    StoreDocument* doc = tx.Data().FindDocument(server, database, number);
    if (!doc) return TESSERA_E_NOT_FOUND;
    std::wstring content;
    HRESULT hr = tx.ImportContent(contentFile, &content);
    if (FAILED(hr)) return hr;
    long next = doc->LatestVersion() + 1;
    doc->versions.push_back({next, content});
    hr = tx.Commit();
    if (FAILED(hr)) {
        DeleteFileW(tx.FullPath(content).c_str());
        return hr;
    }
    if (version) *version = next;
    return S_OK;
}

HRESULT LockDocument(const std::wstring& store, const std::wstring& server, const std::wstring& database,
                     long number, long version, const std::wstring& userId, const std::wstring& path) {
    if (userId.empty()) return E_INVALIDARG;
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    StoreDocument* doc = tx.Data().FindDocument(server, database, number);
    if (!doc || !doc->FindVersion(version)) return TESSERA_E_NOT_FOUND;
    if (doc->lock) return TESSERA_E_IN_USE;
    doc->lock = StoreLock{userId, version, path};
    return tx.Commit();
}

HRESULT UnlockDocument(const std::wstring& store, const std::wstring& server, const std::wstring& database,
                       long number, bool* released) {
    if (released) *released = false;
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    StoreDocument* doc = tx.Data().FindDocument(server, database, number);
    if (!doc) return TESSERA_E_NOT_FOUND;
    if (!doc->lock) return S_OK;
    doc->lock.reset();
    HRESULT hr = tx.Commit();
    if (SUCCEEDED(hr) && released) *released = true;
    return hr;
}

HRESULT DeleteDocument(const std::wstring& store, const std::wstring& server, const std::wstring& database,
                       long number) {
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    StoreData& data = tx.Data();
    StoreDocument* doc = data.FindDocument(server, database, number);
    if (!doc) return TESSERA_E_NOT_FOUND;
    std::vector<StoreVersion> versions = std::move(doc->versions);
    data.deleted.push_back({doc->server, doc->database, number});
    data.documents.erase(data.documents.begin() + (doc - data.documents.data()));
    HRESULT hr = tx.Commit();
    if (FAILED(hr)) return hr;
    for (const auto& v : versions) DeleteFileW(tx.FullPath(v.content).c_str());
    return S_OK;
}

HRESULT SetCheckInRight(const std::wstring& store, const std::wstring& server, const std::wstring& database,
                        long number, const std::wstring& userId, bool allowed) {
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    StoreDocument* doc = tx.Data().FindDocument(server, database, number);
    const StoreUser* user = tx.Data().FindUser(server, userId);
    if (!doc || !user) return TESSERA_E_NOT_FOUND;
    auto& denied = doc->noCheckIn;
    auto same = [&](const std::wstring& u) { return SameName(u, userId); };
    denied.erase(std::remove_if(denied.begin(), denied.end(), same), denied.end());
    if (!allowed) denied.push_back(user->id);
    return tx.Commit();
}

HRESULT ListDocuments(const std::wstring& store, std::vector<DocumentInfo>* documents) {
    documents->clear();
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    for (const auto& d : tx.Data().documents) {
        for (const auto& v : d.versions) {
            DocumentInfo info;
            info.server = d.server;
            info.database = d.database;
            info.number = d.number;
            info.version = v.number;
            info.contentPath = tx.FullPath(v.content);
            info.size = FileSize(info.contentPath);
            info.extension = d.extension;
            info.name = d.name;
            info.description = d.description;
            info.author = d.author;
            info.rights = d.rights;
            if (d.lock) {
                info.lockedBy = d.lock->user;
                info.lockedVersion = d.lock->version;
                info.lockPath = d.lock->path;
            }
            documents->push_back(std::move(info));
        }
    }
    std::stable_sort(documents->begin(), documents->end(), [](const DocumentInfo& a, const DocumentInfo& b) {
        int byServer = _wcsicmp(a.server.c_str(), b.server.c_str());
        if (byServer != 0) return byServer < 0;
        int byDatabase = _wcsicmp(a.database.c_str(), b.database.c_str());
        if (byDatabase != 0) return byDatabase < 0;
        return a.number != b.number ? a.number < b.number : a.version < b.version;
    });
    return S_OK;
}

HRESULT AddFault(const std::wstring& store, const std::wstring& operation, HRESULT hr, long count) {
    if (operation.empty() || SUCCEEDED(hr) || count < 0) return E_INVALIDARG;
    StoreFault fault{operation, hr, false, count};
    return EditFaults(store, &fault);
}

HRESULT AddRefusal(const std::wstring& store, const std::wstring& operation, long count) {
    if (operation.empty() || count < 0) return E_INVALIDARG;
    StoreFault fault{operation, S_OK, true, count};
    return EditFaults(store, &fault);
}

HRESULT AddKill(const std::wstring& store, const std::wstring& operation, bool afterTheWork, long call) {
    if (operation.empty() || call < 1) return E_INVALIDARG;
    StoreFault fault;
    fault.operation = operation;
    fault.remaining = call;
    fault.kind = afterTheWork ? StoreFault::Kind::KillAfter : StoreFault::Kind::Kill;
    return EditFaults(store, &fault);
}

HRESULT AddHang(const std::wstring& store, const std::wstring& operation, long seconds, long count) {
    if (operation.empty() || seconds < 1 || seconds > kLongestHang || count < 0) return E_INVALIDARG;
    StoreFault fault;
    fault.operation = operation;
    fault.remaining = count;
    fault.kind = StoreFault::Kind::Hang;
    fault.seconds = seconds;
    return EditFaults(store, &fault);
}

HRESULT AddPass(const std::wstring& store, const std::wstring& operation, long count) {
    if (operation.empty() || count < 0) return E_INVALIDARG;
    StoreFault fault;
    fault.operation = operation;
    fault.remaining = count;
    fault.kind = StoreFault::Kind::Pass;
    return EditFaults(store, &fault);
}

HRESULT ClearFaults(const std::wstring& store) { return EditFaults(store, nullptr); }

HRESULT HoldStore(const std::wstring& store, long seconds) {
    if (seconds < 1 || seconds > kLongestHang) return E_INVALIDARG;
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return S_OK;
}

HRESULT SetOpenPreset(const std::wstring& store, const std::vector<DocumentRef>& selection) {
    if (selection.empty()) return E_INVALIDARG;
    std::wstring text;
    for (const auto& ref : selection) {
        if (ref.database.empty() || ref.database.find(L'\t') != std::wstring::npos) return E_INVALIDARG;
        text += ref.server + L"\t" + ref.database + L"\t" + std::to_wstring(ref.number) + L"\t" +
                std::to_wstring(ref.version) + L"\r\n";
    }
    return WritePreset(store, L"open.txt", text);
}

HRESULT SetOpenPresetCancel(const std::wstring& store) { return WritePreset(store, L"open.txt", L"cancel\r\n"); }

HRESULT SetImportPreset(const std::wstring& store, const std::wstring& database, const std::wstring& description) {
    if (database.empty() || database.find_first_of(L"\r\n") != std::wstring::npos ||
        description.find_first_of(L"\r\n") != std::wstring::npos)
        return E_INVALIDARG;
    std::wstring text = database + L"\r\n";
    if (!description.empty()) text += description + L"\r\n";
    return WritePreset(store, L"import.txt", text);
}

HRESULT SetImportPresetCancel(const std::wstring& store) { return WritePreset(store, L"import.txt", L"cancel\r\n"); }

HRESULT ClearPresets(const std::wstring& store) {
    StoreTransaction tx(Folder(store));
    if (FAILED(tx.Status())) return tx.Status();
    DeleteFileW(PresetPath(tx.Folder(), L"open.txt").c_str());
    DeleteFileW(PresetPath(tx.Folder(), L"import.txt").c_str());
    return S_OK;
}

}  // namespace tessera
