// "Kept on this computer" and its confirmation from the keyboard, as a user without a mouse has them:
// keys go through the dialog manager inside the window's own modal loop, one step per timer tick.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "VxApp.h"
#include "VxHostedTest.h"
#include "WorkspaceRoot.h"
#include "dialogs/CKeptCopiesDlg.h"
#include "documents/TempWorkspace.h"
#include "resource.h"

namespace {

// Records what the buttons asked for; the DMS is never reached.
struct RecordingActions : IKeptCopyActions {
    std::vector<std::string> calls;
    bool CheckIn(const KeptCopy& entry) override { return Note("checkin", entry); }
    bool SaveAsNew(const KeptCopy& entry) override { return Note("new", entry); }
    bool Discard(const KeptCopy& entry) override { return Note("discard", entry); }
    void ShowInFolder(const KeptCopy& entry) override { Note("show", entry); }
    bool Note(const char* what, const KeptCopy& entry) {
        calls.push_back(std::string(what) + " " + std::to_string(entry.record.number));
        return false;
    }
};

// The steps run one per tick against the top dialog of this thread; a dialog still open after them
// is cancelled, so that a failing test cannot hang.
class KeyScript {
public:
    using Step = std::function<void(HWND)>;
    explicit KeyScript(std::vector<Step> steps) : steps_(std::move(steps)) {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 40, Tick);
    }
    ~KeyScript() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    KeyScript(const KeyScript&) = delete;
    KeyScript& operator=(const KeyScript&) = delete;
    bool Finished() const { return next_ == steps_.size(); }

private:
    static BOOL CALLBACK Top(HWND window, LPARAM found) {
        if (IsWindowVisible(window) && IsWindowEnabled(window)) *reinterpret_cast<HWND*>(found) = window;
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        KeyScript* self = current_;
        HWND dialog = nullptr;
        if (self) EnumThreadWindows(GetCurrentThreadId(), Top, reinterpret_cast<LPARAM>(&dialog));
        if (!dialog) return;
        if (self->next_ < self->steps_.size()) {
            self->steps_[self->next_++](dialog);
        } else {
            ADD_FAILURE() << "a dialog is still open after the last step";
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
    }
    static KeyScript* current_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    UINT_PTR timer_ = 0;
};
KeyScript* KeyScript::current_ = nullptr;

// A key as the modal loop hands it to the dialog manager: to the control that has the focus.
void Key(HWND dialog, UINT message, WPARAM key) {
    MSG msg = {GetFocus(), message, key, 0, 0, {0, 0}};
    EXPECT_TRUE(IsDialogMessageW(dialog, &msg)) << "key " << key;
}

int FocusId() { return GetDlgCtrlID(GetFocus()); }

// The controls Tab reaches from the first, until it comes round again.
std::vector<int> TabWalk(HWND dialog) {
    std::vector<int> order = {FocusId()};
    for (int i = 0; i < 20; i++) {
        Key(dialog, WM_KEYDOWN, VK_TAB);
        if (FocusId() == order.front()) break;
        order.push_back(FocusId());
    }
    return order;
}

// The static text right before a control in the tab order: what a screen reader names it by.
std::wstring LabelOf(HWND dialog, int id) {
    wchar_t text[128] = L"";
    GetWindowTextW(GetWindow(GetDlgItem(dialog, id), GW_HWNDPREV), text, 128);
    return text;
}

class KeptCopiesDlgTest : public VxHostedTest {
protected:
    void SetUp() override {
        VxHostedTest::SetUp();
        for (long number : {1001, 1002}) {
            std::wstring folder = VxFormat(L"%s\\VRL%d", GetTempRootFolder().c_str(), static_cast<int>(number));
            std::wstring name = FormatTempFileName(number, 1, L"pdf");
            ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
            ASSERT_TRUE(VxWriteFile(folder + L"\\" + name, "edited"));
            FileDataRecord record{static_cast<int32_t>(number), 1, name, L"DOCS", L"SRV1"};
            ASSERT_TRUE(VxWriteFile(folder + L"\\TSFile.dat", SerializeFileDataRecord(record)));
            MarkOwed(folder + L"\\" + name, L"Document " + std::to_wstring(number) + L".pdf");
        }
        copies_.Collect();
        ASSERT_EQ(copies_.Entries().size(), 2u);
    }

    VxWorkspaceRoot workspace_;
    CDocumentManager documents_;
    CKeptCopies copies_{documents_};
    RecordingActions actions_;
};

TEST_F(KeptCopiesDlgTest, EveryDialogWorksFromTheKeyboardInTheOrderItShows) {
    std::vector<int> window, confirmation;
    CKeptCopiesDlg dialog(copies_, actions_, host().MainWindow());
    KeyScript script({
        [&](HWND kept) {
            window = TabWalk(kept);
            EXPECT_EQ(LabelOf(kept, IDC_KEPT_LIST), L"&Kept copies:");
            EXPECT_EQ(LabelOf(kept, IDC_KEPT_REASON), L"&Why it is kept:");
            // A label's mnemonic takes the keyboard to its field; Enter is the default button's.
            Key(kept, WM_SYSCHAR, L'w');
            EXPECT_EQ(FocusId(), IDC_KEPT_REASON);
            Key(kept, WM_SYSCHAR, L'k');
            EXPECT_EQ(FocusId(), IDC_KEPT_LIST);
            Key(kept, WM_KEYDOWN, VK_RETURN);
            EXPECT_EQ(FocusId(), IDC_KEPT_LIST);
            Key(kept, WM_SYSCHAR, L'd');
        },
        [&](HWND confirm) {
            EXPECT_NE(GetDlgItem(confirm, IDC_DISCARD_TEXT), nullptr);
            confirmation = TabWalk(confirm);
            Key(confirm, WM_KEYDOWN, VK_ESCAPE);
        },
        [&](HWND kept) {
            EXPECT_EQ(GetDlgItem(kept, IDC_DISCARD_TEXT), nullptr);
            Key(kept, WM_KEYDOWN, VK_ESCAPE);
        },
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(window, (std::vector<int>{IDC_KEPT_LIST, IDC_KEPT_REASON, IDC_KEPT_CHECKIN, IDC_KEPT_OPEN,
                                        IDC_KEPT_SAVE_NEW, IDC_KEPT_SHOW, IDC_KEPT_DISCARD, IDCANCEL}));
    EXPECT_EQ(confirmation, (std::vector<int>{IDOK, IDCANCEL}));
    // Enter checked the first entry in; the discard of it was not confirmed.
    EXPECT_EQ(actions_.calls, std::vector<std::string>{"checkin 1001"});
    EXPECT_TRUE(dialog.ToOpen().empty());
}

}  // namespace
