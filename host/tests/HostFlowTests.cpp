// The host's Open, Save As and rename flows against a small "Tessera" table of the test's own,
// published through the host exactly as a plug-in publishes it.
#include <string>
#include <vector>

#include "vxhost/HostFixture.h"

using namespace vxhost;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

struct FakeTessera {
    ASBool openEnabled = 1;
    ASBool saveEnabled = 1;
    std::vector<std::wstring> openResult;  // empty text: a null slot in the array
    ASBool openAnswer = 1;
    std::wstring saveAsTarget;             // empty: entry 12 answers null
    std::vector<std::string> calls;
    HFT table = nullptr;
} gFake;

Host* H() { return Host::Current(); }

ASBool VXAPI IsOpenEnabled() { gFake.calls.push_back("1"); return gFake.openEnabled; }
ASBool VXAPI IsSaveEnabled() { gFake.calls.push_back("2"); return gFake.saveEnabled; }
void VXAPI RemoveDocument(ASPathName path) { gFake.calls.push_back("6 " + ToUtf8(HostCalls::PathText(path))); }
ASBool VXAPI OpenDialog(HWND parent, const wchar_t* filter, ASPathName** items, ASUns16* count, ASBool keep) {
    gFake.calls.push_back(std::string("7 ") + (parent == H()->MainWindow() ? "main" : "other") + " " +
                          (filter ? "filter" : "no-filter") + " keep " + std::to_string(keep));
    if (!gFake.openAnswer) return 0;
    auto n = static_cast<ASUns16>(gFake.openResult.size());
    auto* list = static_cast<ASPathName*>(VxEntry<ASmallocProc>(HostCalls::Table("AS"), kASmalloc)(n * sizeof(ASPathName)));
    for (ASUns16 i = 0; i < n; i++) list[i] = gFake.openResult[i].empty() ? nullptr : HostCalls::MakePath(gFake.openResult[i]);
    *items = list;
    *count = n;
    return 1;
}
ASPathName VXAPI SaveAsDialog(ASPathName path) {
    gFake.calls.push_back("12 " + ToUtf8(HostCalls::PathText(path)));
    return gFake.saveAsTarget.empty() ? nullptr : HostCalls::MakePath(gFake.saveAsTarget);
}
void VXAPI FileRenamed(ASText text) {
    Document* doc = H()->Documents().empty() ? nullptr : H()->Documents()[0];
    gFake.calls.push_back("25 " + ToUtf8(HostCalls::TextValue(text)) +
                          (doc && doc->FileHeld() ? " held" : " released"));
}
HFT VXAPI Provide(HFTServer, ASUns32, void*) { return gFake.table; }

void VXAPI OnWillSave(PDDoc doc, const ASUns32* params, void*) {
    gFake.calls.push_back("38 flags " + std::to_string(params[1]));
}
void VXAPI OnSaved(PDDoc doc, void*) {
    gFake.calls.push_back("19 " + ToUtf8(static_cast<Document*>(doc)->Path()));
}

class FlowTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        gFake = FakeTessera{};
        ext_ = host().CreateExtension("VXTEST:Fake");
        server_ = VxEntry<ASNewHFTServerProc>(AS(), kASNewHFTServer)("Tessera", Provide, nullptr, nullptr);
        gFake.table = VxEntry<ASNewHFTProc>(AS(), kASNewHFT)(server_, kTesseraTableSize);
        gFake.table[1] = reinterpret_cast<void*>(IsOpenEnabled);
        gFake.table[2] = reinterpret_cast<void*>(IsSaveEnabled);
        gFake.table[6] = reinterpret_cast<void*>(RemoveDocument);
        gFake.table[7] = reinterpret_cast<void*>(OpenDialog);
        gFake.table[12] = reinterpret_cast<void*>(SaveAsDialog);
        gFake.table[25] = reinterpret_cast<void*>(FileRenamed);
        auto reg = VxEntry<AVAppRegisterNotificationProc>(AppView(), kAVAppRegisterNotification);
        reg(kNotifyPDDocWillSave, ext_, reinterpret_cast<void*>(OnWillSave), nullptr);
        reg(kNotifyPDDocDidSave, ext_, reinterpret_cast<void*>(OnSaved), nullptr);
    }
    void TearDown() override {
        VxEntry<ASDestroyHFTProc>(AS(), kASDestroyHFT)(gFake.table);
        VxEntry<ASDestroyHFTServerProc>(AS(), kASDestroyHFTServer)(server_);
        HostFixture::TearDown();
    }
    // Answers the host's own file dialog with `path` (empty: cancel) and counts the questions.
    void AnswerFileDialog(const std::wstring& path) {
        host().SetFileDialogHandler([this, path](FileDialogKind, const std::wstring& current, std::wstring* chosen) {
            dialogCurrent_ = current;
            dialogs_++;
            *chosen = path;
            return !path.empty();
        });
    }
    Extension* ext_ = nullptr;
    HFTServer server_ = nullptr;
    int dialogs_ = 0;
    std::wstring dialogCurrent_;
};

