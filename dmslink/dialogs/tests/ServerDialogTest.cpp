// The server configuration dialog driven as a user would: control texts set and buttons clicked
// from a timer inside the dialog's own modal loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "DialogWalker.h"
#include "VxHostedTest.h"
#include "VxPlugin.h"
#include "dialogs/CServerPropertiesDlg.h"
#include "resource.h"
#include "boundary/ExtTesseraHFT.h"
#include "boundary/Boundary.h"
#include "tessera/StandIn.h"

namespace {

const wchar_t kCaption[] = L"Tessera Server configuration";
const wchar_t kNoServer[] = L"Please specify a server.";
const wchar_t kNoUser[] = L"Please specify user name.";
const wchar_t kNoPassword[] = L"Please specify password.";
const wchar_t kLoginFailed[] = L"Unable to log in to the server. Please check the entered details.";

// Steps run one per tick against the dialog that this thread shows; a dialog still open when the
// steps are done is cancelled so that a failing test cannot hang.
class DialogScript {
public:
    using Step = std::function<void(HWND)>;
    explicit DialogScript(std::vector<Step> steps) : steps_(std::move(steps)) {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 30, Tick);
    }
    ~DialogScript() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    bool Finished() const { return next_ == steps_.size() && !cancelled_; }

private:
    static BOOL CALLBACK Find(HWND window, LPARAM found) {
        wchar_t title[64] = L"";
        GetWindowTextW(window, title, 64);
        if (IsWindowVisible(window) && std::wstring(title) == kCaption) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        DialogScript* self = current_;
        if (!self || self->busy_) return;
        HWND dialog = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), Find, reinterpret_cast<LPARAM>(&dialog));
        if (!dialog) return;
        self->busy_ = true;
        if (self->next_ < self->steps_.size()) {
            self->steps_[self->next_++](dialog);
        } else {
            ADD_FAILURE() << "the dialog is still open after the last step";
            self->cancelled_ = true;
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        self->busy_ = false;
    }

    static DialogScript* current_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    bool busy_ = false;
    bool cancelled_ = false;
    UINT_PTR timer_ = 0;
};
DialogScript* DialogScript::current_ = nullptr;

void SetText(HWND dialog, int id, const wchar_t* text) { SetDlgItemTextW(dialog, id, text); }
std::wstring Text(HWND dialog, int id) {
    wchar_t text[256] = L"";
    GetDlgItemTextW(dialog, id, text, 256);
    return text;
}
void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

std::wstring WindowsUserName() {
    wchar_t name[257];
    DWORD length = ARRAYSIZE(name);
    return GetUserNameW(name, &length) ? std::wstring(name) : std::wstring();
}

// Server "alpha" knows ann/pw1 and lets the Windows user in trusted; "beta" exists too.
class ServerDialogTest : public VxHostedTest {
protected:
    void SetUp() override {
        VxHostedTest::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(TesseraRegisterClassObjects(), S_OK);
        SetEnvironmentVariableW(L"TESSERA_STORE", store_.path().c_str());
        const std::wstring& s = store_.path();
        ASSERT_EQ(tessera::AddServer(s, L"alpha"), S_OK);
        ASSERT_EQ(tessera::AddUser(s, L"alpha", L"ann", L"pw1", L"Ann", false), S_OK);
        ASSERT_EQ(tessera::AddUser(s, L"alpha", WindowsUserName(), L"", L"Me", true), S_OK);
        ASSERT_EQ(tessera::AddServer(s, L"beta"), S_OK);
        AdoptModule(std::make_unique<CDmslinkModule>(host().MainWindow()));
        ASSERT_TRUE(Manager().IsDmsAvailable());
    }
    void TearDown() override {
        ReleaseModule().reset();
        TesseraRevokeClassObjects();
        SetEnvironmentVariableW(L"TESSERA_STORE", nullptr);
        CoUninitialize();
        VxHostedTest::TearDown();
    }

    TSManager& Manager() { return TheModule()->Manager(); }
    TSServerList& Servers() { return TheModule()->Servers(); }

    INT_PTR Run(TSServerEntry* entry, std::vector<DialogScript::Step> steps) {
        DialogScript script(std::move(steps));
        CServerPropertiesDlg dialog(Manager(), entry, host().MainWindow());
        INT_PTR result = dialog.DoModal();
        EXPECT_TRUE(script.Finished());
        return result;
    }
    TSServerEntry* Add(const wchar_t* server, const wchar_t* user, const wchar_t* password, bool autoConnect) {
        EXPECT_TRUE(Servers().AddServer(server, user, password, false, autoConnect, false, false));
        return Servers().FindServer(server);
    }

    VxTempFolder store_;
};

