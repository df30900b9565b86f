// "AppView" and "PDModel" entries: idle procedures, notifications, documents, ribbon, main window.
#include <string>
#include <thread>
#include <vector>

#include "vxhost/HostFixture.h"

using namespace vxhost;
using ::testing::ElementsAre;

namespace {

std::vector<std::string> gEvents;

class AppTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        gEvents.clear();
        ext_ = host().CreateExtension("VXTEST:Direct");
    }
    void Register(ASInt32 number, void* proc, void* clientData = nullptr) {
        VxEntry<AVAppRegisterNotificationProc>(AppView(), kAVAppRegisterNotification)(number, ext_, proc, clientData);
    }
    Extension* ext_ = nullptr;
};

// ---- idle

void VXAPI IdleOnce(void* clientData) {
    gEvents.push_back("once");
    VxEntry<AVAppUnregisterIdleProcProc>(Host::Current()->HostTable("AppView"), kAVAppUnregisterIdleProc)(IdleOnce,
                                                                                                        clientData);
}
void VXAPI IdleAlways(void* clientData) { gEvents.push_back("always " + std::to_string(reinterpret_cast<uintptr_t>(clientData))); }

TEST_F(AppTest, IdleProcCanUnregisterItselfWhileRunning) {
    auto reg = VxEntry<AVAppRegisterIdleProcProc>(AppView(), kAVAppRegisterIdleProc);
    reg(IdleOnce, nullptr, 1);
    reg(IdleAlways, reinterpret_cast<void*>(5), 100);
    EXPECT_EQ(host().RunIdle(), 2u);
    EXPECT_EQ(host().RunIdle(), 1u);
    EXPECT_THAT(gEvents, ElementsAre("once", "always 5", "always 5"));
    ASSERT_EQ(host().IdleProcs().size(), 1u);
    EXPECT_EQ(host().IdleProcs()[0].period, 100u);
    VxEntry<AVAppUnregisterIdleProcProc>(AppView(), kAVAppUnregisterIdleProc)(IdleAlways, reinterpret_cast<void*>(5));
    EXPECT_EQ(host().RunIdle(), 0u);
}

// ---- notifications

void VXAPI OnDocA(PDDoc doc, void* cd) { gEvents.push_back("A " + std::to_string(reinterpret_cast<uintptr_t>(cd))); }
void VXAPI OnDocB(PDDoc doc, void* cd) { gEvents.push_back("B"); }
void VXAPI OnView(AVDoc view, void* cd) {
    PDDoc doc = VxEntry<AVDocGetPDDocProc>(Host::Current()->HostTable("AppView"), kAVDocGetPDDoc)(view);
    gEvents.push_back(std::string("view ") + (doc ? "with doc" : "without doc"));
}
void VXAPI OnWillSave(PDDoc doc, const ASUns32* params, void* cd) { gEvents.push_back("38 flags " + std::to_string(params[1])); }
void VXAPI OnSaved(PDDoc doc, void* cd) { gEvents.push_back("19"); }
void VXAPI OnClear(void* cd) { gEvents.push_back("1002 " + std::to_string(reinterpret_cast<uintptr_t>(cd))); }

std::wstring gClosedPath;
bool gDeletedInClose;
bool gFileStillComparable;
void VXAPI OnClosed(PDDoc doc, void* cd) {
    Host* h = Host::Current();
    gEvents.push_back("55");
    // The host has let go of the file: it can be removed from inside the handler.
    gDeletedInClose = DeleteFileW(gClosedPath.c_str()) != 0;
    ASFile file = VxEntry<PDDocGetFileProc>(h->HostTable("PDModel"), kPDDocGetFile)(doc);
    gFileStillComparable = file == static_cast<Document*>(doc)->asFile();
}

