// "Kept on this computer" and its confirmation as a keyboard and screen reader user meets them.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "DialogWalker.h"
#include "VxApp.h"
#include "VxHostedTest.h"
#include "WorkspaceRoot.h"
#include "dialogs/CKeptCopiesDlg.h"
#include "documents/TempWorkspace.h"
#include "resource.h"

namespace {

// The keys never reach an action: Enter and Escape are caught by the walker.
struct NoActions : IKeptCopyActions {
    bool CheckIn(const KeptCopy&) override { return false; }
    bool SaveAsNew(const KeptCopy&) override { return false; }
    bool Discard(const KeptCopy&) override { return false; }
    void ShowInFolder(const KeptCopy&) override {}
};

class KeptCopiesDlgTest : public VxHostedTest {
protected:
    void SetUp() override {
        VxHostedTest::SetUp();
        std::wstring folder = GetTempRootFolder() + L"\\VRL0", copy = folder + L"\\1001_1.pdf";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        ASSERT_TRUE(VxWriteFile(copy, "edited"));
        ASSERT_TRUE(VxWriteFile(folder + L"\\TSFile.dat", SerializeFileDataRecord({1001, 1, L"1001_1.pdf", L"DOCS", L"SRV1"})));
        MarkOwed(copy, L"Lease.pdf");
        copies_.Collect();
        ASSERT_EQ(copies_.Entries().size(), 1u);
    }

    VxWorkspaceRoot workspace_;
    CDocumentManager documents_;
    CKeptCopies copies_{documents_};
    NoActions actions_;
};

// Each opens where the user starts, Tab follows the order shown, a screen reader names every field
// after its label, a label's access key reaches its field, Enter is the default button and Escape
// Cancel.
TEST_F(KeptCopiesDlgTest, EveryDialogWorksFromTheKeyboardInTheOrderItShows) {
    {
        int accessKey = 0;
        VxDialogWalker window([&](HWND dialog) {
            MSG alt = {GetFocus(), WM_SYSCHAR, L'w', 0, 0, {0, 0}};
            IsDialogMessageW(dialog, &alt);
            accessKey = GetDlgCtrlID(GetFocus());
            VxPressKey(dialog, VK_ESCAPE);
        });
        CKeptCopiesDlg dialog(copies_, actions_, host().MainWindow());
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        ASSERT_TRUE(window.Done());
        EXPECT_EQ(window.Walk().stops,
                  (std::vector<VxDialogStop>{{IDC_KEPT_LIST, L"Kept copies:"}, {IDC_KEPT_REASON, L"Why it is kept:"},
                                             {IDC_KEPT_CHECKIN, L"Check in now"}, {IDC_KEPT_OPEN, L"Open"},
                                             {IDC_KEPT_SAVE_NEW, L"Save as new document"},
                                             {IDC_KEPT_SHOW, L"Show in folder"}, {IDC_KEPT_DISCARD, L"Discard"},
                                             {IDCANCEL, L"Close"}}));
        EXPECT_TRUE(window.Walk().cycled);
        EXPECT_EQ(std::make_pair(window.Walk().enter, window.Walk().escape), std::make_pair(IDC_KEPT_CHECKIN, IDCANCEL));
        EXPECT_EQ(accessKey, IDC_KEPT_REASON);
    }
    VxDialogWalker confirmation([](HWND d) { VxPressKey(d, VK_ESCAPE); });
    EXPECT_FALSE(ConfirmDiscard(L"Lease.pdf", host().MainWindow()));
    ASSERT_TRUE(confirmation.Done());
    EXPECT_EQ(confirmation.Walk().stops, (std::vector<VxDialogStop>{{IDOK, L"Discard"}, {IDCANCEL, L"Cancel"}}));
    EXPECT_EQ(std::make_pair(confirmation.Walk().enter, confirmation.Walk().escape), std::make_pair(IDOK, IDCANCEL));
}

}  // namespace
