// TSServerEntry.h - one configured DMS server, owned by TSManager's server list.
#pragma once

#include <string>

struct TSServerEntry {
    std::wstring server;    // the entry's key, never empty; compared exactly
    std::wstring userName;  // may be empty
    std::wstring password;  // plain text, in memory only
    bool trustedLogin = false;
    bool connected = false;    // a login succeeded; never stored
    bool autoConnect = false;
    bool machineWide = false;  // first read from the machine-wide list; never stored
};
