#include "Objects.h"

#include <climits>

namespace tessera {

std::atomic<long>& LiveObjects() {
    static std::atomic<long> count{0};
    return count;
}

namespace {

std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// Operations that have no "refused" answer treat a refusal fault as access denied.
HRESULT OpenWithFault(StoreTransaction& tx, const wchar_t* operation, bool* refused) {
    if (FAILED(tx.Status())) return tx.Status();
    return tx.TakeFault(operation, refused);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

Dms::Dms(std::wstring folder) : sessions_(ComRef<ITesseraSessions>::Attach(new Sessions(std::move(folder)))) {}

HRESULT Dms::get_Sessions(ITesseraSessions** sessions) { return Give(sessions_, sessions); }

void* Dms::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ITesseraDMS))
        return static_cast<ITesseraDMS*>(this);
    return nullptr;
}

// ---------------------------------------------------------------------------------------------

void* Sessions::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ITesseraSessions))
        return static_cast<ITesseraSessions*>(this);
    if (iid == __uuidof(ITesseraSessionList)) return static_cast<ITesseraSessionList*>(this);
    return nullptr;
}

HRESULT Sessions::get_Item(BSTR server, ITesseraSession** session) {
    if (!session) return E_POINTER;
    *session = nullptr;
    std::lock_guard<std::mutex> hold(mutex_);
    for (const auto& s : sessions_)
        if (SameName(s->Server(), Text(server))) return Give(s, session);
    return TESSERA_E_NO_SESSION;
}

HRESULT Sessions::Add(BSTR server, ITesseraSession** session) {
    if (!session) return E_POINTER;
    *session = nullptr;
    std::wstring name = Text(server);
    if (name.empty()) return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(mutex_);
    // One session per server name: adding a name twice gives the session already there.
    for (const auto& s : sessions_)
        if (SameName(s->Server(), name)) return Give(s, session);
    sessions_.push_back(MakeObject<Session>(folder_, name));
    return Give(sessions_.back(), session);
}

HRESULT Sessions::Remove(BSTR server) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
        if (SameName((*it)->Server(), Text(server))) {
            sessions_.erase(it);
            return S_OK;
        }
    }
    return TESSERA_E_NO_SESSION;
}

HRESULT Sessions::get_Count(long* count) {
    if (!count) return E_POINTER;
    std::lock_guard<std::mutex> hold(mutex_);
    *count = static_cast<long>(sessions_.size());
    return S_OK;
}

HRESULT Sessions::SessionAt(long index, ITesseraSession** session) {
    if (!session) return E_POINTER;
    *session = nullptr;
    std::lock_guard<std::mutex> hold(mutex_);
    if (index < 0 || static_cast<size_t>(index) >= sessions_.size()) return E_INVALIDARG;
    return Give(sessions_[static_cast<size_t>(index)], session);
}

// ---------------------------------------------------------------------------------------------

void* Session::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ITesseraSession))
        return static_cast<ITesseraSession*>(this);
    if (iid == __uuidof(ITesseraSessionDetails)) return static_cast<ITesseraSessionDetails*>(this);
    return nullptr;
}

HRESULT Session::CurrentUser(std::wstring* user) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (user_.empty()) return TESSERA_E_NOT_LOGGED_IN;
    *user = user_;
    return S_OK;
}

// password null: a trusted login.
HRESULT Session::LoginAs(const wchar_t* operation, const std::wstring& user, const std::wstring* password,
                         long* result) {
    if (!result) return E_POINTER;
    *result = kLoginRefused;
    StoreTransaction tx(folder_);
    bool refused = false;
    HRESULT hr = OpenWithFault(tx, operation, &refused);
    if (FAILED(hr)) return hr;
    if (!tx.Data().HasServer(server_)) return TESSERA_E_NO_SERVER;
    if (refused) return S_OK;
    const StoreUser* known = tx.Data().FindUser(server_, user);
    if (password) {
        if (!known || known->password != *password) return S_OK;
    } else if (!known || !known->trusted) {
        *result = kLoginNotTrusted;
        return S_OK;
    }
    std::lock_guard<std::mutex> hold(mutex_);
    user_ = known->id;
    *result = 0;
    return S_OK;
}

