// The guard and its two log blocks, in this module and across modules.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "VxGuard.h"
#include "VxHFT.h"
#include "VxHostedTest.h"

namespace {

class GuardTest : public VxHostedTest {};

TEST_F(GuardTest, AHostErrorLogsItsCodeAnythingElseIsASystemBlock) {
    const struct {
        std::function<void()> body;
        const char* handled;
    } cases[] = {{[] { VxRaise(0x2A, "x.cpp", 1, "Body"); }, "0x0000002A"},
                 {[] { throw std::length_error("x"); }, "system"}};
    for (const auto& c : cases) {
        size_t before = host().LogText().size();
        int line = 0;
        VX_TRY { c.body(); } VX_CATCH("PluginInit", "TS_PDDocDidClose") line = __LINE__;
        std::string expected = std::string("==============================\nException handled: ") + c.handled +
                               "\nFile: PluginInit\nFunction: TS_PDDocDidClose\nLine: " + std::to_string(line) + "\n";
        EXPECT_EQ(host().LogText().substr(before), expected);
    }
}

TEST_F(GuardTest, NestedGuardsLogOnce) {
    bool outerCaught = true;
    VX_TRY {
        VX_TRY { VxRaise(7, "x.cpp", 1, "Inner"); }
        VX_CATCH("Inner", "Inner")
        outerCaught = false;
    }
    VX_CATCH("Outer", "Outer")
    EXPECT_FALSE(outerCaught);
    const std::string log = host().LogText();
    EXPECT_NE(log.find("Function: Inner\n"), std::string::npos);
    EXPECT_EQ(log.find("Function: Outer"), std::string::npos);
    EXPECT_EQ(log.find("=============================="), log.rfind("=============================="));
}

TEST_F(GuardTest, BlocksAreBoundedAndZeroPadded) {
    char block[kVxLogBlockSize];
    EXPECT_STREQ(VxFormatHostExceptionBlock(block, 0x1F, "F", "G", 3),
                 "==============================\nException handled: 0x0000001F\nFile: F\nFunction: G\nLine: 3\n");
    EXPECT_STREQ(VxFormatHostExceptionBlock(block, static_cast<ASInt32>(0x8000FFFF), "F", "G", 3),
                 "==============================\nException handled: 0x8000FFFF\nFile: F\nFunction: G\nLine: 3\n");
    std::string huge(5000, 'f');
    VxFormatSystemExceptionBlock(block, huge.c_str(), "G", 1);
    EXPECT_EQ(strlen(block), static_cast<size_t>(kVxLogBlockSize - 1));
}

// A host error raised by the host's module (core entry 17) unwinds into a plug-in DLL, whose own copy
// of the framework catches it: possible only because every module shares libgcc.
TEST_F(GuardTest, HostErrorIsCaughtInAnotherModule) {
    std::vector<vxhost::LoadResult> results = host().LoadPluginFolder(vxhost::ProgramFolder() + L"\\testplugins");
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].ok()) << results[0].Message();
    HFT probe = host().GetTable("GuardProbe");
    ASSERT_NE(probe, nullptr);
    host().ClearJournal();

    typedef ASBool(VXAPI * RaiseProc)(ASInt32);
    EXPECT_EQ(reinterpret_cast<RaiseProc>(probe[1])(0x40000001), 1);
    std::string log = host().LogText();
    EXPECT_EQ(log.rfind("==============================\nException handled: 0x40000001\nFile: GuardProbe\n"
                        "Function: RaiseHostError\nLine: ",
                        0),
              0u)
        << log;
    EXPECT_EQ(log.back(), '\n');

    EXPECT_EQ(VxEntry<VxBoolProc>(probe, 2)(), 1);
    log = host().LogText();
    EXPECT_NE(log.find("Exception handled: system\nFile: GuardProbe\nFunction: ThrowStandard\nLine: "),
              std::string::npos)
        << log;
    host().UnloadPlugins();
}

}  // namespace
