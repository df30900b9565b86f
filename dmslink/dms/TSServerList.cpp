// TSServerList: the entries, their registry form and the user's list rewritten whole.
#include "dms/TSServerList.h"

#include <memory>
#include <vector>

#include "Files/CAPPathText.h"
#include "Utilities/CAPHandles.h"
#include "Utilities/CAPRegistry.h"
#include "Utilities/CAPSettings.h"
#include "VxGuard.h"
#include "dms/TSPasswordCipher.h"

namespace {

const wchar_t kServerValue[] = L"TesseraServer";
const wchar_t kUserNameValue[] = L"TesseraUserName";
const wchar_t kPasswordValue[] = L"TesseraPassword";
const wchar_t kTrustedLoginValue[] = L"TesseraTrustedLogin";
const wchar_t kAutoConnectValue[] = L"TesseraAutoConnect";

// Values are at most 259 characters and their terminator. A stored password is longer than that
// once its text passes 55 characters, so its value may hold more.
constexpr DWORD kValueChars = 260;
constexpr DWORD kPasswordValueChars = 1024;

std::wstring TesseraKeyPath() { return GetSettingsKeyPath(Settings) + L"\\Tessera"; }

// Server 0 uses the names as they stand, server n the name with "_n".
std::wstring ValueName(const wchar_t* base, int number) {
    return number == 0 ? std::wstring(base) : std::wstring(base) + L"_" + std::to_wstring(number);
}

// A string value by the plug-in's one rule for registry texts.
bool ReadText(HKEY key, const std::wstring& name, std::wstring* text, DWORD maxChars = kValueChars) {
    return CAPReadRegistryText(key, name.c_str(), maxChars, text);
}

LSTATUS WriteText(HKEY key, const std::wstring& name, const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(bytes));
}


struct StoredValue {
    std::wstring name;
    std::wstring text;
};

// Removes every value not named in `keep` and every sub-key, so that the key holds exactly what
// was just written.
void RemoveStale(HKEY key, const std::vector<StoredValue>& keep) {
    std::vector<std::wstring> stale;
    std::vector<wchar_t> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        LSTATUS status = RegEnumValueW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        std::wstring value(name.data(), length);
        bool kept = false;
        for (const StoredValue& k : keep) kept = kept || CAPSameTextIgnoringCase(k.name, value);
        if (!kept) stale.push_back(value);
    }
    for (const std::wstring& value : stale) RegDeleteValueW(key, value.c_str());

    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        LSTATUS status = RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS) subkeys.emplace_back(name.data(), length);
    }
    for (const std::wstring& subkey : subkeys) RegDeleteTreeW(key, subkey.c_str());
}

}  // namespace

TSServerList::~TSServerList() {
    for (int i = servers_.GetCount() - 1; i >= 0; --i) delete GetServerAt(i);
    servers_.RemoveAll();
}


// ---- list

int TSServerList::IndexOf(const std::wstring& server) const {
    if (server.empty()) return -1;
    for (int i = servers_.GetCount() - 1; i >= 0; --i)
        if (GetServerAt(i)->server == server) return i;
    return -1;
}

TSServerEntry* TSServerList::FindServer(const std::wstring& server) const { return GetServerAt(IndexOf(server)); }

TSServerEntry* TSServerList::GetServerAt(int index) const { return static_cast<TSServerEntry*>(servers_.GetAt(index)); }

bool TSServerList::AnyConnected() const {
    for (int i = servers_.GetCount() - 1; i >= 0; --i)
        if (GetServerAt(i)->connected) return true;
    return false;
}

