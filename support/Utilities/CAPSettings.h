// CAPSettings.h - the host's settings registry paths and version.
#pragma once

#include <string>

enum SettingsKey {
    Company = 0,
    Product = 1,
    Version = 2,
    Settings = 3,
    BCG = 4,
    Preferences = 5,
    Accelerators = 6,
    QAT = 7,
    Ribbon = 8,
    Tools = 9,
};

// The path of a kind relative to a hive, without a trailing backslash; empty for an unknown kind.
std::wstring GetSettingsKeyPath(int kind);
// "11.0"
std::wstring GetVersionString();
