#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "TesseraKeySandbox.h"
#include "dms/TSPasswordCipher.h"
#include "dms/TSServerList.h"

namespace {


std::wstring Numbered(const wchar_t* base, int n) {
    return n == 0 ? std::wstring(base) : std::wstring(base) + L"_" + std::to_wstring(n);
}

// ---- the list in memory

TEST(TSServerList, AddUpdatesByExactNameAndKeepsTheMachineMark) {
    TSServerList list;
    EXPECT_FALSE(list.AddServer(L"", L"u", L"p", false, false));
    EXPECT_EQ(list.GetServerCount(), 0);

    ASSERT_TRUE(list.AddServer(L"dms", L"ann", L"one", false, true, std::nullopt, true));
    ASSERT_TRUE(list.AddServer(L"DMS", L"bob", L"two", true, false));
    ASSERT_EQ(list.GetServerCount(), 2);  // names differing in case are two servers

    TSServerEntry* entry = list.FindServer(L"dms");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->machineWide);
    EXPECT_FALSE(entry->connected);
    entry->connected = true;

    // An update without a connected value keeps the state; machine-wide stays once set.
    ASSERT_TRUE(list.AddServer(L"dms", L"carl", L"three", true, false, std::nullopt, false));
    EXPECT_EQ(list.GetServerCount(), 2);
    EXPECT_EQ(entry, list.GetServerAt(0));
    EXPECT_EQ(entry->userName, L"carl");
    EXPECT_EQ(entry->password, L"three");
    EXPECT_TRUE(entry->trustedLogin);
    EXPECT_FALSE(entry->autoConnect);
    EXPECT_TRUE(entry->connected);
    EXPECT_TRUE(entry->machineWide);

    ASSERT_TRUE(list.AddServer(L"dms", L"carl", L"three", true, false, false));
    EXPECT_FALSE(entry->connected);
    // A user entry later read from the machine-wide list becomes machine-wide.
    ASSERT_TRUE(list.AddServer(L"DMS", L"bob", L"two", true, false, std::nullopt, true));
    EXPECT_TRUE(list.FindServer(L"DMS")->machineWide);
}

TEST(TSServerList, FindRemoveAndIndexBounds) {
    TSServerList list;
    for (const wchar_t* name : {L"a", L"b", L"c"}) list.AddServer(name, L"", L"", false, false);
    EXPECT_EQ(list.FindServer(L""), nullptr);
    EXPECT_EQ(list.FindServer(L"B"), nullptr);
    EXPECT_EQ(list.GetServerAt(-1), nullptr);
    EXPECT_EQ(list.GetServerAt(3), nullptr);

    EXPECT_FALSE(list.RemoveServer(L"x"));
    EXPECT_FALSE(list.RemoveServer(L""));
    EXPECT_TRUE(list.RemoveServer(L"b"));
    ASSERT_EQ(list.GetServerCount(), 2);
    EXPECT_EQ(list.GetServerAt(1)->server, L"c");
    EXPECT_EQ(list.FindServer(L"b"), nullptr);
}

// ---- the registry

class TSRegistryTest : public TesseraKeySandbox {
protected:
    // One server's five values; a null text leaves that value out.
    void Server(HKEY hive, int n, const wchar_t* server, const wchar_t* user, const wchar_t* storedPassword,
                const wchar_t* trusted, const wchar_t* autoConnect) {
        const std::pair<const wchar_t*, const wchar_t*> values[] = {
            {L"TesseraServer", server}, {L"TesseraUserName", user}, {L"TesseraPassword", storedPassword},
            {L"TesseraTrustedLogin", trusted}, {L"TesseraAutoConnect", autoConnect}};
        for (const auto& value : values)
            if (value.second) SetText(hive, Numbered(value.first, n), value.second);
    }
    std::wstring Stored(const wchar_t* password) { return TSPasswordCipher::EncryptPassword(password); }
    // Server, user, password, trusted, auto connect, machine-wide and connected of each entry.
    using Row = std::tuple<std::wstring, std::wstring, std::wstring, bool, bool, bool, bool>;
    static std::vector<Row> Rows(const TSServerList& list) {
        std::vector<Row> rows;
        for (int i = 0; i < list.GetServerCount(); ++i) {
            const TSServerEntry* e = list.GetServerAt(i);
            rows.emplace_back(e->server, e->userName, e->password, e->trustedLogin, e->autoConnect, e->machineWide,
                              e->connected);
        }
        return rows;
    }

    TSServerList list_;
};

TEST_F(TSRegistryTest, NoKeyInEitherHiveKeepsTheList) {
    list_.AddServer(L"kept", L"u", L"p", false, false);
    list_.ReadServerListFromRegistry();
    ASSERT_EQ(list_.GetServerCount(), 1);
    EXPECT_EQ(list_.GetServerAt(0)->server, L"kept");
}

