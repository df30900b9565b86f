// TSManager.h - dmslink's one connection to the DMS: the DMS object, logins to the servers of the
// server list (whose entries keep the connected state) and DMS documents found through a session.
// Main thread only, but for the DMS calls themselves: every call that goes to the server runs through
// the manager's waiter, which keeps the host's main thread answering while the DMS takes its time
// (behind the progress dialog), and lets the user stop waiting for a DMS that does not answer.
#pragma once

#include <windows.h>

#include <TesseraDMS.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dms/DmsDocument.h"
#include "dms/TSServerList.h"

// Runs one DMS call where the host's main thread does not wait for it. True when the call answered,
// with its status; false when the user stopped waiting (the call goes on alone and owns what it uses).
class TSWaiter {
public:
    virtual ~TSWaiter() = default;
    virtual bool Run(std::function<HRESULT()> call, HRESULT* status) = 0;
};

class TSManager {
public:
    // Initialises COM on the calling thread (for good: see the constructor) and creates the DMS
    // object; dmsClass is only ever something else in tests. The list outlives the manager.
    TSManager(HWND parentWindow, TSServerList& servers, REFCLSID dmsClass = CLSID_TesseraDMS);
    virtual ~TSManager();
    TSManager(const TSManager&) = delete;
    TSManager& operator=(const TSManager&) = delete;

    // Whether the DMS client extensions are installed: their command context can be created.
    bool ProbeDmsClient() const;

    bool IsDmsAvailable() const { return dmsAvailable_; }
    HWND GetParentWindow() const { return parentWindow_; }
    // The DMS object, or null when it is not available.
    ITesseraDMS* GetDms() const { return dms_.GetInterfacePtr(); }
    TSServerList& Servers() const { return servers_; }

    // ---- waiting for the DMS
    // Without a waiter (tests) calls run on the calling thread.
    void SetWaiter(TSWaiter* waiter) { waiter_ = waiter; }
    // How long a DMS call may go unanswered before the user is offered to stop waiting.
    void SetPatience(DWORD milliseconds) { patience_ = milliseconds; }
    DWORD Patience() const { return patience_; }
    // One DMS call under the DMS convention: a DMS failure is its HRESULT, anything else is logged and
    // becomes 0x8000FFFF. False when the user stopped waiting. The call must own what it uses.
    bool Call(const std::function<HRESULT()>& call, HRESULT* status) const;

    // ---- sessions. The entry of that server, when there is one, keeps the state: `connected` is
    // the result of a login, and false after a logout that answered.
    bool Login(const std::wstring& server, bool trustedLogin, const std::wstring& userName,
               const std::wstring& password);
    bool Logout(const std::wstring& server);
    // Starts a login to every server marked for automatic login, each on a worker of its own: the
    // host's start waits for none of them.
    void LogInToAutoConnectServers();
    // Takes what the automatic logins have answered; the servers that have not answered within the
    // patience, each once, go to *silent. True while some are still running.
    bool CollectLogins(std::vector<std::wstring>* silent = nullptr);
    // Waits (through the waiter) until the automatic logins have answered; false when the user
    // stopped waiting.
    bool AwaitLogins();
    bool IsAnyServerConnected();
    // The document through the session of a configured, connected server; null on any failure, and
    // when the user stopped waiting. *why, when asked for, says which: TESSERA_E_NOT_LOGGED_IN for a
    // server that is not connected, E_ABORT, or the DMS's failure.
    DmsDocumentPtr GetDocument(const std::wstring& server, const std::wstring& database, long number,
                               long version, HRESULT* why = nullptr);

private:
    struct PendingLogin;

    ITesseraDMSPtr dms_;
    HWND parentWindow_;
    TSServerList& servers_;
    bool dmsAvailable_ = false;
    TSWaiter* waiter_ = nullptr;
    DWORD patience_ = 20000;
    std::vector<std::shared_ptr<PendingLogin>> logins_;
};
