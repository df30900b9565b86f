// CAPLanguage.h - the machine-wide program data folder, the user interface language and the lookup
// and loading of a module's translated resource library.
#pragma once

#include <windows.h>

#include <string>

// C:\ProgramData\Varnel\Pro\11.0\ (with the final backslash); empty when the system has no such folder.
std::wstring GetProgramDataFolder();

// Two upper-case letters of the supported list ("EN", "DE", ...); Norwegian Nynorsk and Bokmal give
// "NO", anything unsupported "EN".
std::wstring GetUILanguageCode();

// Loads <program data>\Lang\<code>\<moduleName>.dll when the installation is marked for language
// modules and the language is not English. With makeCurrent the module becomes the framework's
// resource module and the code is stored in *languageCode. Null when no module is used; the caller
// frees a returned module.
HMODULE LoadLanguageModule(const wchar_t* moduleName, bool makeCurrent, std::wstring* languageCode = nullptr);

// Where the system language comes from: fills `buffer` (`size` characters) with the ISO 639 name and
// returns the GetLocaleInfoW-style count, 0 on failure. Tests replace it; null restores the
// system's reader. Returns the reader in use before.
typedef int (*CAPLocaleReader)(wchar_t* buffer, int size);
CAPLocaleReader SetLocaleReader(CAPLocaleReader reader);
