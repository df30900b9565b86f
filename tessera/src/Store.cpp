#include "Store.h"
#include "tessera/StandIn.h"

#include <atomic>
#include <optional>
#include <utility>

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cerrno>
#include <cwchar>
#include <cwctype>

namespace tessera {
namespace {

std::mutex& ProcessStoreMutex() {
    static std::mutex mutex;
    return mutex;
}

HRESULT LastError() {
    DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// Fields are separated by tabs, so a tab, a line break or the escape character inside a field
// is written as %XX; backslashes of paths stay readable.
std::wstring Escape(const std::wstring& field) {
    std::wstring out;
    for (wchar_t c : field) {
        switch (c) {
            case L'%': out += L"%25"; break;
            case L'\t': out += L"%09"; break;
            case L'\n': out += L"%0A"; break;
            case L'\r': out += L"%0D"; break;
            default: out += c;
        }
    }
    return out;
}

std::wstring Unescape(const std::wstring& field) {
    std::wstring out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == L'%' && i + 2 < field.size()) {
            wchar_t hex[3] = {field[i + 1], field[i + 2], 0};
            wchar_t* end = nullptr;
            long value = wcstol(hex, &end, 16);
            if (end == hex + 2) {
                out += static_cast<wchar_t>(value);
                i += 2;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<std::wstring> SplitTabs(const std::wstring& line) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        size_t end = line.find(L'\t', start);
        fields.push_back(Unescape(line.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start)));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return fields;
}

std::wstring Join(std::initializer_list<std::wstring> fields) {
    std::wstring line;
    bool first = true;
    for (const auto& field : fields) {
        if (!first) line += L'\t';
        line += Escape(field);
        first = false;
    }
    line += L"\r\n";
    return line;
}

}  // namespace

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

bool ParseLong(const std::wstring& text, long* value) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    long long parsed = wcstoll(text.c_str(), &end, hex ? 16 : 10);
    if (*end != 0 || errno != 0) return false;
    // HRESULTs are written as unsigned hex; keep their bit pattern.
    if (parsed < -2147483648LL || parsed > 0xFFFFFFFFLL) return false;
    *value = static_cast<long>(static_cast<unsigned long>(parsed & 0xFFFFFFFF));
    return true;
}

std::vector<std::wstring> SplitFields(const std::wstring& line) {
    const wchar_t* separators = line.find(L'\t') != std::wstring::npos ? L"\t" : L" \t";
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        size_t end = line.find_first_of(separators, start);
        std::wstring field = line.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        size_t first = field.find_first_not_of(L' ');
        field = first == std::wstring::npos ? std::wstring() : field.substr(first, field.find_last_not_of(L' ') - first + 1);
        if (!field.empty() || separators[1] == 0) fields.push_back(field);
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return fields;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

StoreVersion* StoreDocument::FindVersion(long version) {
    for (auto& v : versions)
        if (v.number == version) return &v;
    return nullptr;
}

long StoreDocument::LatestVersion() const {
    long latest = 0;
    for (const auto& v : versions) latest = std::max(latest, v.number);
    return latest;
}

bool StoreDocument::MayCheckIn(const std::wstring& user) const {
    return std::none_of(noCheckIn.begin(), noCheckIn.end(), [&](const std::wstring& u) { return SameName(u, user); });
}

bool StoreData::HasServer(const std::wstring& server) const {
    return std::any_of(servers.begin(), servers.end(), [&](const std::wstring& s) { return SameName(s, server); });
}

bool StoreData::HasDatabase(const std::wstring& server, const std::wstring& database) const {
    return std::any_of(databases.begin(), databases.end(), [&](const StoreDatabase& d) {
        return SameName(d.server, server) && SameName(d.name, database);
    });
}

const StoreUser* StoreData::FindUser(const std::wstring& server, const std::wstring& id) const {
    for (const auto& u : users)
        if (SameName(u.server, server) && SameName(u.id, id)) return &u;
    return nullptr;
}

StoreDocument* StoreData::FindDocument(const std::wstring& server, const std::wstring& database, long number) {
    for (auto& d : documents)
        if (d.number == number && SameName(d.server, server) && SameName(d.database, database)) return &d;
    return nullptr;
}

bool StoreData::WasDeleted(const std::wstring& server, const std::wstring& database, long number) const {
    return std::any_of(deleted.begin(), deleted.end(), [&](const StoreDeleted& d) {
        return d.number == number && SameName(d.server, server) && SameName(d.database, database);
    });
}

long StoreData::NextNumber(const std::wstring& server, const std::wstring& database) const {
    long highest = 0;
    for (const auto& d : documents)
        if (SameName(d.server, server) && SameName(d.database, database)) highest = std::max(highest, d.number);
    for (const auto& d : deleted)
        if (SameName(d.server, server) && SameName(d.database, database)) highest = std::max(highest, d.number);
    return highest + 1;
}

HRESULT ParseStore(const std::wstring& text, StoreData* data) {
    StoreData parsed;
    for (const auto& line : SplitLines(text)) {
        if (line.empty() || line[0] == L'#') continue;
        auto f = SplitTabs(line);
        const std::wstring& kind = f[0];
        if (kind == L"server" && f.size() == 2) {
            parsed.servers.push_back(f[1]);
        } else if (kind == L"database" && f.size() == 3) {
            if (!parsed.HasServer(f[1])) return TESSERA_E_BAD_STORE;
            parsed.databases.push_back({f[1], f[2]});
        } else if (kind == L"user" && f.size() == 6) {
            if (!parsed.HasServer(f[1])) return TESSERA_E_BAD_STORE;
            parsed.users.push_back({f[1], f[2], f[3], f[4], f[5] == L"trusted"});
        } else if (kind == L"document" && f.size() == 9) {
            StoreDocument doc;
            doc.server = f[1];
            doc.database = f[2];
            if (!ParseLong(f[3], &doc.number) || !ParseLong(f[8], &doc.rights)) return TESSERA_E_BAD_STORE;
            doc.extension = f[4];
            doc.name = f[5];
            doc.description = f[6];
            doc.author = f[7];
            if (!parsed.HasDatabase(doc.server, doc.database) ||
                parsed.FindDocument(doc.server, doc.database, doc.number) ||
                parsed.WasDeleted(doc.server, doc.database, doc.number))
                return TESSERA_E_BAD_STORE;
            parsed.documents.push_back(std::move(doc));
        } else if (kind == L"version" && f.size() == 6) {
            long number = 0, version = 0;
            if (!ParseLong(f[3], &number) || !ParseLong(f[4], &version)) return TESSERA_E_BAD_STORE;
            StoreDocument* doc = parsed.FindDocument(f[1], f[2], number);
            if (!doc || doc->FindVersion(version)) return TESSERA_E_BAD_STORE;
            doc->versions.push_back({version, f[5]});
        } else if (kind == L"lock" && f.size() == 7) {
            long number = 0, version = 0;
            if (!ParseLong(f[3], &number) || !ParseLong(f[4], &version)) return TESSERA_E_BAD_STORE;
            StoreDocument* doc = parsed.FindDocument(f[1], f[2], number);
            if (!doc || doc->lock) return TESSERA_E_BAD_STORE;
            doc->lock = StoreLock{f[5], version, f[6]};
        } else if (kind == L"no-checkin" && f.size() == 5) {
            long number = 0;
            if (!ParseLong(f[3], &number)) return TESSERA_E_BAD_STORE;
            StoreDocument* doc = parsed.FindDocument(f[1], f[2], number);
            if (!doc || !doc->MayCheckIn(f[4])) return TESSERA_E_BAD_STORE;
            doc->noCheckIn.push_back(f[4]);
        } else if (kind == L"deleted" && f.size() == 4) {
            StoreDeleted gone{f[1], f[2]};
            if (!ParseLong(f[3], &gone.number) || !parsed.HasDatabase(gone.server, gone.database) ||
                parsed.FindDocument(gone.server, gone.database, gone.number) ||
                parsed.WasDeleted(gone.server, gone.database, gone.number))
                return TESSERA_E_BAD_STORE;
            parsed.deleted.push_back(std::move(gone));
        } else {
            return TESSERA_E_BAD_STORE;
        }
    }
    *data = std::move(parsed);
    return S_OK;
}

std::wstring FormatStore(const StoreData& data) {
    std::wstring text = L"# Tessera stand-in store (see tessera/README.md)\r\n";
    for (const auto& s : data.servers) text += Join({L"server", s});
    for (const auto& d : data.databases) text += Join({L"database", d.server, d.name});
    for (const auto& u : data.users)
        text += Join({L"user", u.server, u.id, u.password, u.fullName, u.trusted ? L"trusted" : L"-"});
    for (const auto& d : data.documents) {
        text += Join({L"document", d.server, d.database, std::to_wstring(d.number), d.extension, d.name,
                      d.description, d.author, std::to_wstring(d.rights)});
        for (const auto& v : d.versions)
            text += Join({L"version", d.server, d.database, std::to_wstring(d.number), std::to_wstring(v.number),
                          v.content});
        if (d.lock)
            text += Join({L"lock", d.server, d.database, std::to_wstring(d.number), std::to_wstring(d.lock->version),
                          d.lock->user, d.lock->path});
        for (const auto& user : d.noCheckIn)
            text += Join({L"no-checkin", d.server, d.database, std::to_wstring(d.number), user});
    }
    for (const auto& d : data.deleted) text += Join({L"deleted", d.server, d.database, std::to_wstring(d.number)});
    return text;
}

HRESULT ParseFaults(const std::wstring& text, std::vector<StoreFault>* faults) {
    std::vector<StoreFault> parsed;
    for (auto line : SplitLines(text)) {
        std::replace(line.begin(), line.end(), L'\t', L' ');
        std::vector<std::wstring> words;
        size_t pos = 0;
        while (pos < line.size()) {
            size_t start = line.find_first_not_of(L' ', pos);
            if (start == std::wstring::npos) break;
            size_t end = line.find(L' ', start);
            if (end == std::wstring::npos) end = line.size();
            words.push_back(line.substr(start, end - start));
            pos = end;
        }
        if (words.empty() || words[0][0] == L'#') continue;
        bool hang = words.size() > 1 && SameName(words[1], L"hang");
        size_t counted = hang ? 4 : 3;  // the words a line has with its count
        if (words.size() < counted - 1 || words.size() > counted) return TESSERA_E_BAD_STORE;
        StoreFault fault;
        fault.operation = words[0];
        if (hang) {
            fault.kind = StoreFault::Kind::Hang;
            if (!ParseLong(words[2], &fault.seconds) || fault.seconds < 1 || fault.seconds > kLongestHang)
                return TESSERA_E_BAD_STORE;
        } else if (SameName(words[1], L"refuse")) {
            fault.refuse = true;
            fault.kind = StoreFault::Kind::Refuse;
        } else if (SameName(words[1], L"pass")) {
            fault.kind = StoreFault::Kind::Pass;
        } else if (SameName(words[1], L"kill") || SameName(words[1], L"kill-after")) {
            fault.kind = SameName(words[1], L"kill") ? StoreFault::Kind::Kill : StoreFault::Kind::KillAfter;
        } else {
            long hr = 0;
            if (!ParseLong(words[1], &hr) || SUCCEEDED(hr)) return TESSERA_E_BAD_STORE;
            fault.hr = hr;
        }
        if (words.size() == counted && (!ParseLong(words[counted - 1], &fault.remaining) || fault.remaining < 0))
            return TESSERA_E_BAD_STORE;
        parsed.push_back(fault);
    }
    *faults = std::move(parsed);
    return S_OK;
}

std::wstring FormatFaults(const std::vector<StoreFault>& faults) {
    std::wstring text;
    for (const auto& f : faults) {
        wchar_t code[16];
        swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(f.hr));
        std::wstring what = f.kind == StoreFault::Kind::Kill        ? L"kill"
                            : f.kind == StoreFault::Kind::KillAfter ? L"kill-after"
                            : f.kind == StoreFault::Kind::Hang      ? L"hang " + std::to_wstring(f.seconds)
                            : f.kind == StoreFault::Kind::Pass      ? std::wstring(L"pass")
                            : f.refuse                              ? L"refuse"
                                                                    : code;
        text += f.operation + L" " + what;
        if (f.remaining > 0) text += L" " + std::to_wstring(f.remaining);
        text += L"\r\n";
    }
    return text;
}

HRESULT ReadTextFile(const std::wstring& path, std::wstring* text, bool* exists) {
    text->clear();
    *exists = false;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return S_OK;
        return HRESULT_FROM_WIN32(error);
    }
    *exists = true;
    std::string bytes;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (bytes.size() == skip) return S_OK;
    int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip),
                                     nullptr, 0);
    if (length <= 0) return TESSERA_E_BAD_STORE;
    text->resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), &(*text)[0], length);
    return S_OK;
}

