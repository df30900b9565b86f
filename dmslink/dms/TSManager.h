// TSManager.h - dmslink's one connection to the DMS: the DMS object, logins to the servers of the
// server list (whose entries keep the connected state) and DMS documents found through a session.
// Main thread only.
#pragma once

#include <windows.h>

#include <TesseraDMS.h>

#include <string>

#include "dms/DmsDocument.h"
#include "dms/TSServerList.h"

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

    // ---- sessions. The entry of that server, when there is one, keeps the state: `connected` is
    // the result of a login, and false after a logout that succeeded.
    bool Login(const std::wstring& server, bool trustedLogin, const std::wstring& userName,
               const std::wstring& password);
    bool Logout(const std::wstring& server);
    // Logs in to every server marked for automatic login, in list order.
    void LogInToAutoConnectServers();
    bool IsAnyServerConnected();
    // The document through the session of a configured, connected server; null on any failure.
    DmsDocumentPtr GetDocument(const std::wstring& server, const std::wstring& database, long number,
                               long version);

private:
    ITesseraDMSPtr dms_;
    HWND parentWindow_;
    TSServerList& servers_;
    bool dmsAvailable_ = false;
};
