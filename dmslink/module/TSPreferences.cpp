#include "module/TSPreferences.h"

#include <string>

#include "Utilities/CAPHandles.h"
#include "Utilities/CAPRegistry.h"
#include "Utilities/CAPSettings.h"

namespace {
constexpr DWORD kPreferenceChars = 260;
}  // namespace

bool ReadPreferenceFlag(HKEY key, const wchar_t* name, bool* flag) {
    std::wstring text;
    if (!CAPReadRegistryText(key, name, kPreferenceChars, &text)) return false;
    *flag = text == L"1";
    return true;
}

bool ReadPreferenceSeconds(HKEY key, const wchar_t* name, DWORD longest, DWORD* seconds) {
    std::wstring text;
    if (!CAPReadRegistryText(key, name, kPreferenceChars, &text) || text.empty() || text.size() > 9) return false;
    DWORD value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<DWORD>(c - L'0');
    }
    if (value < 1 || value > longest) return false;
    *seconds = value;
    return true;
}

bool ReadPreferences(TSPreferences* preferences) {
    std::wstring path = GetSettingsKeyPath(Settings) + L"\\Tessera";
    CAPRegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    ReadPreferenceFlag(key.get(), L"TesseraEnableOpen", &preferences->enableOpen);
    ReadPreferenceFlag(key.get(), L"TesseraEnableSave", &preferences->enableSave);
    ReadPreferenceFlag(key.get(), L"TesseraOpenShortcutInvert", &preferences->openShortcutInvert);
    ReadPreferenceFlag(key.get(), L"TesseraSaveShortcutInvert", &preferences->saveShortcutInvert);
    ReadPreferenceFlag(key.get(), L"TesseraOpenDefaultLocation", &preferences->openDefaultLocation);
    ReadPreferenceFlag(key.get(), L"TesseraSaveDefaultLocation", &preferences->saveDefaultLocation);
    ReadPreferenceSeconds(key.get(), L"TesseraPatienceSeconds", TSPreferences::kLongestPatienceSeconds,
                          &preferences->patienceSeconds);
    return true;
}
