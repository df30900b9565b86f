#include <algorithm>

#include "Dialogs.h"
#include "Objects.h"

namespace tessera {
namespace {

struct LiveSession {
    ComRef<ITesseraSession> session;
    std::wstring server;
    std::wstring folder;
    std::wstring user;
};

HRESULT GetItem(ITesseraCommandContext* context, const wchar_t* name, Variant* value) {
    UniqueBstr key(SysAllocString(name));
    if (!key) return E_OUTOFMEMORY;
    return context->get_Item(key.get(), value->put());
}

HRESULT PutItem(ITesseraCommandContext* context, const wchar_t* name, const Variant& value) {
    UniqueBstr key(SysAllocString(name));
    if (!key) return E_OUTOFMEMORY;
    return context->AddItem(key.get(), *value.get());
}

std::wstring TextItem(ITesseraCommandContext* context, const wchar_t* name) {
    Variant value;
    if (FAILED(GetItem(context, name, &value)) || value.get()->vt != VT_BSTR || !value.get()->bstrVal)
        return std::wstring();
    return std::wstring(value.get()->bstrVal, SysStringLen(value.get()->bstrVal));
}

bool BoolItem(ITesseraCommandContext* context, const wchar_t* name, bool fallback) {
    Variant value;
    if (FAILED(GetItem(context, name, &value)) || FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BOOL)))
        return fallback;
    return value.get()->boolVal != VARIANT_FALSE;
}

HWND OwnerWindow(ITesseraCommandContext* context) {
    Variant value;
    if (FAILED(GetItem(context, L"ParentWindow", &value)) ||
        FAILED(VariantChangeType(value.get(), value.get(), 0, VT_I4)))
        return nullptr;
    // Window handles fit in 32 bits on 64-bit Windows too; sign extension gives the handle back.
    HWND owner = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value.get()->lVal));
    return IsWindow(owner) ? owner : nullptr;
}

HRESULT LoggedInSessions(ITesseraCommandContext* context, std::vector<LiveSession>* live) {
    Variant item;
    HRESULT hr = GetItem(context, L"TesseraDMS", &item);
    if (FAILED(hr)) return hr;
    IUnknown* unknown = item.get()->vt == VT_UNKNOWN    ? item.get()->punkVal
                        : item.get()->vt == VT_DISPATCH ? item.get()->pdispVal
                                                        : nullptr;
    if (!unknown) return E_INVALIDARG;
    ComRef<ITesseraDMS> dms;
    hr = unknown->QueryInterface(__uuidof(ITesseraDMS), dms.put_void());
    if (FAILED(hr)) return hr;
    ComRef<ITesseraSessions> sessions;
    hr = dms->get_Sessions(sessions.put());
    if (FAILED(hr)) return hr;
    auto list = sessions.As<ITesseraSessionList>();
    if (!list) return E_NOINTERFACE;
    long count = 0;
    hr = sessions->get_Count(&count);
    if (FAILED(hr)) return hr;
    for (long i = 0; i < count; ++i) {
        LiveSession entry;
        if (FAILED(list->SessionAt(i, entry.session.put()))) continue;
        auto details = entry.session.As<ITesseraSessionDetails>();
        UniqueBstr folder, user, server;
        if (!details || FAILED(details->GetDetails(folder.put(), user.put())) ||
            FAILED(entry.session->get_ServerName(server.put())))
            continue;
        entry.folder = folder.get();
        entry.user = user.get();
        entry.server = server.get();
        live->push_back(std::move(entry));
    }
    return S_OK;
}

HRESULT OpenDocument(const LiveSession& live, const std::wstring& database, long number, long version,
                     ComRef<ITesseraDocument>* document) {
    ComRef<ITesseraDatabases> databases;
    HRESULT hr = live.session->get_Databases(databases.put());
    if (FAILED(hr)) return hr;
    UniqueBstr name(SysAllocString(database.c_str()));
    if (!name) return E_OUTOFMEMORY;
    ComRef<ITesseraDatabase> found;
    hr = databases->get_Item(name.get(), found.put());
    if (FAILED(hr)) return hr;
    return found->GetDocument(number, version, document->put());
}

