// The script language, and the runner driving a real dialog of the test's own through its helper
// thread, with the screenshot it takes.
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "vxhost/HostFixture.h"
#include "vxhost/Scenario.h"

using namespace vxhost;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

TEST(ScenarioParse, ActionsCarryTheDialogAnswersThatFollowThem) {
    Scenario scenario;
    auto errors = ParseScenario(
        "# opening two documents\n"
        "click Tessera@Open\n"
        "  choose 1001 1002.3\n"
        "\n"
        "edit 1001_1.pdf \"a new clause\"\n"
        "saveas #2 \"C:\\My Files\\out.pdf\"\r\n"
        "click Tessera@SaveAs\n"
        "  profile Lease of the new office\n"
        "idle 3\n"
        "kept\n"
        "  kept-select 1001.2\n"
        "  kept-press discard\n"
        "  kept-confirm cancel\n",
        &scenario);
    ASSERT_THAT(errors, IsEmpty());
    ASSERT_EQ(scenario.steps.size(), 6u);
    const auto& open = scenario.steps[0];
    EXPECT_EQ(open.line, 2);
    ASSERT_EQ(open.answers.size(), 1u);
    EXPECT_EQ(open.answers[0].caption, L"Tessera - Open");
    ASSERT_EQ(open.answers[0].picks.size(), 2u);
    EXPECT_EQ(open.answers[0].picks[1].number, 1002);
    EXPECT_EQ(open.answers[0].picks[1].version, 3);
    EXPECT_EQ(scenario.steps[1].rest, "a new clause");
    EXPECT_THAT(scenario.steps[1].args[0], "1001_1.pdf");
    ASSERT_EQ(scenario.steps[2].answers.size(), 1u);
    EXPECT_EQ(scenario.steps[2].answers[0].kind, DialogAnswer::Kind::File);
    EXPECT_EQ(scenario.steps[2].answers[0].text, L"C:\\My Files\\out.pdf");
    EXPECT_EQ(scenario.steps[3].answers[0].text, L"Lease of the new office");
    EXPECT_EQ(scenario.steps[4].args[0], "3");
    const auto& kept = scenario.steps[5].answers;
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].kind, DialogAnswer::Kind::KeptSelect);
    EXPECT_EQ(kept[0].picks[0].version, 2);
    EXPECT_EQ(std::make_tuple(kept[1].kind, kept[1].text), std::make_tuple(DialogAnswer::Kind::KeptPress, std::wstring(L"discard")));
    EXPECT_EQ(std::make_tuple(kept[2].kind, kept[2].confirm), std::make_tuple(DialogAnswer::Kind::KeptConfirm, false));
}

TEST(ScenarioParse, BadLinesAreRejectedWithTheirLineNumbers) {
    Scenario scenario;
    auto errors = ParseScenario(
        "choose 1001\n"                 // 1: answers nothing
        "click\n"                       // 2: no item
        "  profile orphan of line 2\n"  // 3: dropped with its rejected action, no second error
        "fly away\n"                    // 4
        "shift sideways\n"              // 5
        "idle -1\n"                     // 6
        "click Tessera@Open\n"
        "note in between\n"
        "  choose 1001\n"               // 9: a note ends the action
        "click Tessera@Open\n"
        "  choose 10x1\n"               // 11
        "note \"unclosed\n"             // 12
        "edit #1 \"unclosed\n"          // 13
        "kept\n"
        "  kept-press print\n"          // 15
        "  kept-confirm maybe\n",       // 16
        &scenario);
    EXPECT_THAT(errors, ElementsAre(HasSubstr("line 1: \"choose\" answers a dialog"), HasSubstr("line 2: usage: click"),
                                    HasSubstr("line 4: unknown command \"fly\""), HasSubstr("line 5: usage: shift"),
                                    HasSubstr("line 6: idle count"), HasSubstr("line 9: \"choose\" answers a dialog"),
                                    HasSubstr("line 11: \"10x1\" is not a document number"),
                                    HasSubstr("line 12: unclosed quote"), HasSubstr("line 13: unclosed quote"),
                                    HasSubstr("line 15: usage: kept-press"), HasSubstr("line 16: usage: kept-confirm")));
}

TEST(ScenarioPng, WritesAValidImage) {
    TempFolder temp;
    std::vector<unsigned char> rgb(3 * 2 * 3, 0x80);
    std::wstring file = temp.File(L"t.png");
    ASSERT_TRUE(WritePng(file, 3, 2, rgb));
    std::string bytes = TempFolder::Read(file);
    ASSERT_GT(bytes.size(), 8u + 25u);
    EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(bytes.substr(12, 4), "IHDR");
    EXPECT_EQ(bytes.substr(bytes.size() - 8, 4), "IEND");
    EXPECT_FALSE(WritePng(file, 3, 3, rgb));
}

