// LanguageSandbox.h - the machine state a language module depends on, set up for one test and put
// back afterwards: the "installsource" value under HKLM, modules copied into the program data folder,
// and the system language as the locale reader reports it. Test processes that use it run one at a
// time (a named mutex), since they share the registry and the folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Utilities/CAPHandles.h"
#include "Utilities/CAPLanguage.h"
#include "Utilities/CAPSettings.h"
#include "VxApp.h"

class LanguageSandbox {
public:
    LanguageSandbox() {
        mutex_ = CreateMutexW(nullptr, FALSE, L"vx-language-sandbox");
        if (mutex_) WaitForSingleObject(mutex_, INFINITE);
        previousReader_ = SetLocaleReader(&ReadLocale);
        Locale() = L"en";
    }

    ~LanguageSandbox() {
        VxSetResourceHandle(nullptr);
        for (HMODULE module : loaded_) FreeLibrary(module);
        for (auto it = files_.rbegin(); it != files_.rend(); ++it) DeleteFileW(it->c_str());
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) RemoveDirectoryW(it->c_str());
        RestoreInstallSource();
        SetLocaleReader(previousReader_);
        if (mutex_) {
            ReleaseMutex(mutex_);
            CloseHandle(mutex_);
        }
    }

    LanguageSandbox(const LanguageSandbox&) = delete;
    LanguageSandbox& operator=(const LanguageSandbox&) = delete;

    // The ISO 639 name the system reports ("de", "nn", ...).
    void SetSystemLanguage(const wchar_t* name) { Locale() = name; }

    // Writes HKLM\...\Settings "installsource"; null removes the value.
    bool SetInstallSource(const wchar_t* value) {
        if (!saved_) SaveInstallSource();
        CAPRegistryKey key;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SettingsPath().c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            key.put(), nullptr) != ERROR_SUCCESS)
            return false;
        LSTATUS status;
        if (value)
            status = RegSetValueExW(key.get(), L"installsource", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                    static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
        else
            status = RegDeleteValueW(key.get(), L"installsource");
        return status == ERROR_SUCCESS || (!value && status == ERROR_FILE_NOT_FOUND);
    }

    // Copies a module to <program data>\Lang\<code>\<name>.dll.
    bool InstallModule(const std::wstring& source, const wchar_t* code, const wchar_t* name) {
        std::wstring folder = GetProgramDataFolder() + L"Lang\\" + code + L"\\";
        if (folder.size() < 4) return false;
        // Every missing folder below the drive is made, and removed again afterwards.
        for (size_t end = folder.find(L'\\', 3); end != std::wstring::npos; end = folder.find(L'\\', end + 1)) {
            std::wstring part = folder.substr(0, end);
            if (CreateDirectoryW(part.c_str(), nullptr))
                folders_.push_back(part);
            else if (GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
        std::wstring target = folder + name + L".dll";
        if (!CopyFileW(source.c_str(), target.c_str(), TRUE)) return false;
        files_.push_back(target);
        return true;
    }

    // A module the test loaded, freed when the sandbox goes.
    HMODULE Keep(HMODULE module) {
        if (module) loaded_.push_back(module);
        return module;
    }

private:
    static std::wstring SettingsPath() { return GetSettingsKeyPath(Settings); }

    static std::wstring& Locale() {
        static std::wstring locale;
        return locale;
    }

    static int ReadLocale(wchar_t* buffer, int size) {
        // Like GetLocaleInfoW, a name that does not fit fails, and the buffer may hold part of it.
        const std::wstring& locale = Locale();
        size_t fits = locale.size() < static_cast<size_t>(size) ? locale.size() : static_cast<size_t>(size);
        wmemcpy(buffer, locale.c_str(), fits);
        if (locale.size() >= static_cast<size_t>(size)) return 0;
        buffer[fits] = L'\0';
        return static_cast<int>(fits) + 1;
    }

    // The first key of the settings path that does not exist yet is the one to remove afterwards.
    void SaveInstallSource() {
        saved_ = true;
        std::wstring path = SettingsPath();
        for (size_t end = path.find(L'\\'); ; end = path.find(L'\\', end + 1)) {
            std::wstring prefix = path.substr(0, end);
            CAPRegistryKey key;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, prefix.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
                createdKey_ = prefix;
                return;
            }
            if (end == std::wstring::npos) {
                wchar_t value[MAX_PATH] = {};
                DWORD bytes = sizeof value - sizeof(wchar_t);
                DWORD type = 0;
                hadValue_ = RegQueryValueExW(key.get(), L"installsource", nullptr, &type, reinterpret_cast<BYTE*>(value),
                                             &bytes) == ERROR_SUCCESS;
                previousValue_ = value;
                previousType_ = type;
            }
            if (end == std::wstring::npos) return;
        }
    }

    void RestoreInstallSource() {
        if (!saved_) return;
        if (!createdKey_.empty()) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, createdKey_.c_str());
            return;
        }
        CAPRegistryKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SettingsPath().c_str(), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
            return;
        if (hadValue_)
            RegSetValueExW(key.get(), L"installsource", 0, previousType_,
                           reinterpret_cast<const BYTE*>(previousValue_.c_str()),
                           static_cast<DWORD>((previousValue_.size() + 1) * sizeof(wchar_t)));
        else
            RegDeleteValueW(key.get(), L"installsource");
    }

    HANDLE mutex_ = nullptr;
    CAPLocaleReader previousReader_ = nullptr;
    bool saved_ = false;
    std::wstring createdKey_;
    bool hadValue_ = false;
    std::wstring previousValue_;
    DWORD previousType_ = REG_SZ;
    std::vector<std::wstring> files_;
    std::vector<std::wstring> folders_;
    std::vector<HMODULE> loaded_;
};