// A preset names a document by "database number version" or "server database number version".
HRESULT OpenPresetDocument(const std::vector<LiveSession>& sessions, const std::wstring& line,
                           ComRef<ITesseraDocument>* document) {
    std::vector<std::wstring> fields = SplitFields(line);
    if (fields.size() != 3 && fields.size() != 4) return E_INVALIDARG;
    std::wstring server = fields.size() == 4 ? fields[0] : std::wstring();
    const std::wstring& database = fields[fields.size() - 3];
    long number = 0, version = 0;
    if (!ParseLong(fields[fields.size() - 2], &number) || !ParseLong(fields[fields.size() - 1], &version))
        return E_INVALIDARG;
    for (const auto& live : sessions) {
        if (!server.empty() && !SameName(server, live.server)) continue;
        if (SUCCEEDED(OpenDocument(live, database, number, version, document))) return S_OK;
    }
    return TESSERA_E_NOT_FOUND;
}

HRESULT BrowseRows(const std::vector<LiveSession>& sessions, const std::wstring& extension,
                   std::vector<BrowseRow>* rows) {
    for (size_t i = 0; i < sessions.size(); ++i) {
        StoreTransaction tx(sessions[i].folder);
        if (FAILED(tx.Status())) return tx.Status();
        for (const auto& doc : tx.Data().documents) {
            if (!SameName(doc.server, sessions[i].server)) continue;
            if (!extension.empty() && !SameName(doc.extension, extension)) continue;
            for (const auto& version : doc.versions) {
                rows->push_back({i, doc.database, doc.number, version.number, doc.description, doc.extension,
                                 doc.lock ? doc.lock->user : std::wstring()});
            }
        }
    }
    std::stable_sort(rows->begin(), rows->end(), [](const BrowseRow& a, const BrowseRow& b) {
        if (a.session != b.session) return a.session < b.session;
        int byName = _wcsicmp(a.database.c_str(), b.database.c_str());
        if (byName != 0) return byName < 0;
        return a.number != b.number ? a.number < b.number : a.version < b.version;
    });
    return S_OK;
}

}  // namespace

