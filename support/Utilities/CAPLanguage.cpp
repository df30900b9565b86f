#include "Utilities/CAPLanguage.h"

#include <shlobj.h>
#include <wchar.h>

#include "Utilities/CAPSettings.h"
#include "VxApp.h"

namespace {

int SystemLocaleReader(wchar_t* buffer, int size) {
    return GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SISO639LANGNAME, buffer, size);
}

CAPLocaleReader sLocaleReader = SystemLocaleReader;

const wchar_t* const kSupportedLanguages[] = {L"EN", L"DE", L"ES", L"FR", L"IT", L"NL", L"SK", L"JA",
                                              L"PT", L"ZH", L"RU", L"FI", L"DA", L"SV", L"NO"};

class CRegKeyReader {
public:
    CRegKeyReader(HKEY root, const wchar_t* path) {
        if (RegOpenKeyExW(root, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~CRegKeyReader() {
        if (key_) RegCloseKey(key_);
    }
    CRegKeyReader(const CRegKeyReader&) = delete;
    CRegKeyReader& operator=(const CRegKeyReader&) = delete;

    // A REG_SZ or REG_EXPAND_SZ value of at most MAX_PATH - 1 characters; empty otherwise.
    std::wstring ReadText(const wchar_t* name) const {
        if (!key_) return std::wstring();
        wchar_t buffer[MAX_PATH] = {};
        DWORD type = 0;
        DWORD bytes = sizeof buffer;
        if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::wstring();
        // The stored text need not be terminated.
        size_t length = bytes / sizeof(wchar_t);
        if (length >= MAX_PATH) length = MAX_PATH - 1;
        buffer[length] = L'\0';
        return std::wstring(buffer);
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace

CAPLocaleReader SetLocaleReader(CAPLocaleReader reader) {
    CAPLocaleReader previous = sLocaleReader;
    sLocaleReader = reader ? reader : SystemLocaleReader;
    return previous;
}

std::wstring GetProgramDataFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                folder)) ||
        !folder[0])
        return std::wstring();
    std::wstring path = folder;
    if (path.back() != L'\\') path += L'\\';
    return path + L"Varnel\\Pro\\" + GetVersionString() + L"\\";
}

std::wstring GetUILanguageCode() {
    wchar_t name[3] = {};
    if (sLocaleReader(name, 3) <= 0) name[0] = L'\0';
    name[2] = L'\0';
    CharUpperW(name);
    std::wstring code = name;
    if (code == L"NN" || code == L"NB") code = L"NO";
    for (const wchar_t* supported : kSupportedLanguages)
        if (code == supported) return code;
    return L"EN";
}

HMODULE LoadLanguageModule(const wchar_t* moduleName, bool makeCurrent, std::wstring* languageCode) {
    if (!moduleName || !*moduleName) return nullptr;
    std::wstring installSource = CRegKeyReader(HKEY_LOCAL_MACHINE, GetSettingsKeyPath(Settings).c_str())
                                     .ReadText(L"installsource");
    if (installSource.find(L"orvane") == std::wstring::npos) return nullptr;

    std::wstring code = GetUILanguageCode();
    if (code == L"EN") return nullptr;
    // Without the folder the name would be relative, and the loader would search for it elsewhere.
    std::wstring folder = GetProgramDataFolder();
    if (folder.empty()) return nullptr;

    std::wstring path = VxFormat(L"%sLang\\%s\\%s.dll", folder.c_str(), code.c_str(), moduleName);
    HMODULE module = LoadLibraryW(path.c_str());
    if (module && makeCurrent) {
        if (languageCode) *languageCode = code;
        VxSetResourceHandle(module);
    }
    return module;
}