bool TSServerList::AddServer(const std::wstring& server, const std::wstring& userName, const std::wstring& password,
                          bool trustedLogin, bool autoConnect, std::optional<bool> connected, bool machineWide) {
    if (server.empty()) return false;
    TSServerEntry* entry = FindServer(server);
    std::unique_ptr<TSServerEntry> added;
    if (!entry) {
        added = std::make_unique<TSServerEntry>();
        entry = added.get();
        entry->machineWide = machineWide;
    } else if (!entry->machineWide) {
        entry->machineWide = machineWide;
    }
    entry->server = server;
    entry->userName = userName;
    entry->password = password;
    entry->trustedLogin = trustedLogin;
    entry->autoConnect = autoConnect;
    if (connected) entry->connected = *connected;
    if (added) {
        servers_.Append(added.get());
        (void)added.release();  // the list owns the entry now
    }
    return true;
}

bool TSServerList::RemoveServer(const std::wstring& server) {
    int index = IndexOf(server);
    if (index < 0) return false;
    delete GetServerAt(index);
    servers_.RemoveAt(index);
    return true;
}

// ---- registry

void TSServerList::ReadServerListFromRegistry() {
    const std::wstring path = TesseraKeyPath();
    // Carried from server to server and from one hive to the other: a missing flag value keeps
    // what the previous server had.
    bool trusted = false;
    bool autoConnect = true;

    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        const bool machineWide = hive == HKEY_LOCAL_MACHINE;
        CAPRegistryKey key;
        if (RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) continue;

        for (int n = 0;; ++n) {
            std::wstring server, userName, password, flag;
            if (!ReadText(key.get(), ValueName(kServerValue, n), &server) ||
                !ReadText(key.get(), ValueName(kUserNameValue, n), &userName) ||
                !ReadText(key.get(), ValueName(kPasswordValue, n), &password, kPasswordValueChars))
                break;
            if (password.size() % 16 != 0) password.clear();
            if (!password.empty()) password = TSPasswordCipher::DecryptPassword(password);

            // The two hives read the flags in opposite order, and the machine-wide one takes any
            // auto-connect text but "0" as on; the last flag read decides whether the pass goes on.
            bool more;
            if (machineWide) {
                if (ReadText(key.get(), ValueName(kTrustedLoginValue, n), &flag)) trusted = flag == L"1";
                more = ReadText(key.get(), ValueName(kAutoConnectValue, n), &flag);
                if (more) autoConnect = flag != L"0";
            } else {
                if (ReadText(key.get(), ValueName(kAutoConnectValue, n), &flag)) autoConnect = flag == L"1";
                more = ReadText(key.get(), ValueName(kTrustedLoginValue, n), &flag);
                if (more) trusted = flag == L"1";
            }
            AddServer(server, userName, password, trusted, autoConnect, std::nullopt, machineWide);
            if (!more) break;
        }
    }
}

void TSServerList::WriteServerListToRegistry() {
    VX_TRY {
        // Every value is made before anything changes: a password that cannot be encrypted leaves the
        // user's list as it was, never with a password lost.
        std::vector<StoredValue> values;
        values.reserve(static_cast<size_t>(servers_.GetCount()) * 5);
        for (int i = 0; i < servers_.GetCount(); ++i) {
            const TSServerEntry* entry = GetServerAt(i);
            std::wstring password = TSPasswordCipher::EncryptPassword(entry->password);
            if (password.empty()) return;
            values.push_back({ValueName(kServerValue, i), entry->server});
            values.push_back({ValueName(kUserNameValue, i), entry->userName});
            values.push_back({ValueName(kPasswordValue, i), std::move(password)});
            values.push_back({ValueName(kTrustedLoginValue, i), entry->trustedLogin ? L"1" : L"0"});
            values.push_back({ValueName(kAutoConnectValue, i), entry->autoConnect ? L"1" : L"0"});
        }
        // The key is opened (or made) before anything changes, and stale values go only after
        // every entry is written: a failure never leaves the user without a list.
        CAPRegistryKey key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, TesseraKeyPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
            return;
        for (const StoredValue& value : values)
            if (WriteText(key.get(), value.name, value.text) != ERROR_SUCCESS) return;
        RemoveStale(key.get(), values);
    }
    // The log names the operation as administrators know it from the log of every release.
    VX_CATCH("TSManager", "TSManager::WriteServerListToRegistry")
}
