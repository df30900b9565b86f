// tessera-store: seeds and inspects a stand-in store folder from the command line.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tessera/StandIn.h"

namespace {

const wchar_t kUsage[] =
    L"usage: tessera-store [--store FOLDER] COMMAND ...\n"
    L"  add-server SERVER\n"
    L"  add-database SERVER DATABASE\n"
    L"  add-user SERVER USER PASSWORD [--name FULLNAME] [--trusted]\n"
    L"  add-document SERVER DATABASE FILE [--description TEXT] [--number N] [--author USER]\n"
    L"               [--name TEXT] [--extension EXT] [--rights N]\n"
    L"  add-version SERVER DATABASE NUMBER FILE\n"
    L"  list\n"
    L"  lock SERVER DATABASE NUMBER VERSION USER [PATH]\n"
    L"  unlock SERVER DATABASE NUMBER\n"
    L"  delete SERVER DATABASE NUMBER\n"
    L"  deny-checkin SERVER DATABASE NUMBER USER | allow-checkin SERVER DATABASE NUMBER USER\n"
    L"  fault add OPERATION HRESULT|refuse|kill|kill-after [COUNT]\n"
    L"  fault add OPERATION hang SECONDS [COUNT]\n"
    L"  fault add OPERATION pass [COUNT]\n"
    L"  fault clear\n"
    L"  preset open cancel | preset open [SERVER] DATABASE NUMBER VERSION [...]\n"
    L"  preset import cancel | preset import DATABASE [DESCRIPTION]\n"
    L"  preset clear\n"
    L"  hold SECONDS\n"
    L"The store is --store, else TESSERA_STORE, else the registry, else %ProgramData%\\TesseraStandIn.\n";

struct UsageError {};

class Args {
public:
    explicit Args(std::vector<std::wstring> args) : args_(std::move(args)) {}
    bool Empty() const { return args_.empty(); }
    size_t Size() const { return args_.size(); }
    std::wstring Next() {
        if (args_.empty()) throw UsageError();
        std::wstring first = args_.front();
        args_.erase(args_.begin());
        return first;
    }
    long NextNumber() {
        std::wstring text = Next();
        wchar_t* end = nullptr;
        long value = wcstol(text.c_str(), &end, 10);
        if (text.empty() || *end) throw UsageError();
        return value;
    }
    // Removes "--name VALUE" and answers its value.
    bool Option(const wchar_t* name, std::wstring* value) {
        for (size_t i = 0; i < args_.size(); ++i) {
            if (args_[i] != name) continue;
            if (i + 1 >= args_.size()) throw UsageError();
            *value = args_[i + 1];
            args_.erase(args_.begin() + static_cast<std::ptrdiff_t>(i), args_.begin() + static_cast<std::ptrdiff_t>(i + 2));
            return true;
        }
        return false;
    }
    bool Flag(const wchar_t* name) {
        for (size_t i = 0; i < args_.size(); ++i) {
            if (args_[i] == name) {
                args_.erase(args_.begin() + static_cast<std::ptrdiff_t>(i));
                return true;
            }
        }
        return false;
    }
    void End() const {
        if (!args_.empty()) throw UsageError();
    }

private:
    std::vector<std::wstring> args_;
};

long ToNumber(const std::wstring& text) {
    wchar_t* end = nullptr;
    long value = wcstol(text.c_str(), &end, 10);
    if (text.empty() || *end) throw UsageError();
    return value;
}

HRESULT ParseHresult(const std::wstring& text, HRESULT* hr) {
    wchar_t* end = nullptr;
    bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    long long value = wcstoll(text.c_str(), &end, hex ? 16 : 10);
    if (text.empty() || *end) return E_INVALIDARG;
    *hr = static_cast<HRESULT>(static_cast<unsigned long>(value & 0xFFFFFFFF));
    return S_OK;
}

std::wstring BaseName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 4];
    DWORD length = GetFullPathNameW(path.c_str(), ARRAYSIZE(full), full, nullptr);
    return length > 0 && length < ARRAYSIZE(full) ? std::wstring(full) : path;
}

HRESULT List(const std::wstring& store) {
    std::vector<tessera::DocumentInfo> docs;
    HRESULT hr = tessera::ListDocuments(store, &docs);
    if (FAILED(hr)) return hr;
    wprintf(L"server\tdatabase\tnumber\tversion\tsize\textension\tdescription\tchecked out by\n");
    for (const auto& d : docs) {
        bool lockedHere = !d.lockedBy.empty() && d.lockedVersion == d.version;
        wprintf(L"%ls\t%ls\t%ld\t%ld\t%lld\t%ls\t%ls\t%ls\n", d.server.c_str(), d.database.c_str(), d.number,
                d.version, d.size, d.extension.c_str(), d.description.c_str(),
                lockedHere ? d.lockedBy.c_str() : L"");
    }
    return S_OK;
}