TEST_F(TSRegistryTest, MachineWideFirstThenTheUsersOwnOverwritingByName) {
    Server(HKEY_LOCAL_MACHINE, 0, L"alpha", L"machine", Stored(L"mpw").c_str(), L"0", L"1");
    Server(HKEY_LOCAL_MACHINE, 1, L"beta", L"mb", Stored(L"bpw").c_str(), L"1", L"1");
    Server(HKEY_CURRENT_USER, 0, L"gamma", L"ug", Stored(L"gpw").c_str(), L"0", L"1");
    Server(HKEY_CURRENT_USER, 1, L"alpha", L"user", Stored(L"upw").c_str(), L"1", L"0");
    list_.ReadServerListFromRegistry();

    EXPECT_EQ(Rows(list_), (std::vector<Row>{{L"alpha", L"user", L"upw", true, false, true, false},
                                             {L"beta", L"mb", L"bpw", true, true, true, false},
                                             {L"gamma", L"ug", L"gpw", false, true, false, false}}));

    // Writing stores the machine-wide entries in the user's list too.
    list_.WriteServerListToRegistry();
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, L"TesseraServer"), L"alpha");
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, L"TesseraServer_1"), L"beta");
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, L"TesseraServer_2"), L"gamma");
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, L"TesseraTrustedLogin"), L"1");
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, L"TesseraAutoConnect"), L"0");
}

TEST_F(TSRegistryTest, AGapInTheNumbersEndsThePass) {
    for (int n : {0, 1, 3})
        Server(HKEY_CURRENT_USER, n, (L"s" + std::to_wstring(n)).c_str(), L"u", L"", L"0", L"1");
    list_.ReadServerListFromRegistry();
    ASSERT_EQ(list_.GetServerCount(), 2);
    EXPECT_EQ(list_.GetServerAt(1)->server, L"s1");
}

TEST_F(TSRegistryTest, ValuesThatCannotBeReadEndThePass) {
    // 259 characters fit; 260 do not.
    const std::wstring longest(259, L'n');
    Server(HKEY_CURRENT_USER, 0, longest.c_str(), L"u", L"", L"0", L"1");
    Server(HKEY_CURRENT_USER, 1, std::wstring(260, L'x').c_str(), L"u", L"", L"0", L"1");
    Server(HKEY_CURRENT_USER, 2, L"after", L"u", L"", L"0", L"1");
    list_.ReadServerListFromRegistry();
    ASSERT_EQ(list_.GetServerCount(), 1);
    EXPECT_EQ(list_.GetServerAt(0)->server, longest);

    // Non-zero bytes follow each value's counted part: the registry must not find a terminator there.
    struct Bad {
        const char* what;
        DWORD type;
        std::vector<BYTE> bytes;
        DWORD size;
    };
    const Bad bads[] = {
        {"DWORD", REG_DWORD, {1, 0, 0, 0}, 4},
        {"odd length", REG_SZ, {'a', 0, 'b', 0, 0, 'c', 0}, 5},
        {"no terminator", REG_SZ, {'a', 0, 'b', 0, 'c', 0}, 4},
        {"multi-string", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0}, 6},
        {"binary", REG_BINARY, {'a', 0, 0, 0}, 4},
        {"quadword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 8},
        {"no type", REG_NONE, {}, 0},
        {"one byte", REG_SZ, {'a'}, 1},
        {"far too long", REG_SZ, std::vector<BYTE>(65536, 'x'), 65536},
    };
    for (const Bad& bad : bads) {
        SCOPED_TRACE(bad.what);
        TSServerList fresh;
        Server(HKEY_CURRENT_USER, 1, L"second", L"u", L"", L"0", L"1");
        SetRaw(HKEY_CURRENT_USER, L"TesseraUserName_1", bad.type, bad.bytes.data(), bad.size);
        fresh.ReadServerListFromRegistry();
        EXPECT_EQ(fresh.GetServerCount(), 1);
    }
}

TEST_F(TSRegistryTest, ExpandableAndEmptyValuesReadAsTheyStand) {
    const std::wstring unexpanded = L"%TEMP%\\srv";
    SetRaw(HKEY_CURRENT_USER, L"TesseraServer", REG_EXPAND_SZ, unexpanded.c_str(),
           static_cast<DWORD>((unexpanded.size() + 1) * sizeof(wchar_t)));
    SetRaw(HKEY_CURRENT_USER, L"TesseraUserName", REG_SZ, L"", 0);
    Server(HKEY_CURRENT_USER, 0, nullptr, nullptr, L"", L"0", L"1");
    list_.ReadServerListFromRegistry();
    ASSERT_EQ(list_.GetServerCount(), 1);
    EXPECT_EQ(list_.GetServerAt(0)->server, unexpanded);
    EXPECT_EQ(list_.GetServerAt(0)->userName, L"");
}

TEST_F(TSRegistryTest, PasswordTextsThatAreNotWholeBlocksReadAsEmpty) {
    const std::wstring good = Stored(L"pw");
    Server(HKEY_CURRENT_USER, 0, L"forty", L"u", good.substr(0, 40).c_str(), L"0", L"1");
    Server(HKEY_CURRENT_USER, 1, L"sixteen", L"u", good.substr(0, 16).c_str(), L"0", L"1");
    Server(HKEY_CURRENT_USER, 2, L"empty", L"u", L"", L"0", L"1");
    Server(HKEY_CURRENT_USER, 3, L"good", L"u", good.c_str(), L"0", L"1");
    list_.ReadServerListFromRegistry();
    ASSERT_EQ(list_.GetServerCount(), 4);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(list_.GetServerAt(i)->password, L"") << i;
    EXPECT_EQ(list_.GetServerAt(3)->password, L"pw");
}

