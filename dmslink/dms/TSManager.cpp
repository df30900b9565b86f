// TSManager: creation, the start-up probe and the sessions.
#include "dms/TSManager.h"

#include "VxGuard.h"
#include "VxHFT.h"
#include "VxWorker.h"
#include "Utilities/CAPHandles.h"
#include "dms/TesseraClient.h"

namespace {

// The wait cursor while the DMS is asked, the arrow again on every way out.
class ScopedWaitCursor {
public:
    ScopedWaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }
    ~ScopedWaitCursor() { SetCursor(LoadCursorW(nullptr, IDC_ARROW)); }
    ScopedWaitCursor(const ScopedWaitCursor&) = delete;
    ScopedWaitCursor& operator=(const ScopedWaitCursor&) = delete;
};

const char kSite[] = "TSManager";

// Asked of the host before the connected servers are counted; its answer is not used.
constexpr ASInt32 kQueryBeforeServerScan = 43;

}  // namespace

TSManager::TSManager(HWND parentWindow, TSServerList& servers, REFCLSID dmsClass)
    : parentWindow_(parentWindow), servers_(servers) {
    // Never uninitialised: at unload the DMS documents that CDocumentManager still holds are released
    // after this object has gone, and they need COM on this thread until then.
    CoInitialize(nullptr);
    try {
        dmsAvailable_ = dms_.CreateInstance(dmsClass, nullptr, CLSCTX_ALL) == S_OK && dms_;
    } catch (const _com_error&) {
        dmsAvailable_ = false;
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION(kSite, "TSManager::TSManager");
        dmsAvailable_ = false;
    }
    if (!dmsAvailable_) dms_.Attach(nullptr);
}

TSManager::~TSManager() { dms_.Attach(nullptr); }

bool TSManager::ProbeDmsClient() const {
    try {
        ITesseraCommandContextPtr context;
        return SUCCEEDED(context.CreateInstance(CLSID_TesseraCommandContext, nullptr, CLSCTX_ALL)) && context;
    } catch (const _com_error&) {
        return false;
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION(kSite, "TSManager::ProbeDmsClient");
        return false;
    }
}

namespace {

// The DMS's answer to a login, on any thread: 0 for success. A failed login leaves no session behind.
HRESULT SignIn(const ITesseraDMSPtr& dms, const std::wstring& server, bool trustedLogin, const std::wstring& userName,
               const std::wstring& password) {
    HRESULT result = S_OK;
    ITesseraSessionsPtr sessions;
    try {
        sessions = TesseraSessions(dms);
        ITesseraSessionPtr session = TesseraSessionFor(sessions, server);
        long answer = 1;
        if (trustedLogin) {
            // A refused trusted login answers S_OK with a non-zero code, like a refused password.
            TesseraCheck(session->TrustedLogin(&answer), __uuidof(ITesseraSession));
        } else if (!userName.empty() && !password.empty()) {
            TesseraCheck(session->Login(TesseraBstr(userName), TesseraBstr(password), &answer),
                         __uuidof(ITesseraSession));
        }
        result = answer;
    } catch (const _com_error& error) {
        result = error.Error();
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION(kSite, "TSManager::Login");
        result = E_UNEXPECTED;
    }
    if (result != 0 && sessions) {
        try {
            TesseraCheck(sessions->Remove(TesseraBstr(server)), __uuidof(ITesseraSessions));
        } catch (const _com_error&) {
            result = E_UNEXPECTED;
        } catch (...) {
            VX_LOG_CURRENT_EXCEPTION(kSite, "TSManager::Login");
            result = E_UNEXPECTED;
        }
    }
    return result;
}

}  // namespace

// One automatic login, shared by its worker and the manager: the worker sets the result once.
struct TSManager::PendingLogin {
    std::wstring server;
    DWORD started = GetTickCount();
    bool reported = false;
    CAPHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HRESULT result = E_UNEXPECTED;
};

namespace {

// A call under the DMS convention, as Call runs it. It keeps its own copy of the call, which may go
// on after Call has returned (the user stopped waiting).
struct GuardedCall {
    std::function<HRESULT()> call;

    HRESULT operator()() const {
        try {
            return call();
        } catch (const _com_error& error) {
            return error.Error();
        } catch (...) {
            VX_LOG_CURRENT_EXCEPTION(kSite, "TSManager::Call");
            return E_UNEXPECTED;
        }
    }
};

}  // namespace

bool TSManager::Call(const std::function<HRESULT()>& call, HRESULT* status) const {
    GuardedCall guarded{call};
    if (!waiter_) {
        *status = guarded();
        return true;
    }
    return waiter_->Run(guarded, status);
}

bool TSManager::Login(const std::wstring& server, bool trustedLogin, const std::wstring& userName,
                      const std::wstring& password) {
    ScopedWaitCursor cursor;
    HRESULT result = E_UNEXPECTED;
    if (dmsAvailable_) {
        ITesseraDMSPtr dms = dms_;
        // A login the user stopped waiting for counts as failed; the server stays disconnected.
        if (!Call([dms, server, trustedLogin, userName, password] {
                return SignIn(dms, server, trustedLogin, userName, password);
            }, &result))
            result = E_ABORT;
    }
    if (TSServerEntry* entry = servers_.FindServer(server)) entry->connected = result == 0;
    return result == 0;
}