HRESULT Session::Login(BSTR user, BSTR password, long* result) {
    std::wstring secret = Text(password);
    return LoginAs(L"Login", Text(user), &secret, result);
}

HRESULT Session::TrustedLogin(long* result) {
    wchar_t name[257];
    DWORD length = ARRAYSIZE(name);
    if (!GetUserNameW(name, &length)) return HRESULT_FROM_WIN32(GetLastError());
    return LoginAs(L"TrustedLogin", name, nullptr, result);
}

HRESULT Session::Logout(long* result) {
    if (!result) return E_POINTER;
    *result = 1;
    StoreTransaction tx(folder_);
    bool refused = false;
    HRESULT hr = OpenWithFault(tx, L"Logout", &refused);
    if (FAILED(hr) || refused) return hr;
    std::lock_guard<std::mutex> hold(mutex_);
    user_.clear();
    *result = 0;
    return S_OK;
}

HRESULT Session::get_Databases(ITesseraDatabases** databases) {
    if (!databases) return E_POINTER;
    *databases = nullptr;
    std::wstring user;
    HRESULT hr = CurrentUser(&user);
    if (FAILED(hr)) return hr;
    StoreTransaction tx(folder_);
    bool refused = false;
    hr = OpenWithFault(tx, L"Databases", &refused);
    if (FAILED(hr)) return hr;
    if (refused) return E_ACCESSDENIED;
    return Give(MakeObject<Databases>(ComRef<Session>::Retain(this)), databases);
}

HRESULT Session::get_ServerName(BSTR* name) { return GiveText(server_, name); }

HRESULT Session::get_LoggedIn(VARIANT_BOOL* loggedIn) {
    if (!loggedIn) return E_POINTER;
    std::lock_guard<std::mutex> hold(mutex_);
    *loggedIn = user_.empty() ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
}

HRESULT Session::GetDetails(BSTR* storeFolder, BSTR* userId) {
    if (!storeFolder || !userId) return E_POINTER;
    *storeFolder = *userId = nullptr;
    std::wstring user;
    HRESULT hr = CurrentUser(&user);
    if (FAILED(hr)) return hr;
    UniqueBstr folder;
    hr = GiveText(folder_, folder.put());
    if (SUCCEEDED(hr)) hr = GiveText(user, userId);
    if (SUCCEEDED(hr)) *storeFolder = folder.release();
    return hr;
}

// ---------------------------------------------------------------------------------------------

void* Databases::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ITesseraDatabases))
        return static_cast<ITesseraDatabases*>(this);
    return nullptr;
}

HRESULT Databases::get_Item(BSTR name, ITesseraDatabase** database) {
    if (!database) return E_POINTER;
    *database = nullptr;
    std::wstring user;
    HRESULT hr = session_->CurrentUser(&user);
    if (FAILED(hr)) return hr;
    StoreTransaction tx(session_->Folder());
    if (FAILED(tx.Status())) return tx.Status();
    for (const auto& d : tx.Data().databases) {
        if (SameName(d.server, session_->Server()) && SameName(d.name, Text(name)))
            return Give(MakeObject<Database>(ComRef<Session>::Retain(session_.get()), d.name), database);
    }
    return TESSERA_E_NOT_FOUND;
}

HRESULT Databases::get_Count(long* count) {
    if (!count) return E_POINTER;
    StoreTransaction tx(session_->Folder());
    if (FAILED(tx.Status())) return tx.Status();
    long n = 0;
    for (const auto& d : tx.Data().databases)
        if (SameName(d.server, session_->Server())) ++n;
    *count = n;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------

void* Database::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ITesseraDatabase))
        return static_cast<ITesseraDatabase*>(this);
    return nullptr;
}

