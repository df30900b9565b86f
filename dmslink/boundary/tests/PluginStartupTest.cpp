// dmslink.dll's start-up and unload as the host's loader drives them, with the preferences in the
// real registry and the DMS stand-in's classes registered in this process.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "TesseraKeySandbox.h"
#include "TesseraDMS.h"
#include "tessera/StandIn.h"
#include "vxhost/HostFixture.h"

namespace {

std::wstring DmslinkPath() { return vxhost::ProgramFolder() + L"\\plugins\\dmslink.dll"; }

// The real exports, as the host calls them before anything else.
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

// A class whose objects cannot be made: the DMS client extensions are missing.
class MissingClassFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** out) override {
        *out = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

class PluginStartupTest : public TesseraKeySandbox {
protected:
    void SetUp() override {
        TesseraKeySandbox::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        SetEnvironmentVariableW(L"TESSERA_STORE", store_.Path().c_str());
        // Start-up recovery and workspace clearing stay inside this test's own temporary folder.
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetEnvironmentVariableW(L"TMP", temp, MAX_PATH + 1);
        savedTmp_ = n && n <= MAX_PATH ? std::wstring(temp, n) : std::wstring();
        SetEnvironmentVariableW(L"TMP", workspace_.Path().c_str());
    }

    void TearDown() override {
        Stop();
        if (classCookie_) CoRevokeClassObject(classCookie_);
        if (standIn_) TesseraRevokeClassObjects();
        SetEnvironmentVariableW(L"TMP", savedTmp_.empty() ? nullptr : savedTmp_.c_str());
        SetEnvironmentVariableW(L"TESSERA_STORE", nullptr);
        CoUninitialize();
        TesseraKeySandbox::TearDown();
    }

    void RegisterStandIn() {
        ASSERT_EQ(TesseraRegisterClassObjects(), S_OK);
        standIn_ = true;
    }
    void RegisterMissingClient() {
        ASSERT_EQ(CoRegisterClassObject(CLSID_TesseraCommandContext, &missing_, CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &classCookie_),
                  S_OK);
    }

    void Start() {
        vxhost::HostOptions options;
        options.logPath = logs_.File(L"host.log");
        host_ = std::make_unique<vxhost::Host>(options);
        std::vector<vxhost::LoadResult> results = host_->LoadPlugins({DmslinkPath()});
        ASSERT_EQ(results.size(), 1u);
        ASSERT_TRUE(results[0].ok()) << results[0].Message();
        extension_ = results[0].extension;
        ASSERT_EQ(host_->JournalCount("plugin-init:VARNELPRO:Tessera"), 1u);
    }

    void Stop() {
        if (!host_) return;
        host_->Shutdown();
        for (const std::string& problem : host_->Objects().Problems()) ADD_FAILURE() << "host objects: " << problem;
        host_.reset();
        extension_ = nullptr;
    }

    std::vector<ASInt32> PluginNotifications() const {
        std::vector<ASInt32> numbers;
        for (const vxhost::NotificationRegistration& n : host_->Notifications())
            if (n.owner == extension_->id()) {
                numbers.push_back(n.number);
                EXPECT_EQ(n.clientData, nullptr);
            }
        return numbers;
    }
    size_t PluginIdleProcs() const {
        size_t count = 0;
        for (const vxhost::IdleRegistration& idle : host_->IdleProcs())
            if (idle.owner == extension_) ++count;
        return count;
    }
    std::vector<std::string> TesseraItems() {
        std::vector<std::string> names;
        for (vxhost::RibbonItem* item : host_->GetRibbon().FindItemsTitled(L"Tessera")) names.push_back(item->name);
        return names;
    }
    HFT Table() { return host_->GetTable("Tessera"); }
    bool HasServerAt(ASInt32 index) {
        ASText name = nullptr;
        ASBool found = VxEntry<TesseraGetServerNameProc>(Table(), 27)(index, &name);
        if (name) VxEntry<ASTextDestroyProc>(host_->HostTable("ASExtra"), kASTextDestroy)(name);
        return found != 0;
    }
    void ConfigureServer(HKEY hive) {
        SetText(hive, L"TesseraServer", L"alpha");
        SetText(hive, L"TesseraUserName", L"ann");
        SetText(hive, L"TesseraPassword", L"");
        SetText(hive, L"TesseraTrustedLogin", L"0");
        SetText(hive, L"TesseraAutoConnect", L"0");
    }
    void ExpectInert() {
        EXPECT_TRUE(PluginNotifications().empty()) << host_->DescribeNotifications();
        EXPECT_EQ(PluginIdleProcs(), 0u);
        EXPECT_TRUE(TesseraItems().empty());
        EXPECT_EQ(host_->JournalCount("strip-take:1005"), 0u);
        EXPECT_EQ(VxEntry<TesseraBoolProc>(Table(), 18)(), 0);
        EXPECT_EQ(VxEntry<TesseraBoolProc>(Table(), 20)(), 0);
    }

