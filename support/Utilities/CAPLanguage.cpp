#include "Utilities/CAPLanguage.h"

#include <shlobj.h>
#include <wchar.h>

#include "Utilities/CAPHandles.h"
#include "Utilities/CAPRegistry.h"
#include "Utilities/CAPSettings.h"
#include "VxApp.h"

namespace {

int SystemLocaleReader(wchar_t* buffer, int size) {
    return GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SISO639LANGNAME, buffer, size);
}

CAPLocaleReader sLocaleReader = SystemLocaleReader;

const wchar_t* const kSupportedLanguages[] = {L"EN", L"DE", L"ES", L"FR", L"IT", L"NL", L"SK", L"JA",
                                              L"PT", L"ZH", L"RU", L"FI", L"DA", L"SV", L"NO"};

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
    std::wstring installSource;
    {
        CAPRegistryKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, GetSettingsKeyPath(Settings).c_str(), 0, KEY_READ, key.put()) ==
            ERROR_SUCCESS)
            CAPReadRegistryText(key.get(), L"installsource", MAX_PATH, &installSource);
    }
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
