// helptrim loaded from bin/plugins by the host stand-in's real loader.
#include <gtest/gtest.h>

#include "vxhost/HostFixture.h"

namespace {

std::wstring HelpTrimPath() { return vxhost::ProgramFolder() + L"\\plugins\\helptrim.dll"; }

class HelpTrimTest : public ::testing::Test {
protected:
    void Load(const std::string& appName) {
        vxhost::HostOptions options;
        options.appName = appName;
        host_ = std::make_unique<vxhost::Host>(options);
        results_ = host_->LoadPlugins({HelpTrimPath()});
    }
    void TearDown() override {
        host_->Shutdown();
        EXPECT_TRUE(host_->Objects().Problems().empty()) << host_->Objects().CountsText();
        EXPECT_EQ(host_->Objects().LiveTotal(), 0u) << host_->Objects().CountsText();
    }
    std::vector<std::string> Removals() const {
        std::vector<std::string> out;
        for (const std::string& entry : host_->Journal())
            if (entry.rfind("ribbon-remove", 0) == 0) out.push_back(entry);
        return out;
    }
    std::unique_ptr<vxhost::Host> host_;
    std::vector<vxhost::LoadResult> results_;
};

TEST_F(HelpTrimTest, TrimsTheHelpCategoryInOrderInVarnelPro) {
    Load("Varnel Pro");
    ASSERT_EQ(results_.size(), 1u);
    ASSERT_TRUE(results_[0].ok()) << results_[0].Message();
    EXPECT_EQ(results_[0].extension->name, "VARNELPRO:Customize");
    const std::string help = "AVRibbon:Category:Help ";
    EXPECT_EQ(Removals(), (std::vector<std::string>{
                              "ribbon-remove-panel:" + help + "AVRibbon:Panel:Help:OnlineSupport",
                              "ribbon-remove-button:" + help + "AVRibbon:Panel:Help:Product AVRibbon:Help:CheckForUpdates:Btn",
                              "ribbon-remove-button:" + help + "AVRibbon:Panel:Help:Product AVRibbon:Help:ImprovementProgram:Btn",
                              "ribbon-remove-button:" + help + "AVRibbon:Panel:Help:Product AVRibbon:Help:SupportTools:Btn",
                              "ribbon-remove-button:" + help + "AVRibbon:Panel:Help:Help AVRibbon:Help:ContactSupport:Btn",
                          }));
    vxhost::Ribbon& ribbon = host_->GetRibbon();
    EXPECT_EQ(ribbon.FindPanel("AVRibbon:Category:Help", "AVRibbon:Panel:Help:OnlineSupport"), nullptr);
    EXPECT_EQ(ribbon.FindItem("AVRibbon:Help:CheckForUpdates:Btn"), nullptr);
    EXPECT_EQ(ribbon.FindItem("AVRibbon:Help:ContactSupport:Btn"), nullptr);
    EXPECT_NE(ribbon.FindPanel("AVRibbon:Category:Help", "AVRibbon:Panel:Help:Product"), nullptr);

    // Its "Customize" table has entry 0 only, and the provider hands out the cached one.
    HFT table = host_->GetTable("Customize");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0], nullptr);
    EXPECT_EQ(host_->GetTable("Customize"), table);
    EXPECT_EQ(host_->Objects().Live(vxhost::ObjectKind::Table), 1u);

    // Unload destroys the server, and with it the table.
    host_->UnloadPlugins();
    EXPECT_EQ(host_->Objects().Live(vxhost::ObjectKind::Table), 0u);
    EXPECT_EQ(host_->Objects().Live(vxhost::ObjectKind::Server), 0u);
}

TEST_F(HelpTrimTest, RefusesToLoadIntoAnotherHost) {
    Load("Varnel Reader");
    ASSERT_EQ(results_.size(), 1u);
    EXPECT_EQ(results_[0].failure, vxhost::LoadFailure::LoadCheckRefused);
    EXPECT_TRUE(Removals().empty());
    EXPECT_NE(host_->GetRibbon().FindItem("AVRibbon:Help:CheckForUpdates:Btn"), nullptr);
    EXPECT_EQ(host_->GetTable("Customize"), nullptr);
}

TEST_F(HelpTrimTest, AbsentItemsAreStillPassedToTheHost) {
    vxhost::HostOptions options;
    host_ = std::make_unique<vxhost::Host>(options);
    host_->GetRibbon().RemovePanel("AVRibbon:Category:Help", "AVRibbon:Panel:Help:OnlineSupport");
    results_ = host_->LoadPlugins({HelpTrimPath()});
    ASSERT_TRUE(results_[0].ok());
    EXPECT_EQ(Removals().size(), 5u);
    EXPECT_EQ(host_->JournalCount("ribbon-absent:AVRibbon:Category:Help AVRibbon:Panel:Help:OnlineSupport"), 1u);
}

}  // namespace