HRESULT Database::get_Name(BSTR* name) { return GiveText(name_, name); }

HRESULT Database::get_Session(ITesseraSession** session) { return Give(session_, session); }

HRESULT Database::GetDocument(long number, long version, ITesseraDocument** document) {
    if (!document) return E_POINTER;
    *document = nullptr;
    std::wstring user;
    HRESULT hr = session_->CurrentUser(&user);
    if (FAILED(hr)) return hr;
    StoreTransaction tx(session_->Folder());
    bool refused = false;
    hr = OpenWithFault(tx, L"GetDocument", &refused);
    if (FAILED(hr)) return hr;
    if (refused) return E_ACCESSDENIED;
    StoreDocument* doc = tx.Data().FindDocument(session_->Server(), name_, number);
    StoreVersion* stored = doc ? doc->FindVersion(version) : nullptr;
    if (!stored) return TESSERA_E_NOT_FOUND;
    DocumentFacts facts;
    facts.number = number;
    facts.version = version;
    facts.size = FileSize(tx.FullPath(stored->content));
    facts.extension = doc->extension;
    facts.name = doc->name;
    facts.description = doc->description;
    facts.rights = doc->rights;
    // The rights arrive with the object: a fault on them is taken now and answered by the object.
    bool rightsFault = false;
    hr = tx.TakeFault(L"AccessRights", &rightsFault);
    if (FAILED(hr)) return hr;
    facts.rightsUnreadable = rightsFault;
    if (!doc->author.empty()) {
        const StoreUser* author = tx.Data().FindUser(doc->server, doc->author);
        facts.authorId = author ? author->id : doc->author;
        if (author) facts.authorName = author->fullName;
    }
    return Give(MakeObject<Document>(ComRef<Database>::Retain(this), std::move(facts)), document);
}

// ---------------------------------------------------------------------------------------------

void* Document::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ITesseraRecord) ||
        iid == __uuidof(ITesseraDocument))
        return static_cast<ITesseraDocument*>(this);
    return nullptr;
}

template <typename Action>
HRESULT Document::WithRecord(const wchar_t* fault, Action action) {
    Session& session = database_->Owner();
    StoreTransaction tx(session.Folder());
    bool refused = false;
    HRESULT hr = OpenWithFault(tx, fault, &refused);
    if (FAILED(hr)) return hr;
    StoreDocument* doc = tx.Data().FindDocument(session.Server(), database_->Name(), facts_.number);
    if (!doc || !doc->FindVersion(facts_.version)) return TESSERA_E_NOT_FOUND;
    hr = action(tx, *doc, refused);
    if (TakeKillAfter()) EndProcessAsKilled();
    return hr;
}

HRESULT Document::get_AccessRights(long* rights) {
    if (!rights) return E_POINTER;
    if (facts_.rightsUnreadable) return E_FAIL;
    *rights = facts_.rights;
    return S_OK;
}

HRESULT Document::get_Database(ITesseraDatabase** database) { return Give(database_, database); }

HRESULT Document::get_CheckedOutBy(ITesseraUser** user) {
    if (!user) return E_POINTER;
    *user = nullptr;
    return WithRecord(L"CheckedOutBy", [&](StoreTransaction& tx, StoreDocument& doc, bool refused) -> HRESULT {
        if (refused) return E_ACCESSDENIED;
        if (!doc.lock) return S_OK;
        const StoreUser* known = tx.Data().FindUser(doc.server, doc.lock->user);
        return Give(MakeObject<User>(doc.lock->user, known ? known->fullName : std::wstring()), user);
    });
}