TEST_F(TSRegistryTest, MissingLastFlagEndsThePassAfterAddingTheServer) {
    // Machine-wide: AutoConnect is read last. User: TrustedLogin is.
    Server(HKEY_LOCAL_MACHINE, 0, L"m0", L"u", L"", L"1", nullptr);
    Server(HKEY_LOCAL_MACHINE, 1, L"m1", L"u", L"", L"0", L"1");
    Server(HKEY_CURRENT_USER, 0, L"u0", L"u", L"", nullptr, L"0");
    Server(HKEY_CURRENT_USER, 1, L"u1", L"u", L"", L"0", L"1");
    list_.ReadServerListFromRegistry();
    // m0 keeps the starting auto connect; u0 carries trusted login over from the machine-wide pass.
    EXPECT_EQ(Rows(list_), (std::vector<Row>{{L"m0", L"u", L"", true, true, true, false},
                                             {L"u0", L"u", L"", true, false, false, false}}));
}

TEST_F(TSRegistryTest, FlagTextsAndCarriedFlags) {
    // Machine-wide: anything but "0" switches auto connect on; a missing TrustedLogin carries.
    Server(HKEY_LOCAL_MACHINE, 0, L"m0", L"u", L"", L"1", L"yes");
    Server(HKEY_LOCAL_MACHINE, 1, L"m1", L"u", L"", nullptr, L"0");
    // User: only "1" is on; a missing AutoConnect carries.
    Server(HKEY_CURRENT_USER, 0, L"u0", L"u", L"", L"true", nullptr);
    Server(HKEY_CURRENT_USER, 1, L"u1", L"u", L"", L"1", L"yes");
    Server(HKEY_CURRENT_USER, 2, L"u2", L"u", L"", L"0", L"1");
    list_.ReadServerListFromRegistry();
    EXPECT_EQ(Rows(list_), (std::vector<Row>{{L"m0", L"u", L"", true, true, true, false},
                                             {L"m1", L"u", L"", true, false, true, false},
                                             {L"u0", L"u", L"", false, false, false, false},
                                             {L"u1", L"u", L"", true, false, false, false},
                                             {L"u2", L"u", L"", false, true, false, false}}));
}

TEST_F(TSRegistryTest, WriteLeavesExactlyTheCurrentEntries) {
    // Whatever the key held: an older, longer list and values of no one's.
    for (int n = 0; n < 6; ++n)
        Server(HKEY_CURRENT_USER, n, (L"old" + std::to_wstring(n)).c_str(), L"u", L"", L"1", L"1");
    SetText(HKEY_CURRENT_USER, L"Unrelated", L"x");
    SetText(HKEY_CURRENT_USER, L"TesseraServer_10", L"stale");
    HKEY sub = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(KeyPath()) + L"\\Sub").c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(sub);

    list_.AddServer(L"one", L"ann", L"first", false, true);
    list_.AddServer(L"two", L"", L"", true, false);
    list_.AddServer(L"three", L"carl", L"a password of more than fifty-five characters, stored whole", false,
                       false);
    list_.WriteServerListToRegistry();

    std::vector<std::wstring> expected;
    for (int n = 0; n < 3; ++n)
        for (const wchar_t* base : {L"TesseraServer", L"TesseraUserName", L"TesseraPassword",
                                    L"TesseraTrustedLogin", L"TesseraAutoConnect"})
            expected.push_back(Numbered(base, n));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ValueNames(HKEY_CURRENT_USER), expected);
    HKEY gone = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(KeyPath()) + L"\\Sub").c_str(), 0, KEY_READ, &gone),
              ERROR_SUCCESS);

    EXPECT_EQ(GetText(HKEY_CURRENT_USER, L"TesseraServer_2"), L"three");
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, L"TesseraTrustedLogin_1"), L"1");
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, L"TesseraAutoConnect_1"), L"0");
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, L"TesseraUserName_1"), L"");
    EXPECT_EQ(GetByteCount(HKEY_CURRENT_USER, L"TesseraServer_1"), 4u * sizeof(wchar_t));
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, L"TesseraPassword_1").size(), 64u);  // the empty password too

    // What was written reads back whole, the long password included.
    TSServerList reread;
    reread.ReadServerListFromRegistry();
    EXPECT_EQ(Rows(reread), Rows(list_));  // none of them machine-wide
}

TEST_F(TSRegistryTest, WritingAnEmptyListLeavesAnEmptyKey) {
    Server(HKEY_CURRENT_USER, 0, L"old", L"u", L"", L"1", L"1");
    list_.WriteServerListToRegistry();
    EXPECT_TRUE(ValueNames(HKEY_CURRENT_USER).empty());
    list_.ReadServerListFromRegistry();
    EXPECT_EQ(list_.GetServerCount(), 0);
}

}  // namespace
