// CServerPropertiesDlg.h - the modal dialog in which the user adds a DMS server or edits one. OK logs
// in with the entered details first and keeps them only when the login succeeds.
#pragma once

#include <windows.h>

#include <string>

#include "VxDialog.h"

class TSManager;
struct TSServerEntry;

class CServerPropertiesDlg : public CDialog {
public:
    // `entry` is the server being edited, or null to add one.
    CServerPropertiesDlg(TSManager& manager, TSServerEntry* entry, HWND parent);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    int FirstField() const;
    void OnTrustedLoginClicked();
    void ShowMessage(const std::wstring& text) const;

    TSManager& manager_;
    TSServerEntry* entry_;
};

// Opens the dialog for the server of that name (a new one when there is none or the name is empty);
// true when it was closed with OK.
bool EditServer(TSManager& manager, const std::wstring& server);
