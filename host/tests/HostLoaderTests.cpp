// The real loader on the test plug-in (bin/testplugins), and vphost.exe on the same folder.
#include <string>
#include <vector>

#include "vxhost/HostFixture.h"

using namespace vxhost;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

std::wstring TestPlugins() { return ProgramFolder() + L"\\hostplugins"; }
std::wstring TestPlugin() { return TestPlugins() + L"\\vxtestplugin.dll"; }

class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name) { SetEnvironmentVariableW(name, value); }
    ~ScopedEnv() { SetEnvironmentVariableW(name_, nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const wchar_t* name_;
};

class LoaderTest : public HostFixture {};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

TEST_F(LoaderTest, CallsEachPluginInTheContractOrder) {
    std::wstring second = temp_.File(L"vxtestplugin2.dll");
    ASSERT_TRUE(CopyFileW(TestPlugin().c_str(), second.c_str(), FALSE));
    auto results = host().LoadPlugins({TestPlugin(), second});
    ASSERT_EQ(results.size(), 2u);
    ASSERT_TRUE(results[0].ok()) << results[0].Message();
    ASSERT_TRUE(results[1].ok()) << results[1].Message();
    EXPECT_EQ(results[0].extension->name, "VXTEST:vxtestplugin");
    EXPECT_EQ(results[1].extension->name, "VXTEST:vxtestplugin2");
    EXPECT_THAT(Lines(host().LogText()),
                ElementsAre("vxtestplugin setup 0x20000", "vxtestplugin loadcheck", "vxtestplugin name",
                            "vxtestplugin2 setup 0x20000", "vxtestplugin2 loadcheck", "vxtestplugin2 name",
                            "vxtestplugin publish", "vxtestplugin2 publish", "vxtestplugin init", "vxtestplugin2 init",
                            "vxtestplugin fifth", "vxtestplugin2 fifth"));

    host().UnloadPlugins();
    auto lines = Lines(host().LogText());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "vxtestplugin unload");
    EXPECT_EQ(lines.back(), "vxtestplugin2 unload");
    auto frees = host().JournalMatching("plugin-free:");
    EXPECT_THAT(frees, ElementsAre("plugin-free:VXTEST:vxtestplugin", "plugin-free:VXTEST:vxtestplugin2"));
    EXPECT_EQ(GetModuleHandleW(second.c_str()), nullptr);
}

TEST_F(LoaderTest, LegacyHandshakeHandsTheArray) {
    LoadOptions legacy;
    legacy.handshakeVersion = kVxHandshakeV1;
    auto results = host().LoadPlugins({TestPlugin()}, legacy);
    ASSERT_TRUE(results[0].ok()) << results[0].Message();
    EXPECT_THAT(host().LogText(), HasSubstr("vxtestplugin setup 0x10000\n"));
    EXPECT_EQ(host().JournalCount("hft:AS"), 0u);
    EXPECT_EQ(host().JournalCount("hft:VxTest"), 1u);  // its own table, still by name
    EXPECT_NE(host().GetRibbon().FindItem("AVRibbon:Main:Open:Btn+1"), nullptr);
}

TEST_F(LoaderTest, EachFailingStepHasItsOwnReason) {
    LoadResult missing = host().AdmitPlugin(temp_.File(L"absent.dll"));
    EXPECT_EQ(missing.failure, LoadFailure::LoadLibrary);
    EXPECT_NE(missing.win32Error, 0u);
    EXPECT_EQ(host().AdmitPlugin(ProgramFolder() + L"\\libwinpthread-1.dll").failure, LoadFailure::NoPlugInMain);
    EXPECT_EQ(host().AdmitPlugin(TestPlugins() + L"\\vxhalfplugin.dll").failure, LoadFailure::NoSetupSDK);
    {
        ScopedEnv fails(L"VX_TESTPLUGIN_MAIN_FAILS", L"1");
        EXPECT_EQ(host().AdmitPlugin(TestPlugin()).failure, LoadFailure::PlugInMainFailed);
    }
    LoadOptions unknown;
    unknown.handshakeVersion = 0x30000;
    EXPECT_EQ(host().AdmitPlugin(TestPlugin(), unknown).failure, LoadFailure::SetupSDKFailed);
    EXPECT_TRUE(host().Plugins().empty());
    EXPECT_EQ(GetModuleHandleW(TestPlugin().c_str()), nullptr);
    EXPECT_EQ(host().JournalCount("plugin-publish:VXTEST:vxtestplugin"), 0u);
}

class OtherHostTest : public HostFixture {
protected:
    HostOptions MakeOptions() override {
        HostOptions options = HostFixture::MakeOptions();
        options.appName = "Other Editor";
        return options;
    }
};

TEST_F(OtherHostTest, LoadCheckRefusalUnloadsThePlugin) {
    auto results = host().LoadPlugins({TestPlugin()});
    EXPECT_EQ(results[0].failure, LoadFailure::LoadCheckRefused);
    EXPECT_EQ(results[0].Message(), "refused by its load check");
    EXPECT_TRUE(host().Plugins().empty());
    EXPECT_EQ(GetModuleHandleW(TestPlugin().c_str()), nullptr);
    EXPECT_THAT(Lines(host().LogText()), ElementsAre("vxtestplugin setup 0x20000", "vxtestplugin loadcheck"));
}

