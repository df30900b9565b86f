#include "TesseraKeySandbox.h"

#include <algorithm>

#include "Utilities/CAPHandles.h"

void TesseraKeySandbox::SetUp() {
    lock_ = CreateMutexW(nullptr, FALSE, L"VxTest.TesseraSettingsKey");
    ASSERT_NE(lock_, nullptr);
    DWORD waited = WaitForSingleObject(lock_, 120000);
    ASSERT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED);
    machine_ = Save(HKEY_LOCAL_MACHINE);
    user_ = Save(HKEY_CURRENT_USER);
    Delete(HKEY_LOCAL_MACHINE);
    Delete(HKEY_CURRENT_USER);
}

void TesseraKeySandbox::TearDown() {
    if (!lock_) return;
    Delete(HKEY_LOCAL_MACHINE);
    Delete(HKEY_CURRENT_USER);
    Restore(HKEY_LOCAL_MACHINE, machine_);
    Restore(HKEY_CURRENT_USER, user_);
    ReleaseMutex(lock_);
    CloseHandle(lock_);
    lock_ = nullptr;
}

void TesseraKeySandbox::SetRaw(HKEY hive, const std::wstring& name, DWORD type, const void* bytes, DWORD size) {
    CAPRegistryKey key;
    ASSERT_EQ(RegCreateKeyExW(hive, KeyPath(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(bytes), size),
              ERROR_SUCCESS);
}

void TesseraKeySandbox::SetText(HKEY hive, const std::wstring& name, const std::wstring& text) {
    SetRaw(hive, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::vector<std::wstring> TesseraKeySandbox::ValueNames(HKEY hive) {
    std::vector<std::wstring> names;
    CAPRegistryKey key;
    if (RegOpenKeyExW(hive, KeyPath(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
    wchar_t name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD length = ARRAYSIZE(name);
        if (RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring TesseraKeySandbox::GetText(HKEY hive, const std::wstring& name) {
    wchar_t buffer[2048] = {};
    DWORD bytes = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(hive, KeyPath(), name.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return L"<missing>";
    return buffer;
}

DWORD TesseraKeySandbox::GetByteCount(HKEY hive, const std::wstring& name) {
    CAPRegistryKey key;
    if (RegOpenKeyExW(hive, KeyPath(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return 0;
    DWORD bytes = 0;
    return RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, &bytes) == ERROR_SUCCESS ? bytes : 0;
}

TesseraKeySandbox::SavedKey TesseraKeySandbox::Save(HKEY hive) {
    SavedKey saved;
    CAPRegistryKey key;
    if (RegOpenKeyExW(hive, KeyPath(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return saved;
    saved.existed = true;
    wchar_t name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD length = ARRAYSIZE(name), type = 0, size = 0;
        if (RegEnumValueW(key.get(), i, name, &length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        SavedValue value{std::wstring(name, length), type, std::vector<BYTE>(size)};
        DWORD got = size;
        if (RegQueryValueExW(key.get(), value.name.c_str(), nullptr, nullptr, value.data.data(), &got) ==
            ERROR_SUCCESS) {
            value.data.resize(got);
            saved.values.push_back(std::move(value));
        }
    }
    return saved;
}

void TesseraKeySandbox::Restore(HKEY hive, const SavedKey& saved) {
    if (!saved.existed) return;
    CAPRegistryKey key;
    if (RegCreateKeyExW(hive, KeyPath(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    for (const SavedValue& value : saved.values)
        RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
}

void TesseraKeySandbox::Delete(HKEY hive) {
    RegDeleteTreeW(hive, KeyPath());
    RegDeleteKeyW(hive, KeyPath());
}