HRESULT WriteTextFile(const std::wstring& path, const std::wstring& text) {
    std::string bytes;
    if (!text.empty()) {
        int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
        bytes.resize(static_cast<size_t>(length));
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length, nullptr,
                            nullptr);
    }
    // Write beside the file and move over it, so a crash never leaves half a store. Not written
    // through: a flush here would wait for every document just copied to reach the disk.
    std::wstring temp = path + L".new";
    {
        UniqueHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        if (!file) return LastError();
        DWORD written = 0;
        if (!bytes.empty() &&
            (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
             written != bytes.size()))
            return LastError();
    }
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        HRESULT hr = LastError();
        DeleteFileW(temp.c_str());
        return hr;
    }
    return S_OK;
}

namespace {

std::atomic<long long> gStoreTicks{0}, gStoreTransactions{0}, gTransferTicks{0};

long long Ticks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double Seconds(long long ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

namespace {

// The last store this process read or wrote, with the size and time of its file then: a
// transaction that finds the file as it was takes the parsed data instead of reading it again.
// Another process's write changes the file, so it is always seen. Used under the process's store
// mutex only.
struct CachedStore {
    std::wstring path;
    ULONGLONG size = 0;
    FILETIME written = {};
    StoreData data;
    bool valid = false;
};
CachedStore gCache;

bool FileStamp(const std::wstring& path, ULONGLONG* size, FILETIME* written) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) return false;
    *size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    *written = info.ftLastWriteTime;
    return true;
}

}  // namespace

