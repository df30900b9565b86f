// CKeptCopiesDlg.h - the window "Kept on this computer": every copy that holds an edit the DMS has
// not received (CKeptCopies, the workspace as it was when the window opened), and the buttons that
// resolve the selected ones. Modal to the host's main window. An action runs with the window
// disabled, so that nothing else is started from it while the action's own dialogs run (the
// progress dialog, the DMS's import, the confirmation, alerts); it tells the user when it fails.
// An entry open in another running host offers only "Show in folder".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "VxDialog.h"
#include "documents/CKeptCopies.h"

// What the buttons do with one entry. True when the entry has gone from the list.
class IKeptCopyActions {
public:
    virtual ~IKeptCopyActions() = default;
    virtual bool CheckIn(const KeptCopy& entry) = 0;
    virtual bool SaveAsNew(const KeptCopy& entry) = 0;
    virtual bool Discard(const KeptCopy& entry) = 0;  // once the user has confirmed it
    virtual void ShowInFolder(const KeptCopy& entry) = 0;
};

class CKeptCopiesDlg : public CDialog {
public:
    CKeptCopiesDlg(CKeptCopies& copies, IKeptCopyActions& actions, HWND parent);

    INT_PTR DoModal() override;
    // Once the window has ended with "Open": the copies to open, in the order of the list.
    const std::vector<std::wstring>& ToOpen() const { return toOpen_; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;

private:
    // The list from the entries; the entries selected before stay selected (the first one when none is).
    void Fill();
    std::vector<std::wstring> Selected() const;
    void UpdateButtons();
    void Run(WORD button);

    CKeptCopies& copies_;
    IKeptCopyActions& actions_;
    std::wstring intro_;
    std::vector<std::wstring> rows_;  // the copy each row of the list shows, as it was filled
    std::vector<std::wstring> toOpen_;
    bool busy_ = false;
    bool closeWhenDone_ = false;  // Close (or the caption's close) asked for while an action ran
};

// The confirmation of a discard, naming the document; true when the user confirms it.
bool ConfirmDiscard(const std::wstring& name, HWND parent);
