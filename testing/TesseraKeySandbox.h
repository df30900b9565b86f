// A fixture that owns SOFTWARE\Varnel\Pro\11.0\Settings\Tessera in both hives for one test: the
// values there are saved and the keys deleted before the test, and put back afterwards. Tests in
// other processes that use the key wait on the same named mutex.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

class TesseraKeySandbox : public ::testing::Test {
protected:
    static const wchar_t* KeyPath() { return L"SOFTWARE\\Varnel\\Pro\\11.0\\Settings\\Tessera"; }

    void SetUp() override;
    void TearDown() override;

    // Writes a REG_SZ with its terminator, or raw bytes of any type.
    void SetText(HKEY hive, const std::wstring& name, const std::wstring& text);
    void SetRaw(HKEY hive, const std::wstring& name, DWORD type, const void* bytes, DWORD size);
    // Sorted value names of the key; empty when it is missing.
    std::vector<std::wstring> ValueNames(HKEY hive);
    std::wstring GetText(HKEY hive, const std::wstring& name);
    DWORD GetByteCount(HKEY hive, const std::wstring& name);

private:
    struct SavedValue {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct SavedKey {
        bool existed = false;
        std::vector<SavedValue> values;
    };
    static SavedKey Save(HKEY hive);
    static void Restore(HKEY hive, const SavedKey& saved);
    static void Delete(HKEY hive);

    HANDLE lock_ = nullptr;
    SavedKey machine_, user_;
};
