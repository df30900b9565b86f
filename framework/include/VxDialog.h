// VxDialog.h - modal dialogs from .rc templates of the current resource module.
//
// DoModal creates the dialog modeless from its template and runs its own modal loop (the owner is
// disabled meanwhile), so that PreTranslateMessage sees every message before the dialog manager does.
// The dialog's state reaches its window procedure through the creation parameter (GWLP_USERDATA).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

class CDialog {
public:
    CDialog(UINT templateId, HWND parent);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // IDOK, IDCANCEL or the value given to EndDialog; -1 when the window could not be created.
    virtual INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    HWND GetSafeHwnd() const { return m_hWnd; }
    UINT TemplateId() const { return templateId_; }
    HWND Parent() const { return parent_; }

    // Control helpers (no-ops before the window exists).
    HWND GetDlgItem(int id) const;
    void SetDlgItemText(int id, const std::wstring& text) const;
    std::wstring GetDlgItemText(int id) const;
    void CheckDlgButton(int id, bool checked) const;
    bool IsDlgButtonChecked(int id) const;
    void EnableDlgItem(int id, bool enable) const;
    void GotoDlgCtrl(int id) const;

    // Puts the controls in the order in which the user meets them, top left to bottom right, as
    // their window (z-) order: Tab follows it, and a screen reader reads the dialog in it and names
    // a field after the static text right before it. The controls of `order` come first, in that
    // order, each with its label (the static text left of it on its row, else right above it; none
    // for buttons, which name themselves) just before it and, before both, a group box around it;
    // the controls left over follow as they were. Then the focus goes to `focus`, or (0, or when
    // that control is hidden or disabled) to the first control of `order` that Tab stops at. The
    // template's order is not touched. For OnInitDialog, which answers the result: FALSE once the
    // focus is set, TRUE when no control could take it.
    BOOL SetTabOrder(std::initializer_list<int> order, int focus = 0) const;

protected:
    // Overridables, as in the usual dialog framework.
    virtual BOOL OnInitDialog();                    // true: the dialog manager sets the focus
    virtual void OnOK();                            // EndDialog(IDOK)
    virtual void OnCancel();                        // EndDialog(IDCANCEL)
    virtual BOOL PreTranslateMessage(MSG* message); // true: the message is discarded
    // Command map: button clicks and other WM_COMMAND notifications. The default sends IDOK and
    // IDCANCEL to OnOK and OnCancel; return true when handled.
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    // Message map for everything else (WM_CLOSE, private messages): set *handled and return the result.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled);
    // WM_QUIT reached the modal loop (the session ends); the loop ends when this returns. The default
    // posts the quit again at once, for the outer loop. A dialog that must finish something first
    // does so here, and posts the quit again itself once it has ended.
    virtual void OnQuit(int exitCode);

    HWND m_hWnd = nullptr;
    // False: the dialog starts hidden and shows itself when it chooses.
    bool visibleAtStart_ = true;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    HWND parent_;
    bool ended_ = false;
    INT_PTR result_ = IDCANCEL;
};
