// TSManager.h - dmslink's one connection to the DMS: the DMS object, the configured servers with
// their stored credentials, logins, and the plug-in's preference flags. Main thread only.
#pragma once

#include <windows.h>

#include <TesseraDMS.h>

#include <optional>
#include <string>

#include "CAPArray.h"
#include "dms/DmsDocument.h"
#include "dms/TSServerEntry.h"


class TSManager {
public:
    // Initialises COM on the calling thread (for good: see the constructor) and creates the DMS
    // object; dmsClass is only ever something else in tests.
    explicit TSManager(HWND parentWindow, REFCLSID dmsClass = CLSID_TesseraDMS);
    virtual ~TSManager();
    TSManager(const TSManager&) = delete;
    TSManager& operator=(const TSManager&) = delete;

    // Whether the DMS client extensions are installed: their command context can be created.
    bool ProbeDmsClient() const;

    bool IsDmsAvailable() const { return dmsAvailable_; }
    HWND GetParentWindow() const { return parentWindow_; }
    // The DMS object, or null when it is not available.
    ITesseraDMS* GetDms() const { return dms_.GetInterfacePtr(); }

    // ---- server list; names compare exactly
    // Adds or updates the entry of that server; false for an empty name. Without a connected
    // value a new entry starts disconnected and an existing one keeps its state. An entry once
    // marked machine-wide stays marked.
    bool AddServer(const std::wstring& server, const std::wstring& userName, const std::wstring& password,
                   bool trustedLogin, bool autoConnect, std::optional<bool> connected = std::nullopt,
                   bool machineWide = false);
    TSServerEntry* FindServer(const std::wstring& server) const;
    bool RemoveServer(const std::wstring& server);
    TSServerEntry* GetServerAt(int index) const;
    int GetServerCount() const { return servers_.GetCount(); }

    // Merges the machine-wide list, then the user's own, into the list in memory.
    void ReadServerListFromRegistry();
    // Makes the user's registry list exactly the list in memory.
    void WriteServerListToRegistry();

    // Stored form: IV and AES-128-CBC ciphertext of the UTF-16LE text, as upper-case hex.
    // Empty when no cryptographic provider can be used.
    static std::wstring EncryptPassword(const std::wstring& password);
    // Empty for text that is not such a stored form.
    static std::wstring DecryptPassword(const std::wstring& stored);

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

    // Preference flags (start-up and the exported table set them).
    bool enableOpen = false;
    bool enableSave = false;
    bool openShortcutInvert = false;
    bool saveShortcutInvert = false;
    bool openDefaultLocation = false;
    bool saveDefaultLocation = false;
    bool defaultsSuppressed = false;
    bool explicitSaveOnly = false;
    bool saveButtonActive = false;

private:
    int IndexOf(const std::wstring& server) const;

    ITesseraDMSPtr dms_;
    HWND parentWindow_;
    bool dmsAvailable_ = false;
    CAPArray servers_;
};