// ---- a browse dialog of the test's own, built in memory with the stand-in's caption and ids

std::vector<std::wstring> gChosen;

INT_PTR CALLBACK BrowseProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    HWND list = GetDlgItem(dialog, 7110);
    if (message == WM_INITDIALOG) {
        for (const wchar_t* line : {L"Legal\t1001\t1\tLease", L"Legal\t1002\t1\tOffer", L"Legal\t1002\t2\tOffer"})
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        int selected[8];
        LRESULT n = LOWORD(wParam) == IDOK ? SendMessageW(list, LB_GETSELITEMS, 8, reinterpret_cast<LPARAM>(selected)) : 0;
        for (LRESULT i = 0; i < n; i++) {
            wchar_t text[64] = {};
            SendMessageW(list, LB_GETTEXT, selected[i], reinterpret_cast<LPARAM>(text));
            gChosen.push_back(text);
        }
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// DLGTEMPLATE with a caption, a list box (id 7110), OK and Cancel.
std::vector<WORD> BrowseTemplate(const wchar_t* caption) {
    std::vector<WORD> t;
    auto dword = [&](DWORD v) { t.push_back(LOWORD(v)); t.push_back(HIWORD(v)); };
    auto text = [&](const wchar_t* s) { for (; *s; s++) t.push_back(*s); t.push_back(0); };
    auto align = [&] { if (t.size() % 2) t.push_back(0); };
    dword(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE);
    dword(0);
    t.push_back(3);
    for (WORD v : {10, 10, 200, 120}) t.push_back(v);
    t.push_back(0);
    t.push_back(0);
    text(caption);
    t.push_back(8);
    text(L"MS Shell Dlg");
    auto item = [&](DWORD style, WORD x, WORD y, WORD cx, WORD cy, WORD id, WORD cls, const wchar_t* title) {
        align();
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(0);
        for (WORD v : {x, y, cx, cy, id}) t.push_back(v);
        t.push_back(0xFFFF);
        t.push_back(cls);
        text(title);
        t.push_back(0);
    };
    item(LBS_EXTENDEDSEL | WS_BORDER | WS_VSCROLL | LBS_USETABSTOPS, 5, 5, 190, 90, 7110, 0x0083, L"");
    item(BS_DEFPUSHBUTTON | WS_TABSTOP, 90, 100, 50, 14, IDOK, 0x0080, L"OK");
    item(BS_PUSHBUTTON | WS_TABSTOP, 145, 100, 50, 14, IDCANCEL, 0x0080, L"Cancel");
    return t;
}

class RunnerTest : public HostFixture {
protected:
    RunnerOptions Options(DWORD timeoutMs = 20000) {
        RunnerOptions options;
        options.shots = temp_.File(L"shots");
        options.timeoutMs = timeoutMs;
        options.output = [this](const std::string& line) { transcript_ += line + "\n"; };
        return options;
    }
    // busyMs: how long the Open command keeps the main thread busy before its dialog.
    void ShowBrowseOnOpen(const wchar_t* caption, DWORD busyMs = 0) {
        gChosen.clear();
        host().SetOpenCommandHandler([caption, busyMs] {
            Sleep(busyMs);
            auto tmpl = BrowseTemplate(caption);
            DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(tmpl.data()),
                                    Host::Current()->MainWindow(), BrowseProc, 0);
        });
    }
    Scenario Parse(const std::string& text) {
        Scenario scenario;
        EXPECT_THAT(ParseScenario(text, &scenario), IsEmpty());
        return scenario;
    }
    std::string transcript_;
};

TEST_F(RunnerTest, HelperThreadChoosesInTheDialogPhotographsItAndPressesOK) {
    ShowBrowseOnOpen(L"Tessera - Open", 300);
    ScenarioRunner runner(host(), Options());
    EXPECT_TRUE(runner.Run(Parse("idle\nclick AVRibbon:Main:Open:Btn\n  choose 1002 1001\n")));
    EXPECT_THAT(gChosen, ElementsAre(L"Legal\t1001\t1\tLease", L"Legal\t1002\t2\tOffer"));
    ASSERT_EQ(runner.Shots().size(), 1u);
    EXPECT_EQ(runner.Shots()[0], temp_.File(L"shots") + L"\\02-click-tessera-open.png");
    EXPECT_EQ(TempFolder::Read(runner.Shots()[0]).substr(1, 3), "PNG");
    EXPECT_THAT(transcript_, HasSubstr("dialog \"Tessera - Open\" appeared"));
    EXPECT_THAT(transcript_, HasSubstr("chose 1002 version 2, 1001 version 1"));
    EXPECT_THAT(transcript_, HasSubstr("  ok\n"));
    // The busy main thread is measured; its dialog's modal loop answers.
    const std::string said = "main window: longest unanswered ";
    size_t at = transcript_.find(said);
    ASSERT_NE(at, std::string::npos) << transcript_;
    long ms = atol(transcript_.c_str() + at + said.size());
    EXPECT_GE(ms, 240);  // probes go every 50 ms
    EXPECT_LT(ms, 1000);
    EXPECT_THAT(transcript_.substr(at), HasSubstr(" ms, during line 2: click AVRibbon:Main:Open:Btn\n"));
}