TEST_F(ServerDialogTest, ShowsTheEntryAndTrustedLoginDisablesTheCredentials) {
    TSServerEntry* alpha = Add(L"alpha", L"ann", L"pw1", false);
    alpha->trustedLogin = false;
    auto expectCredentials = [](HWND d, bool enabled) {
        for (int id : {IDC_USERNAME, IDC_USERNAME_LABEL, IDC_PASSWORD, IDC_PASSWORD_LABEL})
            EXPECT_EQ(Enabled(d, id), enabled) << id;
    };
    INT_PTR result = Run(alpha, {[&](HWND d) {
                             EXPECT_EQ(Text(d, IDC_SERVER), L"alpha");
                             EXPECT_EQ(Text(d, IDC_USERNAME), L"ann");
                             EXPECT_EQ(Text(d, IDC_PASSWORD), L"pw1");
                             EXPECT_FALSE(Checked(d, IDC_AUTO_LOGIN));
                             EXPECT_FALSE(Checked(d, IDC_TRUSTED_LOGIN));
                             expectCredentials(d, true);
                             Click(d, IDC_TRUSTED_LOGIN);
                             expectCredentials(d, false);
                             Click(d, IDC_TRUSTED_LOGIN);
                             expectCredentials(d, true);
                             SetText(d, IDC_USERNAME, L"changed");
                             Click(d, IDCANCEL);
                         }});
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(alpha->userName, L"ann");
    EXPECT_TRUE(host().Alerts().empty());
}

// With the keyboard: the focus starts in the first field to fill (the password when all are filled,
// the login kind for a trusted login), Tab goes from top left to bottom right, a screen reader names
// every field after its label, Enter is OK and Escape Cancel.
TEST_F(ServerDialogTest, KeysFollowTheLayoutAndEveryFieldHasItsLabel) {
    const std::vector<VxDialogStop> layout = {{IDC_SERVER, L"Server:"},     {IDC_AUTO_LOGIN, L"Auto login"},
                                              {IDC_TRUSTED_LOGIN, L"Use trusted login"},
                                              {IDC_USERNAME, L"Username:"}, {IDC_PASSWORD, L"Password:"},
                                              {IDOK, L"OK"},                {IDCANCEL, L"Cancel"}};
    const struct {
        const wchar_t* server;  // null: a new server
        const wchar_t* user;
        bool trusted;
        int first;
    } states[] = {{nullptr, nullptr, false, IDC_SERVER},
                  {L"alpha", L"ann", false, IDC_PASSWORD},
                  {L"beta", L"", false, IDC_USERNAME},
                  {L"gamma", L"", true, IDC_TRUSTED_LOGIN}};
    for (const auto& state : states) {
        SCOPED_TRACE(state.first);
        TSServerEntry* entry = state.server ? Add(state.server, state.user, L"pw", false) : nullptr;
        if (entry) entry->trustedLogin = state.trusted;
        VxDialogWalker walker([](HWND d) { VxPressKey(d, VK_ESCAPE); });
        CServerPropertiesDlg dialog(Manager(), entry, host().MainWindow());
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        ASSERT_TRUE(walker.Done());
        auto first =
            std::find_if(layout.begin(), layout.end(), [&](const VxDialogStop& s) { return s.id == state.first; });
        std::vector<VxDialogStop> cycle(first, layout.end());
        cycle.insert(cycle.end(), layout.begin(), first);
        EXPECT_EQ(walker.Walk().stops, cycle);
        EXPECT_TRUE(walker.Walk().cycled);
        EXPECT_EQ(walker.Walk().enter, IDOK);
        EXPECT_EQ(walker.Walk().escape, IDCANCEL);
    }
    EXPECT_TRUE(host().Alerts().empty());
}