bool TakeCachedStore(const std::wstring& path, StoreData* data) {
    ULONGLONG size = 0;
    FILETIME written = {};
    if (!gCache.valid || gCache.path != path || !FileStamp(path, &size, &written)) return false;
    if (size != gCache.size || CompareFileTime(&written, &gCache.written) != 0) return false;
    *data = gCache.data;
    return true;
}

void CacheStore(const std::wstring& path, const StoreData& data) {
    gCache.valid = FileStamp(path, &gCache.size, &gCache.written);
    gCache.path = path;
    if (gCache.valid) gCache.data = data;
}

StoreTimes TakeStoreTimes() {
    StoreTimes times;
    times.seconds = Seconds(gStoreTicks.exchange(0));
    times.transactions = static_cast<long>(gStoreTransactions.exchange(0));
    times.transferSeconds = Seconds(gTransferTicks.exchange(0));
    return times;
}

BOOL TransferFile(const std::wstring& from, const std::wstring& to, BOOL failIfExists) {
    long long start = Ticks();
    BOOL copied = CopyFileW(from.c_str(), to.c_str(), failIfExists);
    gTransferTicks += Ticks() - start;
    return copied;
}

StoreTransaction::StoreTransaction(const std::wstring& folder)
    : started_(Ticks()), folder_(folder), processLock_(ProcessStoreMutex(), std::defer_lock) {
    Lock();
}