    vxhost::TempFolder logs_, store_, workspace_;
    std::wstring savedTmp_;
    MissingClassFactory missing_;
    DWORD classCookie_ = 0;
    bool standIn_ = false;
    std::unique_ptr<vxhost::Host> host_;
    vxhost::Extension* extension_ = nullptr;
};

TEST_F(PluginStartupTest, OpenOnlyRegistersTheOpenSideAndNoSaveItem) {
    RegisterStandIn();
    SetText(HKEY_LOCAL_MACHINE, L"TesseraEnableOpen", L"1");
    Start();
    EXPECT_EQ(PluginNotifications(), (std::vector<ASInt32>{66, 1005, 55, 1002, 38}));
    EXPECT_EQ(PluginIdleProcs(), 1u);
    std::vector<std::string> items = TesseraItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].rfind("AVRibbon:Main:Open:Btn+", 0), 0u) << items[0];
    EXPECT_EQ(host_->JournalMatching("ribbon-add:AVRibbon:Main:SaveAs:Btn").size(), 0u);
    EXPECT_EQ(host_->JournalCount("strip-take:1005"), 1u);
    EXPECT_EQ(host_->JournalCount("strip-return"), 1u);

    // The start-up idle procedure runs once and takes itself off.
    host_->RunIdle();
    EXPECT_EQ(PluginIdleProcs(), 0u);
    EXPECT_EQ(host_->JournalMatching("idle-unregister:").size(), 1u);
}

TEST_F(PluginStartupTest, OnlyTheText1EnablesSave) {
    RegisterStandIn();
    auto text = [](const std::wstring& value) {  // with its terminator
        return std::string(reinterpret_cast<const char*>(value.c_str()), (value.size() + 1) * sizeof(wchar_t));
    };
    const struct {
        const char* label;
        DWORD type;
        std::string bytes;
        bool enabled;
        DWORD stored = 0;  // of the bytes, when not all
    } cases[] = {{"true", REG_SZ, text(L"true"), false},
                 {"dword", REG_DWORD, std::string("\1\0\0\0", 4), false},
                 // The system adds the terminator a writer left out when one follows in memory, so
                 // what follows here is not one.
                 {"unterminated", REG_SZ, std::string("1\0Z\0", 4), false, 2},
                 {"odd length", REG_SZ, std::string("1\0\0", 3), false},
                 {"too long", REG_SZ, text(std::wstring(300, L'1')), false},
                 {"expand", REG_EXPAND_SZ, text(L"1"), true},
                 {"one", REG_SZ, text(L"1"), true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        SetText(HKEY_LOCAL_MACHINE, L"TesseraEnableOpen", L"1");
        SetRaw(HKEY_LOCAL_MACHINE, L"TesseraEnableSave", c.type, c.bytes.data(),
               c.stored ? c.stored : static_cast<DWORD>(c.bytes.size()));
        Start();
        std::vector<ASInt32> numbers = PluginNotifications();
        EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 19), c.enabled ? 1 : 0);
        EXPECT_EQ(VxEntry<TesseraBoolProc>(Table(), 20)(), c.enabled ? 1 : 0);
        EXPECT_EQ(TesseraItems().size(), c.enabled ? 2u : 1u);
        Stop();
    }
}

TEST_F(PluginStartupTest, WithoutThePreferencesKeyItStaysInertAndReadsNoServers) {
    RegisterStandIn();
    ConfigureServer(HKEY_CURRENT_USER);
    Start();
    ExpectInert();
    EXPECT_FALSE(HasServerAt(0));
    // The table still answers: the list can be read on request.
    VxEntry<TesseraVoidProc>(Table(), 33)();
    EXPECT_TRUE(HasServerAt(0));
}

