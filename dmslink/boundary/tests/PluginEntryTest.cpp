// dmslink.dll through its real exports, as a host loads it.
#include <gtest/gtest.h>

#include "vxhost/Host.h"

namespace {

std::wstring DmslinkPath() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe);
    return path.substr(0, path.find_last_of(L'\\')) + L"\\plugins\\dmslink.dll";
}

TEST(DmslinkEntryTest, HandshakeUsesOneAlwaysTrueProcedureForLoadCheckAndFifth) {
    HMODULE module = LoadLibraryW(DmslinkPath().c_str());
    ASSERT_NE(module, nullptr);
    auto main = reinterpret_cast<VarnelPlugInMainProc>(GetProcAddress(module, "VarnelPlugInMain"));
    ASSERT_NE(main, nullptr);
    ASSERT_NE(GetProcAddress(module, "PISetupSDK"), nullptr);
    VxHandshake record;
    memset(&record, 0xCC, sizeof record);
    EXPECT_EQ(main(&record), 1);
    EXPECT_EQ(record.loadCheck, record.fifth);
    EXPECT_EQ(record.loadCheck(), 1);
    for (void* slot : {(void*)record.init, (void*)record.unload, (void*)record.publishHFT,
                       (void*)record.pluginName, (void*)record.seventh})
        EXPECT_NE(slot, nullptr);
    record.seventh();
    FreeLibrary(module);
}

TEST(DmslinkEntryTest, LoadsAndPublishesTheTesseraTable) {
    auto host = std::make_unique<vxhost::Host>();
    std::vector<vxhost::LoadResult> results = host->LoadPlugins({DmslinkPath()});
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].ok()) << results[0].Message();
    EXPECT_EQ(results[0].extension->name, "VARNELPRO:Tessera");
    HFT table = host->GetTable("Tessera");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0], nullptr);
    host->Shutdown();
    EXPECT_TRUE(host->Objects().Problems().empty()) << host->Objects().CountsText();
    EXPECT_EQ(host->Objects().LiveTotal(), 0u) << host->Objects().CountsText();
}

}  // namespace
