#include "dialogs/CServerPropertiesDlg.h"

#include "Utilities/CAPStringUtils.h"
#include "VxApp.h"
#include "VxHFT.h"
#include "dms/TSManager.h"
#include "resources/resource.h"

CServerPropertiesDlg::CServerPropertiesDlg(TSManager& manager, TSServerEntry* entry, HWND parent)
    : CDialog(IDD_SERVER_PROPERTIES, parent), manager_(manager), entry_(entry) {}

BOOL CServerPropertiesDlg::OnInitDialog() {
    if (entry_) {
        SetDlgItemText(IDC_SERVER, entry_->server);
        SetDlgItemText(IDC_USERNAME, entry_->userName);
        SetDlgItemText(IDC_PASSWORD, entry_->password);
        CheckDlgButton(IDC_AUTO_LOGIN, entry_->autoConnect);
        CheckDlgButton(IDC_TRUSTED_LOGIN, entry_->trustedLogin);
    } else {
        CheckDlgButton(IDC_AUTO_LOGIN, true);
    }
    return SetTabOrder({IDC_SERVER, IDC_AUTO_LOGIN, IDC_TRUSTED_LOGIN, IDC_USERNAME, IDC_PASSWORD, IDOK, IDCANCEL},
                       FirstField());
}

// The first field still to fill; when all are filled the password, which is what an edit mostly
// changes, and with a trusted login the choice of it, the credentials going unused.
int CServerPropertiesDlg::FirstField() const {
    if (GetDlgItemText(IDC_SERVER).empty()) return IDC_SERVER;
    if (IsDlgButtonChecked(IDC_TRUSTED_LOGIN)) return IDC_TRUSTED_LOGIN;
    return GetDlgItemText(IDC_USERNAME).empty() ? IDC_USERNAME : IDC_PASSWORD;
}

bool CServerPropertiesDlg::OnCommand(WORD id, WORD code, HWND control) {
    if (id == IDC_TRUSTED_LOGIN && code == BN_CLICKED) {
        OnTrustedLoginClicked();
        return true;
    }
    return CDialog::OnCommand(id, code, control);
}

void CServerPropertiesDlg::OnTrustedLoginClicked() {
    bool enable = !IsDlgButtonChecked(IDC_TRUSTED_LOGIN);
    for (int id : {IDC_USERNAME, IDC_USERNAME_LABEL, IDC_PASSWORD, IDC_PASSWORD_LABEL}) EnableDlgItem(id, enable);
}

void CServerPropertiesDlg::ShowMessage(const std::wstring& text) const {
    CCT2ASText message(text.c_str());
    if (message.Get()) VxAlert(message);
}

void CServerPropertiesDlg::OnOK() {
    std::wstring server = GetDlgItemText(IDC_SERVER);
    if (server.empty()) {
        ShowMessage(VxLoadString(IDS_SPECIFY_SERVER));
        GotoDlgCtrl(IDC_SERVER);
        return;
    }
    bool trusted = IsDlgButtonChecked(IDC_TRUSTED_LOGIN);
    bool autoLogin = IsDlgButtonChecked(IDC_AUTO_LOGIN);
    std::wstring userName = GetDlgItemText(IDC_USERNAME);
    std::wstring password = GetDlgItemText(IDC_PASSWORD);
    if (userName.empty() && !trusted) {
        ShowMessage(VxLoadString(IDS_SPECIFY_USERNAME));
        GotoDlgCtrl(IDC_USERNAME);
        return;
    }
    if (password.empty() && !trusted) {
        ShowMessage(VxLoadString(IDS_SPECIFY_PASSWORD));
        GotoDlgCtrl(IDC_PASSWORD);
        return;
    }

    TSServerEntry* found = manager_.Servers().FindServer(server);
    if (found && found != entry_) {
        ShowMessage(VxFormatString(IDS_SERVER_EXISTS, server.c_str()));
        return;
    }
    // A session stays logged in with the old details unless it is closed first.
    if (found && found->connected) manager_.Logout(server);
    bool loggedIn = manager_.Login(server, trusted, userName, password);  // also the entry's state
    if (!loggedIn) {
        ShowMessage(VxLoadString(IDS_LOGIN_FAILED));
        return;
    }
    if (found) {
        found->userName = userName;
        found->password = password;
        found->trustedLogin = trusted;
        found->autoConnect = autoLogin;
    } else {
        manager_.Servers().AddServer(server, userName, password, trusted, autoLogin, true, false);
    }
    EndDialog(IDOK);
}

bool EditServer(TSManager& manager, const std::wstring& server) {
    TSServerEntry* entry = server.empty() ? nullptr : manager.Servers().FindServer(server);
    CServerPropertiesDlg dialog(manager, entry, manager.GetParentWindow());
    return dialog.DoModal() == IDOK;
}