TEST_F(AppTest, HandlersRunInRegistrationOrderWithTheirSignatures) {
    Register(kNotifyPDDocDidOpen, reinterpret_cast<void*>(OnDocB));
    Register(kNotifyAVDocDidOpen, reinterpret_cast<void*>(OnView));
    Register(kNotifyPDDocDidOpen, reinterpret_cast<void*>(OnDocA), reinterpret_cast<void*>(3));
    Register(kNotifyClearTempFiles, reinterpret_cast<void*>(OnClear), reinterpret_cast<void*>(9));
    EXPECT_THAT(host().JournalMatching("notify-register:"),
                ElementsAre("notify-register:66 VXTEST:Direct", "notify-register:1005 VXTEST:Direct",
                            "notify-register:66 VXTEST:Direct", "notify-register:1002 VXTEST:Direct"));

    Document* doc = host().OpenDocument(temp_.Write(L"a.pdf", "%PDF-1.4"));
    ASSERT_NE(doc, nullptr);
    host().SendClearTempFiles();
    EXPECT_THAT(gEvents, ElementsAre("B", "A 3", "view with doc", "1002 9"));
    EXPECT_EQ(VxEntry<AVAppGetActiveDocProc>(AppView(), kAVAppGetActiveDoc)(), doc->avDoc());
}

TEST_F(AppTest, SaveAndCloseSendTheirNotificationsInOrder) {
    Register(kNotifyPDDocWillSave, reinterpret_cast<void*>(OnWillSave));
    Register(kNotifyPDDocDidSave, reinterpret_cast<void*>(OnSaved));
    Register(kNotifyPDDocDidClose, reinterpret_cast<void*>(OnClosed));
    std::wstring path = temp_.Write(L"b.pdf", "%PDF");
    Document* doc = host().OpenDocument(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->Bytes(), "%PDF");
    EXPECT_TRUE(doc->FileHeld());

    host().EditDocument(doc, " edited");
    EXPECT_TRUE(host().SaveDocument(doc));
    EXPECT_EQ(TempFolder::Read(path), "%PDF edited");

    std::wstring copy = temp_.File(L"copy.pdf");
    EXPECT_TRUE(host().SaveDocumentCopy(doc, copy));
    EXPECT_EQ(doc->Path(), path);

    std::wstring moved = temp_.File(L"moved.pdf");
    EXPECT_TRUE(host().SaveDocumentAs(doc, moved));
    EXPECT_EQ(doc->Path(), moved);
    EXPECT_EQ(TempFolder::Read(moved), "%PDF edited");

    gClosedPath = moved;
    host().CloseDocument(doc);
    EXPECT_THAT(gEvents, ElementsAre("38 flags 0", "19", "38 flags 2", "19", "38 flags 0", "19", "55"));
    EXPECT_TRUE(gDeletedInClose);
    EXPECT_TRUE(gFileStillComparable);
    EXPECT_TRUE(host().Documents().empty());
    EXPECT_EQ(VxEntry<AVAppGetActiveDocProc>(AppView(), kAVAppGetActiveDoc)(), nullptr);
}

TEST_F(AppTest, DocumentFileAnswersPathAndFileSystem) {
    std::wstring path = temp_.Write(L"c.pdf", "%PDF");
    Document* doc = host().OpenDocument(path);
    ASSERT_NE(doc, nullptr);
    ASFile file = VxEntry<PDDocGetFileProc>(PDModel(), kPDDocGetFile)(doc->pdDoc());
    ASPathName filePath = VxEntry<ASFileGetPathProc>(AS(), kASFileGetPath)(file);
    EXPECT_EQ(PathText(filePath), path);
    EXPECT_EQ(VxEntry<ASFileGetFileSysProc>(AS(), kASFileGetFileSys)(file), host().DefaultFileSys());
    ReleasePath(filePath);
    // Other programs may read the open document.
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
}

