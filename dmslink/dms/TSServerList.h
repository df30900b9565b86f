// TSServerList.h - the DMS servers the user can log in to: the machine-wide list read from
// HKEY_LOCAL_MACHINE, then the user's own from HKEY_CURRENT_USER, which is rewritten whole when the
// host asks. Entries are found by their exact server name. Main thread only.
#pragma once

#include <optional>
#include <string>

#include "CAPArray.h"
#include "dms/TSServerEntry.h"

class TSServerList {
public:
    TSServerList() = default;
    ~TSServerList();
    TSServerList(const TSServerList&) = delete;
    TSServerList& operator=(const TSServerList&) = delete;

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
    // Some entry is connected (looked at from the last to the first).
    bool AnyConnected() const;

    // Merges the machine-wide list, then the user's own, into the list in memory.
    void ReadServerListFromRegistry();
    // Makes the user's registry list exactly the list in memory.
    void WriteServerListToRegistry();

private:
    int IndexOf(const std::wstring& server) const;

    CAPArray servers_;
};