void TSManager::LogInToAutoConnectServers() {
    if (!dmsAvailable_) return;
    for (int i = 0;; ++i) {
        TSServerEntry* entry = servers_.GetServerAt(i);
        if (!entry) break;
        if (!entry->autoConnect) continue;
        auto pending = std::make_shared<PendingLogin>();
        pending->server = entry->server;
        ITesseraDMSPtr dms = dms_;
        const bool trusted = entry->trustedLogin;
        const std::wstring userName = entry->userName, password = entry->password;
        HANDLE worker = VxStartWorker(VX_SITE(kSite, "TSManager::LogInToAutoConnectServers"),
                                      [pending, dms, trusted, userName, password]() -> DWORD {
                                          pending->result = SignIn(dms, pending->server, trusted, userName, password);
                                          SetEvent(pending->done.get());
                                          return 0;
                                      });
        if (!worker) continue;
        CloseHandle(worker);
        logins_.push_back(std::move(pending));
    }
}

bool TSManager::CollectLogins(std::vector<std::wstring>* silent) {
    const DWORD now = GetTickCount();
    for (size_t i = 0; i < logins_.size();) {
        PendingLogin& login = *logins_[i];
        if (WaitForSingleObject(login.done.get(), 0) == WAIT_OBJECT_0) {
            if (TSServerEntry* entry = servers_.FindServer(login.server)) entry->connected = login.result == 0;
            logins_.erase(logins_.begin() + static_cast<long>(i));
            continue;
        }
        if (silent && !login.reported && now - login.started >= patience_) {
            login.reported = true;
            silent->push_back(login.server);
        }
        ++i;
    }
    return !logins_.empty();
}

bool TSManager::AwaitLogins() {
    if (!CollectLogins()) return true;
    std::vector<std::shared_ptr<PendingLogin>> pending = logins_;
    HRESULT status = S_OK;
    bool answered = Call([pending]() -> HRESULT {
        for (const auto& login : pending) WaitForSingleObject(login->done.get(), INFINITE);
        return S_OK;
    }, &status);
    CollectLogins();
    return answered;
}

bool TSManager::Logout(const std::wstring& server) {
    ScopedWaitCursor cursor;
    if (!dmsAvailable_) return false;

    ITesseraDMSPtr dms = dms_;
    auto loggedOut = std::make_shared<bool>(false);
    HRESULT result = S_OK;
    bool answered = Call([dms, server, loggedOut]() -> HRESULT {
        ITesseraSessionsPtr sessions = TesseraSessions(dms);
        ITesseraSessionPtr session = TesseraSessionFor(sessions, server);
        long answer = 1;
        TesseraCheck(session->Logout(&answer), __uuidof(ITesseraSession));
        *loggedOut = answer == 0;
        if (*loggedOut) TesseraCheck(sessions->Remove(TesseraBstr(server)), __uuidof(ITesseraSessions));
        return answer;
    }, &result);
    // A session that logged out is no longer connected, even when it could not leave the collection.
    // One the user stopped waiting for keeps the state it had.
    if (!answered) return false;
    if (TSServerEntry* entry = servers_.FindServer(server); entry && (result == 0 || *loggedOut))
        entry->connected = false;
    return result == 0;
}

bool TSManager::IsAnyServerConnected() {
    VxAppQuery(kQueryBeforeServerScan);
    return servers_.AnyConnected();
}

DmsDocumentPtr TSManager::GetDocument(const std::wstring& server, const std::wstring& database, long number,
                                      long version, HRESULT* why) {
    HRESULT ignored = S_OK;
    HRESULT& status = why ? *why : ignored;
    status = TESSERA_E_NOT_LOGGED_IN;
    const TSServerEntry* entry = servers_.FindServer(server);
    if (!entry || !entry->connected || !dmsAvailable_) return nullptr;
    status = E_INVALIDARG;
    if (number < 0 || version < 0 || database.empty()) return nullptr;
    ITesseraDMSPtr dms = dms_;
    auto found = std::make_shared<ITesseraDocumentPtr>();
    status = E_ABORT;
    if (!Call([dms, server, database, number, version, found]() -> HRESULT {
            ITesseraSessionsPtr sessions = TesseraSessions(dms);
            ITesseraSessionPtr session;
            TesseraCheck(sessions->get_Item(TesseraBstr(server), &session), __uuidof(ITesseraSessions));
            if (!session) return E_POINTER;
            ITesseraDatabasesPtr databases;
            TesseraCheck(session->get_Databases(&databases), __uuidof(ITesseraSession));
            if (!databases) return E_POINTER;
            ITesseraDatabasePtr base;
            TesseraCheck(databases->get_Item(TesseraBstr(database), &base), __uuidof(ITesseraDatabases));
            if (!base) return E_POINTER;
            TesseraCheck(base->GetDocument(number, version, &*found), __uuidof(ITesseraDatabase));
            return *found ? S_OK : E_POINTER;
        }, &status) ||
        FAILED(status))
        return nullptr;
    return NewReference(found->GetInterfacePtr());
}