HRESULT Run(const std::wstring& store, Args& args) {
    std::wstring command = args.Next();
    if (command == L"add-server") {
        std::wstring server = args.Next();
        args.End();
        return tessera::AddServer(store, server);
    }
    if (command == L"add-database") {
        std::wstring server = args.Next(), database = args.Next();
        args.End();
        return tessera::AddDatabase(store, server, database);
    }
    if (command == L"add-user") {
        std::wstring fullName;
        args.Option(L"--name", &fullName);
        bool trusted = args.Flag(L"--trusted");
        std::wstring server = args.Next(), user = args.Next(), password = args.Next();
        args.End();
        return tessera::AddUser(store, server, user, password, fullName, trusted);
    }
    if (command == L"add-document") {
        tessera::NewDocument doc;
        std::wstring number, rights;
        bool described = args.Option(L"--description", &doc.description);
        args.Option(L"--author", &doc.author);
        args.Option(L"--name", &doc.name);
        args.Option(L"--extension", &doc.extension);
        if (args.Option(L"--number", &number)) doc.number = ToNumber(number);
        if (args.Option(L"--rights", &rights)) doc.rights = ToNumber(rights);
        doc.server = args.Next();
        doc.database = args.Next();
        doc.contentFile = FullPath(args.Next());
        args.End();
        if (!described) doc.description = BaseName(doc.contentFile);
        long made = 0;
        HRESULT hr = tessera::AddDocument(store, doc, &made);
        if (SUCCEEDED(hr)) wprintf(L"%ld\n", made);
        return hr;
    }
    if (command == L"add-version") {
        std::wstring server = args.Next(), database = args.Next();
        long number = args.NextNumber();
        std::wstring file = FullPath(args.Next());
        args.End();
        long version = 0;
        HRESULT hr = tessera::AddVersion(store, server, database, number, file, &version);
        if (SUCCEEDED(hr)) wprintf(L"%ld\n", version);
        return hr;
    }
    if (command == L"list") {
        args.End();
        return List(store);
    }
    if (command == L"lock") {
        std::wstring server = args.Next(), database = args.Next();
        long number = args.NextNumber(), version = args.NextNumber();
        std::wstring user = args.Next(), path;
        if (!args.Empty()) path = args.Next();
        args.End();
        return tessera::LockDocument(store, server, database, number, version, user, path);
    }
    if (command == L"unlock") {
        std::wstring server = args.Next(), database = args.Next();
        long number = args.NextNumber();
        args.End();
        bool released = false;
        HRESULT hr = tessera::UnlockDocument(store, server, database, number, &released);
        if (SUCCEEDED(hr)) wprintf(L"%ls\n", released ? L"released" : L"not checked out");
        return hr;
    }
    if (command == L"delete") {
        std::wstring server = args.Next(), database = args.Next();
        long number = args.NextNumber();
        args.End();
        return tessera::DeleteDocument(store, server, database, number);
    }
    if (command == L"deny-checkin" || command == L"allow-checkin") {
        std::wstring server = args.Next(), database = args.Next();
        long number = args.NextNumber();
        std::wstring user = args.Next();
        args.End();
        return tessera::SetCheckInRight(store, server, database, number, user, command == L"allow-checkin");
    }
    if (command == L"fault") {
        std::wstring action = args.Next();
        if (action == L"clear") {
            args.End();
            return tessera::ClearFaults(store);
        }
        if (action != L"add") throw UsageError();
        std::wstring operation = args.Next(), code = args.Next();
        bool hang = _wcsicmp(code.c_str(), L"hang") == 0;
        long seconds = hang ? args.NextNumber() : 0;
        long count = args.Empty() ? 0 : args.NextNumber();
        args.End();
        if (hang) return tessera::AddHang(store, operation, seconds, count);
        if (_wcsicmp(code.c_str(), L"pass") == 0) return tessera::AddPass(store, operation, count);
        if (_wcsicmp(code.c_str(), L"refuse") == 0) return tessera::AddRefusal(store, operation, count);
        if (_wcsicmp(code.c_str(), L"kill") == 0 || _wcsicmp(code.c_str(), L"kill-after") == 0)
            return tessera::AddKill(store, operation, _wcsicmp(code.c_str(), L"kill-after") == 0, count ? count : 1);
        HRESULT hr = S_OK;
        if (FAILED(ParseHresult(code, &hr))) throw UsageError();
        return tessera::AddFault(store, operation, hr, count);
    }
    if (command == L"hold") {
        long seconds = args.NextNumber();
        args.End();
        return tessera::HoldStore(store, seconds);
    }
    if (command == L"preset") {
        std::wstring which = args.Next();
        if (which == L"clear") {
            args.End();
            return tessera::ClearPresets(store);
        }
        if (which == L"open") {
            if (args.Size() == 1) {
                if (args.Next() != L"cancel") throw UsageError();
                return tessera::SetOpenPresetCancel(store);
            }
            // Groups of three (database number version) or, with --server, of four.
            bool withServer = args.Flag(L"--server");
            size_t group = withServer ? 4 : 3;
            if (args.Empty() || args.Size() % group != 0) throw UsageError();
            std::vector<tessera::DocumentRef> refs;
            while (!args.Empty()) {
                tessera::DocumentRef ref;
                if (withServer) ref.server = args.Next();
                ref.database = args.Next();
                ref.number = args.NextNumber();
                ref.version = args.NextNumber();
                refs.push_back(ref);
            }
            return tessera::SetOpenPreset(store, refs);
        }
        if (which == L"import") {
            std::wstring database = args.Next();
            if (database == L"cancel") {
                args.End();
                return tessera::SetImportPresetCancel(store);
            }
            std::wstring description;
            if (!args.Empty()) description = args.Next();
            args.End();
            return tessera::SetImportPreset(store, database, description);
        }
    }
    throw UsageError();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> raw(argv + 1, argv + argc);
    Args args(raw);
    try {
        std::wstring store;
        args.Option(L"--store", &store);
        if (args.Empty()) throw UsageError();
        HRESULT hr = Run(store.empty() ? tessera::ResolveStoreFolder() : FullPath(store), args);
        if (FAILED(hr)) {
            fwprintf(stderr, L"tessera-store: failed with 0x%08lX\n", static_cast<unsigned long>(hr));
            return 2;
        }
        return 0;
    } catch (const UsageError&) {
        fputws(kUsage, stderr);
        return 1;
    }
}
