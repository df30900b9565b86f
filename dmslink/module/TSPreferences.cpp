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
    return true;
}