StoreTransaction::~StoreTransaction() {
    Unlock();
    gStoreTicks += Ticks() - started_;
    ++gStoreTransactions;
}

void StoreTransaction::Lock() {
    processLock_.lock();
    if (folder_.empty()) {
        status_ = E_INVALIDARG;
        return;
    }
    int made = SHCreateDirectoryExW(nullptr, folder_.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        status_ = HRESULT_FROM_WIN32(made);
        return;
    }
    lockFile_.reset(CreateFileW(FullPath(L"store.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!lockFile_) {
        status_ = LastError();
        return;
    }
    OVERLAPPED at = {};
    if (!LockFileEx(lockFile_.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
        status_ = LastError();
        lockFile_.reset();
        return;
    }
    if (TakeCachedStore(FullPath(L"store.txt"), &data_)) {
        status_ = S_OK;
        return;
    }
    std::wstring text;
    bool exists = false;
    status_ = ReadTextFile(FullPath(L"store.txt"), &text, &exists);
    if (SUCCEEDED(status_)) status_ = ParseStore(text, &data_);
    if (SUCCEEDED(status_)) CacheStore(FullPath(L"store.txt"), data_);
}

void StoreTransaction::Unlock() {
    if (lockFile_) {
        OVERLAPPED at = {};
        UnlockFileEx(lockFile_.get(), 0, 1, 0, &at);
        lockFile_.reset();
    }
    if (processLock_.owns_lock()) processLock_.unlock();
}

std::wstring StoreTransaction::FullPath(const std::wstring& relative) const {
    std::wstring path = folder_;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + relative;
}

HRESULT StoreTransaction::Commit() {
    if (FAILED(status_)) return status_;
    HRESULT hr = WriteTextFile(FullPath(L"store.txt"), FormatStore(data_));
    if (SUCCEEDED(hr)) CacheStore(FullPath(L"store.txt"), data_);
    return hr;
}

namespace {
thread_local bool tKillAfter = false;
}  // namespace

void EndProcessAsKilled() {
    TerminateProcess(GetCurrentProcess(), 9);
    for (;;) Sleep(INFINITE);
}

bool TakeKillAfter() { return std::exchange(tKillAfter, false); }

HRESULT StoreTransaction::TakeFault(const wchar_t* operation, bool* refused) {
    return TakeFault({operation}, refused);
}

HRESULT StoreTransaction::TakeFault(std::initializer_list<const wchar_t*> operations, bool* refused) {
    *refused = false;
    if (FAILED(status_)) return status_;
    std::wstring text;
    bool exists = false;
    HRESULT hr = ReadTextFile(FullPath(L"faults.txt"), &text, &exists);
    if (FAILED(hr) || !exists) return hr;
    std::vector<StoreFault> faults;
    hr = ParseFaults(text, &faults);
    if (FAILED(hr)) return hr;
    // A hang line never hides the failure behind it: one of each kind applies.
    std::optional<StoreFault> hang, other;
    bool counted = false;
    for (size_t i = 0; i < faults.size();) {
        StoreFault& line = faults[i];
        bool isHang = line.kind == StoreFault::Kind::Hang;
        bool matches = std::any_of(operations.begin(), operations.end(),
                                   [&](const wchar_t* op) { return SameName(line.operation, op); });
        if (!matches || (isHang ? hang.has_value() : other.has_value())) {
            ++i;
            continue;
        }
        // A pass line ahead of every other line of the operation lets this call through untouched.
        if (line.kind == StoreFault::Kind::Pass && (hang || other)) {
            ++i;
            continue;
        }
        StoreFault fault = line;
        if (line.remaining > 0) {
            counted = true;
            if (--line.remaining == 0) faults.erase(faults.begin() + static_cast<std::ptrdiff_t>(i));
            else ++i;
        } else {
            ++i;
        }
        // The kill's call counted is the one that ends the process; earlier ones pass.
        bool kill = fault.kind == StoreFault::Kind::Kill || fault.kind == StoreFault::Kind::KillAfter;
        if (kill && fault.remaining > 1) continue;
        if (fault.kind == StoreFault::Kind::Pass) break;
        (isHang ? hang : other) = fault;
    }
    if (counted) WriteTextFile(FullPath(L"faults.txt"), FormatFaults(faults));
    if (hang) {
        Unlock();
        Sleep(static_cast<DWORD>(hang->seconds) * 1000);
        Lock();
        if (FAILED(status_)) return status_;
    }
    if (!other) return S_OK;
    if (other->kind == StoreFault::Kind::Kill) EndProcessAsKilled();
    if (other->kind == StoreFault::Kind::KillAfter) {
        tKillAfter = true;
        return S_OK;
    }
    *refused = other->refuse;
    return other->refuse ? S_OK : other->hr;
}

HRESULT StoreTransaction::ImportContent(const std::wstring& source, std::wstring* relative) {
    CreateDirectoryW(FullPath(L"content").c_str(), nullptr);
    GUID id;
    HRESULT hr = CoCreateGuid(&id);
    if (FAILED(hr)) return hr;
    wchar_t name[64];
    swprintf(name, 64, L"content\\%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X.dat",
             static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
             id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
    std::wstring target = FullPath(name);
    if (source.empty()) {
        UniqueHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        if (!file) return LastError();
    } else if (!TransferFile(source, target, TRUE)) {
        return LastError();
    }
    *relative = name;
    return S_OK;
}

std::wstring PresetPath(const std::wstring& folder, const wchar_t* name) {
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path + L"presets\\" + name;
}

HRESULT TakePreset(const std::wstring& folder, const wchar_t* name, std::vector<std::wstring>* lines,
                   bool* present) {
    lines->clear();
    *present = false;
    StoreTransaction tx(folder);
    if (FAILED(tx.Status())) return tx.Status();
    std::wstring path = PresetPath(folder, name), text;
    HRESULT hr = ReadTextFile(path, &text, present);
    if (FAILED(hr) || !*present) return hr;
    if (!DeleteFileW(path.c_str())) return LastError();
    *lines = SplitLines(text);
    return S_OK;
}

std::wstring ExtensionForAppType(const std::wstring& type) {
    static const wchar_t* const table[][2] = {{L"PDF", L"pdf"},   {L"WORD", L"doc"},    {L"WORDX", L"docx"},
                                              {L"PPT", L"ppt"},   {L"PPTX", L"pptx"},   {L"EXCEL", L"xls"},
                                              {L"EXCELX", L"xlsx"}, {L"ANSI", L"txt"}};
    for (const auto& row : table)
        if (SameName(type, row[0])) return row[1];
    return std::wstring();
}

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace tessera