TEST_F(ServerDialogTest, ANewTrustedServerNeedsNoCredentialsAndIsAddedConnected) {
    INT_PTR result = Run(nullptr, {[](HWND d) {
                             EXPECT_TRUE(Checked(d, IDC_AUTO_LOGIN));
                             EXPECT_EQ(Text(d, IDC_SERVER), L"");
                             EXPECT_FALSE(Checked(d, IDC_TRUSTED_LOGIN));
                             SetText(d, IDC_SERVER, L"alpha");
                             Click(d, IDC_TRUSTED_LOGIN);
                             Click(d, IDOK);
                         }});
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(host().Alerts().empty()) << host().DescribeAlerts();
    const TSServerEntry* alpha = Servers().FindServer(L"alpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_TRUE(alpha->connected);
    EXPECT_TRUE(alpha->trustedLogin);
    EXPECT_TRUE(alpha->autoConnect);
    EXPECT_FALSE(alpha->machineWide);
    EXPECT_EQ(alpha->userName, L"");
}

TEST_F(ServerDialogTest, OkChecksTheFieldsInOrderAndAddsNothingUntilTheLoginSucceeds) {
    INT_PTR result = Run(nullptr, {[](HWND d) { Click(d, IDOK); },
                                   [](HWND d) {
                                       SetText(d, IDC_SERVER, L"alpha");
                                       Click(d, IDOK);
                                   },
                                   [](HWND d) {
                                       SetText(d, IDC_USERNAME, L"ann");
                                       Click(d, IDOK);
                                   },
                                   [](HWND d) {
                                       SetText(d, IDC_PASSWORD, L"wrong");
                                       Click(d, IDOK);
                                   },
                                   [this](HWND d) {
                                       EXPECT_EQ(Servers().GetServerCount(), 0);
                                       EXPECT_EQ(Text(d, IDC_PASSWORD), L"wrong");
                                       SetText(d, IDC_PASSWORD, L"pw1");
                                       Click(d, IDOK);
                                   }});
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(host().Alerts(), (std::vector<std::wstring>{kNoServer, kNoUser, kNoPassword, kLoginFailed}));
    const TSServerEntry* alpha = Servers().FindServer(L"alpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_TRUE(alpha->connected);
    EXPECT_EQ(alpha->password, L"pw1");
}

TEST_F(ServerDialogTest, ANameThatAnotherEntryHasIsRefused) {
    Add(L"alpha", L"ann", L"pw1", true);
    TSServerEntry* beta = Add(L"beta", L"bob", L"pw2", true);
    INT_PTR result = Run(beta, {[](HWND d) {
                                    SetText(d, IDC_SERVER, L"alpha");
                                    Click(d, IDOK);
                                },
                                [](HWND d) { Click(d, IDCANCEL); }});
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(host().Alerts(), (std::vector<std::wstring>{L"Server 'alpha' already exist!"}));
    EXPECT_EQ(Servers().GetServerCount(), 2);
    EXPECT_EQ(Servers().FindServer(L"alpha")->userName, L"ann");
    EXPECT_FALSE(Servers().FindServer(L"alpha")->connected);
}

TEST_F(ServerDialogTest, EditingAConnectedEntryLogsOutThenInWithTheNewDetails) {
    TSServerEntry* alpha = Add(L"alpha", L"ann", L"pw1", true);
    ASSERT_TRUE(Manager().Login(L"alpha", false, L"ann", L"pw1"));
    alpha->connected = true;
    INT_PTR result = Run(alpha, {[&](HWND d) {
                                     SetText(d, IDC_PASSWORD, L"wrong");
                                     Click(d, IDOK);
                                 },
                                 [&](HWND d) {
                                     // The old session is gone and the failed login left it closed.
                                     EXPECT_FALSE(alpha->connected);
                                     EXPECT_EQ(alpha->password, L"pw1");
                                     SetText(d, IDC_PASSWORD, L"pw1");
                                     Click(d, IDC_AUTO_LOGIN);
                                     Click(d, IDOK);
                                 }});
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(host().Alerts(), (std::vector<std::wstring>{kLoginFailed}));
    EXPECT_TRUE(alpha->connected);
    EXPECT_FALSE(alpha->autoConnect);
    EXPECT_EQ(Servers().GetServerCount(), 1);
}

TEST_F(ServerDialogTest, TheEditEntryAnswersTrueOnlyForOk) {
    ASSERT_EQ(VxPublishHFT(), 1);
    auto edit = VxEntry<TesseraServerNameProc>(VxOwnTable(), kTesseraEditServer);
    Add(L"alpha", L"ann", L"pw1", true);
    ASText alpha = MakeText(L"alpha");
    {
        DialogScript script({[](HWND d) {
            EXPECT_EQ(Text(d, IDC_USERNAME), L"ann");
            Click(d, IDOK);
        }});
        EXPECT_EQ(edit(alpha), 1);
    }
    DestroyText(alpha);
    ASText unknown = MakeText(L"gamma");
    {
        DialogScript script({[](HWND d) {
            EXPECT_EQ(Text(d, IDC_SERVER), L"");
            Click(d, IDCANCEL);
        }});
        EXPECT_EQ(edit(unknown), 0);
    }
    DestroyText(unknown);
    EXPECT_TRUE(Servers().FindServer(L"alpha")->connected);
    EXPECT_EQ(Servers().GetServerCount(), 1);
}

// Deleting a connected server logs it out first; one whose logout the DMS refuses stays.
TEST_F(ServerDialogTest, TheDeleteEntryKeepsAServerThatCannotLogOut) {
    ASSERT_EQ(VxPublishHFT(), 1);
    auto remove = VxEntry<TesseraServerNameProc>(VxOwnTable(), kTesseraDeleteServer);
    TSServerEntry* alpha = Add(L"alpha", L"ann", L"pw1", true);
    alpha->connected = Manager().Login(L"alpha", false, L"ann", L"pw1");
    ASSERT_TRUE(alpha->connected);
    ASSERT_EQ(tessera::AddRefusal(store_.path(), L"Logout", 1), S_OK);
    ASText name = MakeText(L"alpha");
    EXPECT_EQ(remove(name), 0);
    EXPECT_EQ(Servers().FindServer(L"alpha"), alpha);
    EXPECT_TRUE(alpha->connected);
    EXPECT_EQ(remove(name), 1);
    EXPECT_EQ(Servers().GetServerCount(), 0);
    DestroyText(name);
}

}  // namespace