TEST_F(FlowTest, OpenFromTesseraOpensEachReturnedPathAndFreesWhatItGot) {
    std::wstring a = temp_.Write(L"1001_1.pdf", "%PDF-a");
    std::wstring b = temp_.Write(L"1002_1.pdf", "%PDF-b");
    std::wstring missing = temp_.File(L"1003_1.pdf");
    gFake.openResult = {a, L"", missing, b};
    AnswerFileDialog(L"C:\\never.pdf");

    EXPECT_TRUE(host().ClickRibbonItem("AVRibbon:Main:Open:Btn"));

    EXPECT_EQ(dialogs_, 0);
    EXPECT_THAT(gFake.calls, ElementsAre("1", "7 main no-filter keep 1", "6 " + ToUtf8(missing)));
    ASSERT_EQ(host().Documents().size(), 2u);
    EXPECT_EQ(host().Documents()[0]->Path(), a);
    EXPECT_EQ(host().Documents()[1]->Path(), b);
    EXPECT_EQ(host().Alerts().size(), 1u);
    // Every path and the array itself went back to the host.
    EXPECT_EQ(host().Objects().Live(ObjectKind::Path), 0u);
    EXPECT_EQ(host().Objects().Live(ObjectKind::Block), 0u);
    EXPECT_EQ(host().Objects().Released(ObjectKind::Block), 1u);
}

TEST_F(FlowTest, OpenUsesTheHostDialogWhenEntry1SaysNoAndStopsWhenEntry7Does) {
    std::wstring local = temp_.Write(L"local.pdf", "%PDF");
    gFake.openEnabled = 0;
    AnswerFileDialog(local);
    host().RunOpenCommand();
    EXPECT_THAT(gFake.calls, ElementsAre("1"));
    ASSERT_EQ(host().Documents().size(), 1u);
    EXPECT_EQ(host().Documents()[0]->Path(), local);

    gFake.calls.clear();
    gFake.openEnabled = 1;
    gFake.openAnswer = 0;
    host().RunOpenCommand();
    EXPECT_THAT(gFake.calls, ElementsAre("1", "7 main no-filter keep 1"));
    EXPECT_EQ(dialogs_, 1);
    EXPECT_EQ(host().Documents().size(), 1u);

    AnswerFileDialog(L"");
    gFake.openEnabled = 0;
    host().RunOpenCommand();
    EXPECT_EQ(host().JournalCount("open:cancelled"), 1u);
}