TEST_F(AppTest, OpenFromPathRaisesForAMissingFile) {
    Register(kNotifyPDDocDidOpen, reinterpret_cast<void*>(OnDocB));
    Register(kNotifyAVDocDidOpen, reinterpret_cast<void*>(OnView));
    auto open = VxEntry<AVDocOpenFromFileProc>(AppView(), kAVDocOpenFromFile);
    ASPathName missing = MakePath(temp_.File(L"missing.pdf"));
    ASInt32 code = 0;
    try {
        open(missing, nullptr, nullptr);
    } catch (CVxException* e) {
        code = e->errorCode;
    }
    EXPECT_EQ(code, kErrFileNotFound);
    ReleasePath(missing);

    ASPathName present = MakePath(temp_.Write(L"present.pdf", "%PDF"));
    AVDoc view = open(present, host().DefaultFileSys(), nullptr);
    ReleasePath(present);
    ASSERT_NE(view, nullptr);
    EXPECT_THAT(gEvents, ElementsAre("B", "view with doc"));
}

// ---- ribbon

ASUns32 gClicked;
void VXAPI OnRibbon(ASUns32 clientData) { gClicked = clientData; }

TEST_F(AppTest, RibbonItemsAreAddedBesideRemovedAndClicked) {
    Ribbon& ribbon = host().GetRibbon();
    ASSERT_NE(ribbon.FindItem("AVRibbon:Main:Open:Btn"), nullptr);
    ASSERT_NE(ribbon.FindItem("AVRibbon:Main:SaveAs:Btn"), nullptr);
    AVRibbon handle = VxEntry<AVAppGetRibbonProc>(AppView(), kAVAppGetRibbon)();
    EXPECT_EQ(handle, &ribbon);

    ASText title = MakeText(L"Tessera");
    auto add = VxEntry<AVRibbonAddItemProc>(AppView(), kAVRibbonAddItem);
    AVRibbonItem item = add(handle, host().Atom("AVRibbon:Main:SaveAs:Btn"), nullptr, title, 2);
    EXPECT_EQ(add(handle, host().Atom("AVRibbon:No:Such:Btn"), nullptr, title, 2), nullptr);
    DestroyText(title);
    ASSERT_NE(item, nullptr);
    VxEntry<AVRibbonItemSetProcProc>(AppView(), kAVRibbonItemSetProc)(item, OnRibbon, 0x1234);

    RibbonPanel* file = ribbon.FindPanel("AVRibbon:Category:Main", "AVRibbon:Panel:Main:File");
    ASSERT_NE(file, nullptr);
    std::vector<std::string> names;
    for (RibbonItem* i : file->items) names.push_back(i->name);
    EXPECT_THAT(names, ElementsAre("AVRibbon:Main:Open:Btn", "AVRibbon:Main:Save:Btn", "AVRibbon:Main:SaveAs:Btn",
                                   "AVRibbon:Main:SaveAs:Btn+1", "AVRibbon:Main:Print:Btn"));
    EXPECT_EQ(file->items[3]->title, L"Tessera");  // the title outlives the plug-in's text

    EXPECT_TRUE(host().ClickRibbonItem("AVRibbon:Main:SaveAs:Btn+1"));
    EXPECT_EQ(gClicked, 0x1234u);
    EXPECT_FALSE(host().ClickRibbonItem("AVRibbon:No:Such:Btn"));

    auto removePanel = VxEntry<AVRibbonRemovePanelProc>(AppView(), kAVRibbonRemovePanel);
    auto removeButton = VxEntry<AVRibbonRemoveButtonProc>(AppView(), kAVRibbonRemoveButton);
    ASAtom help = host().Atom("AVRibbon:Category:Help");
    ASAtom product = host().Atom("AVRibbon:Panel:Help:Product");
    EXPECT_EQ(removePanel(handle, help, host().Atom("AVRibbon:Panel:Help:OnlineSupport")), 1);
    EXPECT_EQ(removePanel(handle, help, host().Atom("AVRibbon:Panel:Help:OnlineSupport")), 0);
    EXPECT_EQ(removeButton(handle, help, product, host().Atom("AVRibbon:Help:CheckForUpdates:Btn")), 1);
    EXPECT_EQ(removeButton(handle, help, product, host().Atom("AVRibbon:Help:CheckForUpdates:Btn")), 0);
    EXPECT_EQ(ribbon.FindPanel("AVRibbon:Category:Help", "AVRibbon:Panel:Help:OnlineSupport"), nullptr);
    EXPECT_EQ(ribbon.FindItem("AVRibbon:Help:CheckForUpdates:Btn"), nullptr);
    EXPECT_NE(ribbon.FindItem("AVRibbon:Help:About:Btn"), nullptr);
    EXPECT_NE(ribbon.FindItem("AVRibbon:Help:Help:Btn"), nullptr);
    EXPECT_THAT(host().JournalMatching("ribbon-remove"),
                ElementsAre("ribbon-remove-panel:AVRibbon:Category:Help AVRibbon:Panel:Help:OnlineSupport",
                            "ribbon-remove-panel:AVRibbon:Category:Help AVRibbon:Panel:Help:OnlineSupport",
                            "ribbon-remove-button:AVRibbon:Category:Help AVRibbon:Panel:Help:Product "
                            "AVRibbon:Help:CheckForUpdates:Btn",
                            "ribbon-remove-button:AVRibbon:Category:Help AVRibbon:Panel:Help:Product "
                            "AVRibbon:Help:CheckForUpdates:Btn"));
    EXPECT_EQ(host().JournalCount("ribbon-absent:AVRibbon:Category:Help AVRibbon:Panel:Help:OnlineSupport"), 1u);
}