TEST_F(RunnerTest, AMissingDocumentCancelsTheDialogAndFailsTheStep) {
    ShowBrowseOnOpen(L"Tessera - Open");
    ScenarioRunner runner(host(), Options());
    EXPECT_FALSE(runner.Run(Parse("click AVRibbon:Main:Open:Btn\n  choose 1003\n")));
    EXPECT_THAT(gChosen, IsEmpty());
    EXPECT_THAT(transcript_, HasSubstr("FAILED: line 2: document 1003 is not in the list (3 entries)"));
    EXPECT_EQ(runner.Failures(), 1);
}

TEST_F(RunnerTest, NoDialogWaitsForeverAndAnExpectedOneThatNeverCameIsReported) {
    ShowBrowseOnOpen(L"Something else");
    ScenarioRunner runner(host(), Options(1500));
    EXPECT_FALSE(runner.Run(Parse("click AVRibbon:Main:Open:Btn\n  choose 1001\nopen C:\\nowhere.pdf\n")));
    EXPECT_THAT(transcript_, HasSubstr("line 2: the dialog \"Tessera - Open\" did not appear within 1 s"));
    EXPECT_THAT(transcript_, HasSubstr("the dialog \"Something else\" stayed open 1 s with no answer"));
    EXPECT_THAT(transcript_, HasSubstr("FAILED: cannot open C:\\nowhere.pdf"));
    EXPECT_EQ(runner.Failures(), 2);
}

TEST_F(RunnerTest, DocumentStepsFileAnswersAndAlertChecks) {
    std::wstring local = temp_.Write(L"local.pdf", "%PDF-1.4\n");
    std::wstring copy = temp_.File(L"copy.pdf");
    ScenarioRunner runner(host(), Options());
    std::string script = "click AVRibbon:Main:Open:Btn\n  file " + ToUtf8(local) +
                         "\nedit local.pdf clause 4\nsaveas #1 \"" + ToUtf8(copy) +
                         "\"\nexpect-open 1\nshift down\nclose copy.pdf\nexpect-alert nothing\nsave #1\n";
    EXPECT_FALSE(runner.Run(Parse(script)));
    EXPECT_EQ(TempFolder::Read(copy), "%PDF-1.4\n\n%clause 4\n");
    EXPECT_EQ(host().Modifiers(), 1u);
    EXPECT_THAT(transcript_, HasSubstr("FAILED: no alert containing \"nothing\""));
    EXPECT_THAT(transcript_, HasSubstr("FAILED: there is no document #1 (0 open)"));
    EXPECT_EQ(runner.Failures(), 2);
}

TEST_F(RunnerTest, AFileAnswerTheHostNeverAskedForFailsTheStep) {
    ScenarioRunner runner(host(), Options());
    EXPECT_FALSE(runner.Run(Parse("idle\n  file C:\\x.pdf\nclick AVRibbon:Main:Open:Btn\n")));
    EXPECT_THAT(transcript_, HasSubstr("FAILED: line 2: the host's file dialog never appeared"));
    EXPECT_THAT(transcript_, HasSubstr("FAILED: the host's file dialog appeared with no \"file\" answer"));
}

TEST_F(RunnerTest, TouchSignalsAndWaitFileWaitsForAnotherThreadsSignalOrTimesOut) {
    std::wstring ready = temp_.File(L"ready"), late = temp_.File(L"late");
    ScenarioRunner runner(host(), Options(1500));
    // The second signal comes from elsewhere while the step waits.
    std::thread other([&] {
        Sleep(300);
        temp_.Write(L"late", "");
    });
    std::string script = "touch " + ToUtf8(ready) + "\nwait-file " + ToUtf8(ready) + "\nwait-file " + ToUtf8(late) +
                         "\nwait-file " + ToUtf8(temp_.File(L"never")) + "\n";
    EXPECT_FALSE(runner.Run(Parse(script)));
    other.join();
    EXPECT_NE(GetFileAttributesW(ready.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(runner.Failures(), 1);
    EXPECT_THAT(transcript_, HasSubstr("never did not appear within 1 s"));
}

}  // namespace