TEST_F(FlowTest, SaveAsToTesseraWritesTheReturnedPathBetween38And19AndRebinds) {
    std::wstring local = temp_.Write(L"Lease.pdf", "%PDF");
    std::wstring target = temp_.File(L"5678_1.pdf");
    gFake.saveAsTarget = target;
    AnswerFileDialog(L"C:\\never.pdf");
    Document* doc = host().OpenDocument(local);
    ASSERT_NE(doc, nullptr);
    host().EditDocument(doc, " edited");

    // Entry 21's way in: the command message to the main window.
    SendMessageW(host().MainWindow(), WM_COMMAND, MAKEWPARAM(kVxCmdSaveAs, 0), 0);

    EXPECT_EQ(dialogs_, 0);
    EXPECT_THAT(gFake.calls, ElementsAre("2", "12 " + ToUtf8(local), "38 flags 0", "19 " + ToUtf8(target)));
    EXPECT_EQ(doc->Path(), target);
    EXPECT_TRUE(doc->FileHeld());
    EXPECT_EQ(TempFolder::Read(target), "%PDF edited");
    EXPECT_EQ(TempFolder::Read(local), "%PDF");
    EXPECT_EQ(host().Objects().Live(ObjectKind::Path), 0u);
}

TEST_F(FlowTest, SaveAsCancelledByTesseraOrByTheHostDialogChangesNothing) {
    std::wstring local = temp_.Write(L"Lease.pdf", "%PDF");
    Document* doc = host().OpenDocument(local);
    AnswerFileDialog(L"");
    host().RunSaveAsCommand();  // entry 12 answers null
    EXPECT_THAT(gFake.calls, ElementsAre("2", "12 " + ToUtf8(local)));
    EXPECT_EQ(dialogs_, 0);

    gFake.calls.clear();
    gFake.saveEnabled = 0;
    host().RunSaveAsCommand();
    EXPECT_THAT(gFake.calls, ElementsAre("2"));
    EXPECT_EQ(dialogs_, 1);
    EXPECT_EQ(dialogCurrent_, local);
    EXPECT_EQ(doc->Path(), local);
    EXPECT_EQ(host().JournalCount("save-as:cancelled"), 2u);
    EXPECT_THAT(host().JournalMatching("notify:38"), IsEmpty());
}

TEST_F(FlowTest, SaveAsThroughTheHostDialogWhenEntry2SaysNo) {
    std::wstring local = temp_.Write(L"a.pdf", "%PDF");
    std::wstring other = temp_.File(L"b.pdf");
    gFake.saveEnabled = 0;
    AnswerFileDialog(other);
    Document* first = host().OpenDocument(local);
    host().OpenDocument(temp_.Write(L"c.pdf", "%PDF-c"));
    host().SetActiveDocument(first);
    host().ClickRibbonItem("AVRibbon:Main:SaveAs:Btn");
    EXPECT_THAT(gFake.calls, ElementsAre("2", "38 flags 0", "19 " + ToUtf8(other)));
    EXPECT_EQ(first->Path(), other);
}

TEST_F(FlowTest, RenameTellsEntry25TheOldDisplayTextWithTheFileReleasedThenRebinds) {
    std::wstring old = temp_.Write(L"old.pdf", "%PDF");
    std::wstring renamed = temp_.File(L"new.pdf");
    Document* doc = host().OpenDocument(old);
    EXPECT_TRUE(host().RenameDocumentFile(doc, renamed));
    EXPECT_THAT(gFake.calls, ElementsAre("25 " + ToUtf8(old) + " released"));
    EXPECT_EQ(doc->Path(), renamed);
    EXPECT_TRUE(doc->FileHeld());
    EXPECT_FALSE(TempFolder::Exists(old));
    EXPECT_EQ(TempFolder::Read(renamed), "%PDF");
    EXPECT_EQ(host().Objects().Live(ObjectKind::Text), 0u);
}

TEST_F(FlowTest, WithoutATesseraTableBothCommandsUseTheHostDialog) {
    VxEntry<ASDestroyHFTServerProc>(AS(), kASDestroyHFTServer)(server_);
    server_ = VxEntry<ASNewHFTServerProc>(AS(), kASNewHFTServer)("Other", Provide, nullptr, nullptr);
    std::wstring local = temp_.Write(L"a.pdf", "%PDF");
    AnswerFileDialog(local);
    host().RunOpenCommand();
    host().RunSaveAsCommand();
    EXPECT_EQ(dialogs_, 2);
    EXPECT_THAT(gFake.calls, ElementsAre("38 flags 0", "19 " + ToUtf8(local)));
}

}  // namespace
