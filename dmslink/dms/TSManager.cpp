// TSManager: creation, the start-up probe and the sessions.
#include "dms/TSManager.h"

#include "VxGuard.h"
#include "VxHFT.h"
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

bool TSManager::Login(const std::wstring& server, bool trustedLogin, const std::wstring& userName,
                      const std::wstring& password) {
    ScopedWaitCursor cursor;
    if (!dmsAvailable_) {
        if (TSServerEntry* entry = servers_.FindServer(server)) entry->connected = false;
        return false;
    }

    HRESULT result = S_OK;
    ITesseraSessionsPtr sessions;
    ITesseraSessionPtr session;
    try {
        sessions = TesseraSessions(dms_);
        session = TesseraSessionFor(sessions, server);
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

    // A failed login leaves no session behind.
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
    if (TSServerEntry* entry = servers_.FindServer(server)) entry->connected = result == 0;
    return result == 0;
}

void TSManager::LogInToAutoConnectServers() {
    for (int i = 0;; ++i) {
        TSServerEntry* entry = servers_.GetServerAt(i);
        if (!entry) break;
        if (entry->autoConnect) Login(entry->server, entry->trustedLogin, entry->userName, entry->password);
    }
}

bool TSManager::Logout(const std::wstring& server) {
    ScopedWaitCursor cursor;
    if (!dmsAvailable_) return false;

    HRESULT result = S_OK;
    bool loggedOut = false;
    try {
        ITesseraSessionsPtr sessions = TesseraSessions(dms_);
        ITesseraSessionPtr session = TesseraSessionFor(sessions, server);
        long answer = 1;
        TesseraCheck(session->Logout(&answer), __uuidof(ITesseraSession));
        loggedOut = answer == 0;
        if (loggedOut) TesseraCheck(sessions->Remove(TesseraBstr(server)), __uuidof(ITesseraSessions));
        result = answer;
    } catch (const _com_error& error) {
        result = error.Error();
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION(kSite, "TSManager::Logout");
        result = E_UNEXPECTED;
    }
    // A session that logged out is no longer connected, even when it could not leave the collection.
    if (TSServerEntry* entry = servers_.FindServer(server); entry && (result == 0 || loggedOut))
        entry->connected = false;
    return result == 0;
}

bool TSManager::IsAnyServerConnected() {
    VxAppQuery(kQueryBeforeServerScan);
    return servers_.AnyConnected();
}

DmsDocumentPtr TSManager::GetDocument(const std::wstring& server, const std::wstring& database, long number,
                                      long version) {
    const TSServerEntry* entry = servers_.FindServer(server);
    if (!entry || !entry->connected || number < 0 || version < 0 || database.empty() || !dmsAvailable_)
        return nullptr;
    try {
        ITesseraSessionsPtr sessions = TesseraSessions(dms_);
        ITesseraSessionPtr session;
        TesseraCheck(sessions->get_Item(TesseraBstr(server), &session), __uuidof(ITesseraSessions));
        if (!session) return nullptr;
        ITesseraDatabasesPtr databases;
        TesseraCheck(session->get_Databases(&databases), __uuidof(ITesseraSession));
        if (!databases) return nullptr;
        ITesseraDatabasePtr base;
        TesseraCheck(databases->get_Item(TesseraBstr(database), &base), __uuidof(ITesseraDatabases));
        if (!base) return nullptr;
        ITesseraDocumentPtr document;
        TesseraCheck(base->GetDocument(number, version, &document), __uuidof(ITesseraDatabase));
        if (!document) return nullptr;
        auto holder = std::make_unique<DmsDocumentHolder>();
        holder->document = document;
        return holder;
    } catch (const _com_error&) {
        return nullptr;
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION(kSite, "TSManager::GetDocument");
        return nullptr;
    }
}