// ---- main window and small entries

TEST_F(AppTest, MainWindowRunsTheSaveAsCommand) {
    HWND window = VxEntry<AVAppGetMainWindowProc>(AppView(), kAVAppGetMainWindow)();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    int runs = 0;
    host().SetSaveAsCommandHandler([&] { runs++; });
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(kVxCmdSaveAs, 0), 0);
    EXPECT_EQ(runs, 1);
    // The host's own Save As button goes the same way.
    EXPECT_TRUE(host().ClickRibbonItem("AVRibbon:Main:SaveAs:Btn"));
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(host().JournalCount("command:SaveAs"), 2u);
}

TEST_F(AppTest, AlertsQueriesModifiersAndBeforeCommand) {
    ASText text = MakeText(L"The document is in use.");
    VxEntry<AVAlertProc>(AppView(), kAVAlert)(text);
    DestroyText(text);
    EXPECT_THAT(host().Alerts(), ElementsAre(L"The document is in use."));
    EXPECT_EQ(VxEntry<AVAppQueryProc>(AppView(), kAVAppQuery)(17), 0);
    EXPECT_EQ(VxEntry<AVSysGetModifiersProc>(AppView(), kAVSysGetModifiers)(), 0u);
    host().SetModifiers(1);
    EXPECT_EQ(VxEntry<AVSysGetModifiersProc>(AppView(), kAVSysGetModifiers)(), 1u);
    VxEntry<AVRibbonBeforeCommandProc>(AppView(), kAVRibbonBeforeCommand)(&host().GetRibbon());
    EXPECT_THAT(host().Journal(), ElementsAre("alert:The document is in use.", "query:17", "ribbon-before-command"));
}

TEST_F(AppTest, EveryEntryCalledFromAnotherThreadIsRecorded) {
    std::thread worker([&] {
        ASPathName path = MakePath(L"C:\\from-worker.pdf");
        ReleasePath(path);
        VxEntry<AVAppGetActiveDocProc>(AppView(), kAVAppGetActiveDoc)();
    });
    worker.join();
    auto violations = host().ThreadViolations();
    ASSERT_EQ(violations.size(), 3u);
    EXPECT_EQ(violations[0].rfind("AS 52", 0), 0u) << violations[0];
    EXPECT_EQ(violations[1].rfind("AS 25", 0), 0u) << violations[1];
    EXPECT_EQ(violations[2].rfind("AppView 12", 0), 0u) << violations[2];
    host().ClearThreadViolations();  // seen; the fixture fails a test on any left
}

}  // namespace