TEST_F(PluginStartupTest, AFailingClientProbeLeavesItInertWithoutReadingTheRegistry) {
    RegisterMissingClient();
    SetText(HKEY_LOCAL_MACHINE, L"TesseraEnableOpen", L"1");
    SetText(HKEY_LOCAL_MACHINE, L"TesseraEnableSave", L"1");
    ConfigureServer(HKEY_LOCAL_MACHINE);
    Start();
    ExpectInert();
    EXPECT_FALSE(HasServerAt(0));
}

TEST_F(PluginStartupTest, TheSaveItemComesBeforeTheOpenItemAndEachRunsItsCommand) {
    RegisterStandIn();
    SetText(HKEY_LOCAL_MACHINE, L"TesseraEnableOpen", L"1");
    SetText(HKEY_LOCAL_MACHINE, L"TesseraEnableSave", L"1");
    Start();
    EXPECT_EQ(PluginNotifications(), (std::vector<ASInt32>{66, 1005, 19, 55, 1002, 38}));
    // "Kept on this computer" goes beside the Open item: the host's Open, "Tessera", then it.
    std::vector<std::string> adds = host_->JournalMatching("ribbon-add:");
    EXPECT_EQ(adds, (std::vector<std::string>{"ribbon-add:AVRibbon:Main:SaveAs:Btn Tessera",
                                              "ribbon-add:AVRibbon:Main:Open:Btn Kept on this computer",
                                              "ribbon-add:AVRibbon:Main:Open:Btn Tessera"}));
    for (const char* icon : {"icon-load:103", "icon-load:102", "icon-load:104"}) EXPECT_EQ(host_->JournalCount(icon), 1u);
    const std::string ribbon = host_->GetRibbon().Describe();
    const size_t tessera = ribbon.find("Open:Btn+3 \"Tessera\""), kept = ribbon.find("Open:Btn+2 \"Kept on this computer\"");
    EXPECT_NE(kept, std::string::npos) << ribbon;
    EXPECT_LT(tessera, kept) << ribbon;

    vxhost::RibbonItem* save = nullptr;
    for (vxhost::RibbonItem* item : host_->GetRibbon().FindItemsTitled(L"Tessera"))
        if (item->name.rfind("AVRibbon:Main:SaveAs:Btn+", 0) == 0) save = item;
    ASSERT_NE(save, nullptr);
    ASSERT_NE(save->proc, nullptr);
    EXPECT_EQ(save->clientData, static_cast<ASUns32>(host_->Atom("SaveAs")));

    // Client data naming neither command: the ribbon is told, nothing runs.
    host_->ClearJournal();
    save->proc(static_cast<ASUns32>(host_->Atom("Print")));
    EXPECT_EQ(host_->Journal(),
              (std::vector<std::string>{"ribbon-before-command", "atom:SaveAs", "atom:Open", "atom:Kept"}));
    host_->ClearJournal();
    ASSERT_TRUE(host_->ClickRibbonItem(save->name));
    EXPECT_EQ(host_->JournalCount("ribbon-before-command"), 1u);
    EXPECT_EQ(host_->JournalCount("command:SaveAs"), 1u);
}

TEST_F(PluginStartupTest, ExplicitSaveOnlyGoesToTheDmsOnlyFromTheTesseraItem) {
    RegisterStandIn();
    SetText(HKEY_LOCAL_MACHINE, L"TesseraEnableSave", L"1");
    Start();
    HFT table = Table();
    VxEntry<TesseraSetFlagProc>(table, 26)(1);
    std::vector<ASBool> answers;
    host_->SetSaveAsCommandHandler([&] { answers.push_back(VxEntry<TesseraBoolProc>(table, 2)()); });
    host_->RunSaveAsCommand();
    std::vector<std::string> items = TesseraItems();
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(host_->ClickRibbonItem(items[0]));
    EXPECT_EQ(answers, (std::vector<ASBool>{0, 1}));
    EXPECT_EQ(VxEntry<TesseraBoolProc>(table, 2)(), 0);
}

}  // namespace