HRESULT Document::get_IsCheckedOut(VARIANT_BOOL* checkedOut) {
    if (!checkedOut) return E_POINTER;
    return WithRecord(L"IsCheckedOut", [&](StoreTransaction&, StoreDocument& doc, bool refused) -> HRESULT {
        if (refused) return E_ACCESSDENIED;
        *checkedOut = doc.lock ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT Document::Unlock(VARIANT_BOOL* released) {
    if (!released) return E_POINTER;
    *released = VARIANT_FALSE;
    std::wstring user;
    HRESULT hr = database_->Owner().CurrentUser(&user);
    if (FAILED(hr)) return hr;
    return WithRecord(L"Unlock", [&](StoreTransaction& tx, StoreDocument& doc, bool refused) -> HRESULT {
        if (refused || !doc.lock) return S_OK;
        if (!SameName(doc.lock->user, user)) return TESSERA_E_IN_USE;
        doc.lock.reset();
        HRESULT committed = tx.Commit();
        if (SUCCEEDED(committed)) *released = VARIANT_TRUE;
        return committed;
    });
}

HRESULT Document::get_Number(long* number) {
    if (!number) return E_POINTER;
    *number = facts_.number;
    return S_OK;
}

HRESULT Document::get_Version(long* version) {
    if (!version) return E_POINTER;
    *version = facts_.version;
    return S_OK;
}

HRESULT Document::get_Size(long* bytes) {
    if (!bytes) return E_POINTER;
    if (facts_.size < 0) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    *bytes = facts_.size > LONG_MAX ? LONG_MAX : static_cast<long>(facts_.size);
    return S_OK;
}

HRESULT Document::get_Extension(BSTR* extension) { return GiveText(facts_.extension, extension); }

HRESULT Document::get_Name(BSTR* name) { return GiveText(facts_.name, name); }

HRESULT Document::get_Description(BSTR* description) { return GiveText(facts_.description, description); }

HRESULT Document::get_Author(ITesseraUser** author) {
    if (!author) return E_POINTER;
    *author = nullptr;
    if (facts_.authorId.empty()) return S_OK;
    return Give(MakeObject<User>(facts_.authorId, facts_.authorName), author);
}

HRESULT Document::CheckOut(BSTR path, long option, double dueDate, BSTR comment) {
    std::wstring target = Text(path);
    if (target.empty()) return E_INVALIDARG;
    std::wstring user;
    HRESULT hr = database_->Owner().CurrentUser(&user);
    if (FAILED(hr)) return hr;
    return WithRecord(L"CheckOut", [&](StoreTransaction& tx, StoreDocument& doc, bool refused) -> HRESULT {
        if (refused) return E_ACCESSDENIED;
        if (doc.lock) return TESSERA_E_IN_USE;
        if (!TransferFile(tx.FullPath(doc.FindVersion(facts_.version)->content), target, FALSE))
            return HRESULT_FROM_WIN32(GetLastError());
        doc.lock = StoreLock{user, facts_.version, target};
        return tx.Commit();
    });
}

HRESULT Document::CheckIn(BSTR path, long disposition, long keepCheckedOut, void* reserved, IUnknown** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (disposition != 0 && disposition != 2) return E_INVALIDARG;
    std::wstring source = Text(path);
    if (source.empty()) return E_INVALIDARG;
    std::wstring user;
    HRESULT hr = database_->Owner().CurrentUser(&user);
    if (FAILED(hr)) return hr;
    return WithRecord(L"CheckIn", [&](StoreTransaction& tx, StoreDocument& doc, bool refused) -> HRESULT {
        // The DMS declines a check-in it has no check-out for, as it does when refusing.
        if (refused || !doc.lock) return S_OK;
        if (!SameName(doc.lock->user, user)) return TESSERA_E_IN_USE;
        // A user without the right to check the document in gets the same refusal; the lock stays.
        if (!doc.MayCheckIn(user)) return S_OK;
        std::wstring content;
        HRESULT copied = tx.ImportContent(source, &content);
        if (FAILED(copied)) return copied;
        std::wstring replaced;
        if (disposition == 0) {
            long next = doc.LatestVersion() + 1;
            doc.versions.push_back({next, content});
            doc.lock->version = next;
        } else {
            StoreVersion* version = doc.FindVersion(facts_.version);
            replaced = version->content;
            version->content = content;
        }
        if (!keepCheckedOut) doc.lock.reset();
        HRESULT committed = tx.Commit();
        if (FAILED(committed)) {
            DeleteFileW(tx.FullPath(content).c_str());
            return committed;
        }
        if (!replaced.empty()) DeleteFileW(tx.FullPath(replaced).c_str());
        *result = static_cast<IDispatch*>(MakeObject<CheckinResult>().release());
        return S_OK;
    });
}

// ---------------------------------------------------------------------------------------------

void* User::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ITesseraUser))
        return static_cast<ITesseraUser*>(this);
    return nullptr;
}