HRESULT OpenCommand::Run(ITesseraCommandContext* context) {
    std::vector<LiveSession> sessions;
    HRESULT hr = LoggedInSessions(context, &sessions);
    if (FAILED(hr)) return hr;
    if (sessions.empty()) return TESSERA_E_NOT_LOGGED_IN;
    bool multiSelect = BoolItem(context, L"TesseraExt2.MultiFileSelection", false);
    std::wstring appType = TextItem(context, L"TesseraExt2.FileOpFilterAppType");
    // A type the DMS does not know filters nothing out.
    std::wstring extension = ExtensionForAppType(appType);

    std::vector<ComRef<ITesseraDocument>> chosen;
    std::vector<std::wstring> preset;
    bool scripted = false;
    hr = TakePreset(Folder(), L"open.txt", &preset, &scripted);
    if (FAILED(hr)) return hr;
    if (scripted) {
        for (const auto& line : preset) {
            if (line.empty()) continue;
            if (SameName(line, L"cancel")) return S_FALSE;
            ComRef<ITesseraDocument> document;
            hr = OpenPresetDocument(sessions, line, &document);
            if (FAILED(hr)) return hr;
            chosen.push_back(std::move(document));
        }
    } else {
        std::vector<BrowseRow> rows;
        hr = BrowseRows(sessions, extension, &rows);
        if (FAILED(hr)) return hr;
        std::vector<size_t> picked;
        hr = RunBrowseDialog(OwnerWindow(context), rows, multiSelect, &picked);
        if (hr != S_OK) return hr;
        for (size_t index : picked) {
            const BrowseRow& row = rows[index];
            ComRef<ITesseraDocument> document;
            hr = OpenDocument(sessions[row.session], row.database, row.number, row.version, &document);
            if (FAILED(hr)) return hr;
            chosen.push_back(std::move(document));
        }
    }
    if (!multiSelect && chosen.size() > 1) chosen.erase(chosen.begin() + 1, chosen.end());
    if (chosen.empty()) return S_FALSE;

    UniqueSafeArray array(SafeArrayCreateVector(VT_DISPATCH, 0, static_cast<ULONG>(chosen.size())));
    if (!array) return E_OUTOFMEMORY;
    for (size_t i = 0; i < chosen.size(); ++i) {
        LONG index = static_cast<LONG>(i);
        hr = SafeArrayPutElement(array.get(), &index, static_cast<IDispatch*>(chosen[i].get()));
        if (FAILED(hr)) return hr;
    }
    Variant value;
    value.get()->vt = VT_ARRAY | VT_DISPATCH;
    value.get()->parray = array.release();
    hr = PutItem(context, L"SelectedTesseraObjects", value);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT ImportCommand::Run(ITesseraCommandContext* context) {
    std::vector<LiveSession> sessions;
    HRESULT hr = LoggedInSessions(context, &sessions);
    if (FAILED(hr)) return hr;
    if (sessions.empty()) return TESSERA_E_NOT_LOGGED_IN;

    struct Target {
        size_t session;
        std::wstring database;
    };
    std::vector<Target> targets;
    ImportDialogState state;
    state.description = TextItem(context, L"TesseraExt.Import.DocDescription");
    state.docType = TextItem(context, L"TesseraExt.Import.DocType");
    for (size_t i = 0; i < sessions.size(); ++i) {
        StoreTransaction tx(sessions[i].folder);
        if (FAILED(tx.Status())) return tx.Status();
        for (const auto& d : tx.Data().databases) {
            if (!SameName(d.server, sessions[i].server)) continue;
            targets.push_back({i, d.name});
            state.targets.push_back(sessions[i].server + L": " + d.name);
        }
    }
    if (targets.empty()) return TESSERA_E_NOT_FOUND;

    std::vector<std::wstring> preset;
    bool scripted = false;
    hr = TakePreset(Folder(), L"import.txt", &preset, &scripted);
    if (FAILED(hr)) return hr;
    if (scripted) {
        if (preset.empty() || SameName(preset[0], L"cancel")) return S_FALSE;
        std::vector<std::wstring> fields = SplitFields(preset[0]);
        if (fields.empty() || fields.size() > 2) return E_INVALIDARG;
        auto match = std::find_if(targets.begin(), targets.end(), [&](const Target& t) {
            return SameName(t.database, fields.back()) &&
                   (fields.size() == 1 || SameName(sessions[t.session].server, fields[0]));
        });
        if (match == targets.end()) return TESSERA_E_NOT_FOUND;
        state.target = static_cast<size_t>(match - targets.begin());
        if (preset.size() > 1) state.description = preset[1];
    } else {
        hr = RunImportDialog(OwnerWindow(context), &state);
        if (hr != S_OK) return hr;
    }

    const Target& target = targets[state.target];
    const LiveSession& live = sessions[target.session];
    std::wstring extension = ExtensionForAppType(state.docType);
    if (extension.empty()) extension = L"pdf";
    long number = 0;
    {
        StoreTransaction tx(live.folder);
        if (FAILED(tx.Status())) return tx.Status();
        if (!tx.Data().HasDatabase(live.server, target.database)) return TESSERA_E_NOT_FOUND;
        StoreDocument doc;
        doc.server = live.server;
        for (const auto& s : tx.Data().servers)
            if (SameName(s, live.server)) doc.server = s;
        doc.database = target.database;
        doc.number = number = tx.Data().NextNumber(live.server, target.database);
        doc.extension = extension;
        doc.description = state.description;
        doc.author = live.user;
        doc.rights = 255;
        std::wstring content;
        hr = tx.ImportContent(std::wstring(), &content);
        if (FAILED(hr)) return hr;
        doc.versions.push_back({1, content});
        // The new document waits, checked out, for the content the caller checks in.
        doc.lock = StoreLock{live.user, 1, std::wstring()};
        tx.Data().documents.push_back(std::move(doc));
        hr = tx.Commit();
        if (FAILED(hr)) {
            DeleteFileW(tx.FullPath(content).c_str());
            return hr;
        }
    }
    ComRef<ITesseraDocument> document;
    hr = OpenDocument(live, target.database, number, 1, &document);
    if (FAILED(hr)) return hr;
    Variant value;
    value.get()->vt = VT_DISPATCH;
    value.get()->pdispVal = document.release();
    hr = PutItem(context, L"ImportedDocument", value);
    return FAILED(hr) ? hr : S_OK;
}

}  // namespace tessera
