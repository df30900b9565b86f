// The two exports, the import of the host tables and the publishing of the module's own table, run
// on this executable's copy of the framework against the host stand-in.
#include <gtest/gtest.h>

#include "VxHFT.h"
#include "VxHostedTest.h"
#include "VxPlugin.h"

namespace {

const char* const kImportOrder[] = {"AS",      "COS",     "PDModel", "PDFEditRead", "PDFEditWrite",
                                    "PDSysFont", "PageContent", "ASExtra", "AVExtra",     "AppView",
                                    "WIN",     "FDF",     "PDSRead", "PDSWrite"};

class HandshakeTest : public VxHostedTest {};

TEST_F(HandshakeTest, UnknownVersionTouchesNothing) {
    VxResetForTests();
    VxSDKData data = host().MakeSDKData(extension(), kVxHandshakeV2);
    EXPECT_EQ(PISetupSDK(0x30000, &data), 0);
    for (int slot = 0; slot < kHftCount; ++slot) {
        EXPECT_EQ(gVxHFT[slot].table, nullptr) << VxHFTName(slot);
        EXPECT_EQ(gVxHFT[slot].version, 0u) << VxHFTName(slot);
    }
    EXPECT_EQ(gVxHandshakeVersion, 0u);
    EXPECT_EQ(gVxExtensionID, nullptr);
    // Re-import so that TearDown can talk to the host.
    ASSERT_EQ(PISetupSDK(kVxHandshakeV2, &data), 1);
}

TEST_F(HandshakeTest, LegacyVersionCopiesTheArrayAndSetsVersionWords) {
    VxResetForTests();
    VxSDKData data = host().MakeSDKData(extension(), kVxHandshakeV1);
    data.word0 = 0x1111;
    data.word1 = 0x2222;
    ASSERT_EQ(PISetupSDK(kVxHandshakeV1, &data), 1);
    HFT* legacy = host().LegacyArray();
    EXPECT_EQ(gVxHandshakeVersion, 1u);
    EXPECT_EQ(gVxSDKWord0, 0x1111u);
    EXPECT_EQ(gVxSDKWord1, 0x2222u);
    EXPECT_EQ(gVxExtensionID, extension()->id());
    EXPECT_EQ(gVxHFT[kHftCore].table, legacy[0]);
    EXPECT_EQ(gVxHFT[kHftAS].table, legacy[1]);
    EXPECT_EQ(gVxHFT[kHftPDModel].table, legacy[3]);
    EXPECT_EQ(gVxHFT[kHftAppView].table, legacy[8]);
    EXPECT_EQ(gVxHFT[kHftASExtra].table, legacy[10]);
    EXPECT_EQ(gVxHFT[kHftPDSWrite].table, legacy[25]);
    EXPECT_EQ(gVxHFT[kHftAVExtra].table, nullptr);
    EXPECT_EQ(gVxHFT[kHftFDF].table, nullptr);
    for (int slot = 0; slot < kHftCount; ++slot) {
        if (slot == kHftAVExtra || slot == kHftFDF) continue;
        ASUns32 expected = (slot == kHftAS || slot == kHftPDModel) ? 0x70000u : 0x60000u;
        EXPECT_EQ(gVxHFT[slot].version, expected) << VxHFTName(slot);
    }
    // The legacy tables are the host's real ones: the module can work through them.
    EXPECT_EQ(VxAtom("Varnel Pro"), VxAppGetName());
}

TEST_F(HandshakeTest, ByNameVersionRequestsFourteenTablesInOrder) {
    VxResetForTests();
    host().ClearJournal();
    VxSDKData data = host().MakeSDKData(extension(), kVxHandshakeV2);
    ASSERT_EQ(PISetupSDK(kVxHandshakeV2, &data), 1);
    std::vector<std::string> expected;
    for (const char* name : kImportOrder) {
        expected.push_back(std::string("atom:") + name);
        expected.push_back(std::string("hft:") + name);
    }
    std::vector<std::string> calls;
    for (const std::string& entry : host().Journal())
        if (entry.rfind("atom:", 0) == 0 || entry.rfind("hft:", 0) == 0) calls.push_back(entry);
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(gVxHandshakeVersion, 2u);
    EXPECT_EQ(gVxHFT[kHftCore].table, host().CoreTable());
    EXPECT_EQ(gVxHFT[kHftAppView].table, host().HostTable("AppView"));
    EXPECT_EQ(gVxHFT[kHftAVExtra].table, host().HostTable("AVExtra"));
}

TEST_F(HandshakeTest, PlugInMainFillsTheSevenSlots) {
    VxHandshake record;
    memset(&record, 0, sizeof record);
    EXPECT_EQ(VarnelPlugInMain(&record), 1);
    EXPECT_EQ(record.loadCheck, gVxModule.loadCheck);
    EXPECT_EQ(record.init, gVxModule.init);
    EXPECT_EQ(record.unload, gVxModule.unload);
    EXPECT_EQ(record.publishHFT, &VxPublishHFT);
    EXPECT_EQ(record.fifth, gVxModule.fifth);
    EXPECT_EQ(record.pluginName, &VxPluginNameAtom);
    EXPECT_EQ(record.seventh, &VxNothing);
    EXPECT_EQ(record.pluginName(), VxAtom("VARNELPRO:FrameworkTest"));
    EXPECT_EQ(sizeof(VxHandshake), 7 * sizeof(void*));
}

TEST_F(HandshakeTest, PublishedTableIsCachedUntilTheServerGoes) {
    ASSERT_EQ(VxPublishHFT(), 1);
    HFT first = VxOwnTable();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, VxCachedTable());
    EXPECT_EQ(first[0], nullptr);
    EXPECT_NE(first[1], nullptr);

    // Every request through the host reaches the provider, which hands back the cached table.
    EXPECT_EQ(host().GetTable("FrameworkTest"), first);
    EXPECT_EQ(host().GetTable("FrameworkTest"), first);
    size_t tablesMade = host().Objects().Created(vxhost::ObjectKind::Table);

    // The destroy procedure drops the cache, so a later server builds a new table.
    VxDestroyHFTServer();
    EXPECT_EQ(VxCachedTable(), nullptr);
    EXPECT_EQ(VxOwnTable(), nullptr);
    EXPECT_EQ(host().Objects().Live(vxhost::ObjectKind::Table), 0u);
    ASSERT_EQ(VxPublishHFT(), 1);
    EXPECT_NE(VxOwnTable(), nullptr);
    EXPECT_EQ(host().Objects().Created(vxhost::ObjectKind::Table), tablesMade + 1);
}

}  // namespace