TEST_F(LoaderTest, PluginUsesResourcesRibbonIdleAndNotifications) {
    auto results = host().LoadPlugins({TestPlugin()});
    ASSERT_TRUE(results[0].ok()) << results[0].Message();
    Extension* ext = results[0].extension;

    // Icon and strip were taken and given back; the item keeps only the icon's identity.
    EXPECT_EQ(host().Objects().Created(ObjectKind::Icon), 1u);
    EXPECT_EQ(host().Objects().Created(ObjectKind::ImageStrip), 1u);
    EXPECT_EQ(host().Objects().Live(ObjectKind::Icon), 0u);
    EXPECT_EQ(host().Objects().Live(ObjectKind::ImageStrip), 0u);
    RibbonItem* item = host().GetRibbon().FindItem("AVRibbon:Main:Open:Btn+1");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->title, L"Test");
    EXPECT_EQ(item->iconResource, 102);
    EXPECT_EQ(item->iconBytes, 104u);
    EXPECT_EQ(item->owner, ext);
    EXPECT_EQ(host().JournalCount("strip-take:1005"), 1u);

    ASSERT_EQ(host().IdleProcs().size(), 1u);
    EXPECT_EQ(host().IdleProcs()[0].owner, ext);
    host().RunIdle();
    host().RunIdle();
    EXPECT_TRUE(host().IdleProcs().empty());

    EXPECT_EQ(host().DescribeNotifications(), "  66 VXTEST:vxtestplugin\n  55 VXTEST:vxtestplugin\n");
    Document* doc = host().OpenDocument(temp_.Write(L"d.pdf", "%PDF"));
    ASSERT_NE(doc, nullptr);
    host().CloseDocument(doc);
    EXPECT_TRUE(host().ClickRibbonItem("AVRibbon:Main:Open:Btn+1"));
    auto lines = Lines(host().LogText());
    EXPECT_THAT(std::vector<std::string>(lines.end() - 4, lines.end()),
                ElementsAre("vxtestplugin idle", "vxtestplugin doc opened", "vxtestplugin doc closed",
                            "vxtestplugin click 7"));

    host().UnloadPlugins();
    EXPECT_EQ(host().JournalCount("server-destroy:VxTest"), 1u);
    EXPECT_EQ(host().JournalCount("table-destroy:VxTest"), 1u);
    EXPECT_TRUE(host().Notifications().empty());
    EXPECT_EQ(item->proc, nullptr);  // nothing of an unloaded module stays callable
    EXPECT_EQ(host().Objects().LiveTotal(), 0u);
}

// ---- vphost.exe

struct RunResult {
    DWORD exitCode;
    std::string output;
};

RunResult RunHost(const std::wstring& arguments) {
    RunResult run;
    run.exitCode = RunProgram(L"\"" + ProgramFolder() + L"\\vphost.exe\" " + arguments, &run.output);
    return run;
}

TEST_F(LoaderTest, CommandLineShowsWhatThePluginsDidAndExitsCleanly) {
    RunResult run = RunHost(L"--plugins \"" + TestPlugins() + L"\" --log \"" + temp_.File(L"cli.log") + L"\" --idle 1");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("vxhalfplugin.dll: no export \"PISetupSDK\"\n"));
    EXPECT_THAT(run.output, HasSubstr("vxtestplugin.dll: loaded as VXTEST:vxtestplugin\n"));
    EXPECT_THAT(run.output, HasSubstr("  category AVRibbon:Category:Help\n"));
    EXPECT_THAT(run.output, HasSubstr("item AVRibbon:Main:Open:Btn+1 \"Test\" (added by VXTEST:vxtestplugin, PNG 102"));
    EXPECT_THAT(run.output, HasSubstr("notifications:\n  66 VXTEST:vxtestplugin\n  55 VXTEST:vxtestplugin\n"));
    EXPECT_THAT(run.output, HasSubstr("idle procedures:\n  VXTEST:vxtestplugin client data 0x0 period 1\n"));
    EXPECT_THAT(run.output, HasSubstr("  vxtestplugin idle\n"));
    EXPECT_THAT(run.output, HasSubstr("result: clean\n"));
    EXPECT_THAT(TempFolder::Read(temp_.File(L"cli.log")), HasSubstr("vxtestplugin unload\n"));
}

TEST_F(LoaderTest, CommandLineFailsOnALeak) {
    ScopedEnv leak(L"VX_TESTPLUGIN_LEAK", L"1");
    RunResult run = RunHost(L"--plugins \"" + TestPlugins() + L"\" --log \"" + temp_.File(L"cli.log") + L"\"");
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("leaked path C:\\leaked.txt"));
    EXPECT_THAT(run.output, HasSubstr("result: 1 problem(s)\n"));
}

TEST_F(LoaderTest, CommandLineWithoutAFolderShowsUsage) {
    RunResult run = RunHost(L"--app-name x");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.output, HasSubstr("usage: vphost.exe --plugins <folder>"));
}

}  // namespace