void* CheckinResult::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch) return static_cast<IDispatch*>(this);
    return nullptr;
}

// ---------------------------------------------------------------------------------------------

void* CommandContext::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ITesseraCommandContext))
        return static_cast<ITesseraCommandContext*>(this);
    return nullptr;
}

HRESULT CommandContext::AddItem(BSTR name, VARIANT value) {
    std::wstring key = Text(name);
    if (key.empty()) return E_INVALIDARG;
    Variant copy;
    HRESULT hr = VariantCopy(copy.get(), &value);
    if (FAILED(hr)) return hr;
    std::lock_guard<std::mutex> hold(mutex_);
    // A name added again keeps its place and takes the new value.
    for (auto& item : items_) {
        if (item.first == key) {
            item.second = std::move(copy);
            return S_OK;
        }
    }
    items_.emplace_back(std::move(key), std::move(copy));
    return S_OK;
}

HRESULT CommandContext::get_Item(BSTR name, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    std::lock_guard<std::mutex> hold(mutex_);
    for (auto& item : items_)
        if (item.first == Text(name)) return VariantCopy(value, item.second.get());
    return TESSERA_E_NOT_FOUND;
}

HRESULT CommandContext::get_Count(long* count) {
    if (!count) return E_POINTER;
    std::lock_guard<std::mutex> hold(mutex_);
    *count = static_cast<long>(items_.size());
    return S_OK;
}

HRESULT CommandContext::get_ItemName(long index, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    std::lock_guard<std::mutex> hold(mutex_);
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return E_INVALIDARG;
    return GiveText(items_[static_cast<size_t>(index)].first, name);
}

// ---------------------------------------------------------------------------------------------

void* CommandBase::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ITesseraCommand))
        return static_cast<ITesseraCommand*>(this);
    return nullptr;
}

HRESULT CommandBase::Initialize(ITesseraCommandContext* context) {
    if (!context) return E_POINTER;
    StoreTransaction tx(folder_);
    bool refused = false;
    HRESULT hr = OpenWithFault(tx, L"Initialize", &refused);
    if (FAILED(hr)) return hr;
    if (refused) return E_ACCESSDENIED;
    std::lock_guard<std::mutex> hold(mutex_);
    context_ = ComRef<ITesseraCommandContext>::Retain(context);
    return S_OK;
}

HRESULT CommandBase::Update() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (!context_) return E_UNEXPECTED;
    }
    StoreTransaction tx(folder_);
    bool refused = false;
    HRESULT hr = OpenWithFault(tx, L"Update", &refused);
    if (FAILED(hr)) return hr;
    return refused ? E_ACCESSDENIED : S_OK;
}

HRESULT CommandBase::Execute() {
    ComRef<ITesseraCommandContext> context;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (!context_) return E_UNEXPECTED;
        context = ComRef<ITesseraCommandContext>::Retain(context_.get());
    }
    {
        // Not held while the dialog is up: other processes must reach the store meanwhile.
        StoreTransaction tx(folder_);
        if (FAILED(tx.Status())) return tx.Status();
        bool refused = false;
        HRESULT hr = tx.TakeFault({L"Execute", FaultName()}, &refused);
        if (FAILED(hr)) return hr;
        if (refused) return S_FALSE;
    }
    return Run(context.get());
}

}  // namespace tessera
