#include "VxDialog.h"

#include "VxApp.h"
#include "VxGuard.h"

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() {
    if (m_hWnd) DestroyWindow(m_hWnd);
}

INT_PTR CDialog::DoModal() {
    ended_ = false;
    result_ = IDCANCEL;
    HWND owner = parent_ && IsWindow(parent_) ? parent_ : nullptr;
    m_hWnd = CreateDialogParamW(VxResourceHandle(), MAKEINTRESOURCEW(templateId_), owner, DialogProc,
                                reinterpret_cast<LPARAM>(this));
    if (!m_hWnd) return -1;
    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    if (!ended_ && visibleAtStart_) ShowWindow(m_hWnd, SW_SHOW);

    MSG message;
    while (!ended_) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            OnQuit(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0) break;
        if (PreTranslateMessage(&message)) continue;
        if (m_hWnd && IsDialogMessageW(m_hWnd, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    // The owner is enabled before the dialog goes, so that activation returns to it.
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    if (m_hWnd) {
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
    return result_;
}

void CDialog::EndDialog(INT_PTR result) {
    result_ = result;
    ended_ = true;
    if (m_hWnd) ShowWindow(m_hWnd, SW_HIDE);
    PostMessageW(nullptr, WM_NULL, 0, 0);  // wake the modal loop
}

HWND CDialog::GetDlgItem(int id) const { return m_hWnd ? ::GetDlgItem(m_hWnd, id) : nullptr; }

void CDialog::SetDlgItemText(int id, const std::wstring& text) const {
    if (m_hWnd) ::SetDlgItemTextW(m_hWnd, id, text.c_str());
}

std::wstring CDialog::GetDlgItemText(int id) const {
    HWND item = GetDlgItem(id);
    if (!item) return std::wstring();
    int length = GetWindowTextLengthW(item);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(item, &text[0], length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

void CDialog::CheckDlgButton(int id, bool checked) const {
    if (m_hWnd) ::CheckDlgButton(m_hWnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool CDialog::IsDlgButtonChecked(int id) const {
    return m_hWnd && ::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED;
}

void CDialog::EnableDlgItem(int id, bool enable) const {
    if (HWND item = GetDlgItem(id)) EnableWindow(item, enable ? TRUE : FALSE);
}

void CDialog::GotoDlgCtrl(int id) const {
    if (HWND item = GetDlgItem(id)) SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }
BOOL CDialog::PreTranslateMessage(MSG*) { return FALSE; }
void CDialog::OnQuit(int exitCode) { PostQuitMessage(exitCode); }  // leave the quit for the outer loop

bool CDialog::OnCommand(WORD id, WORD, HWND) {
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

INT_PTR CDialog::OnMessage(UINT, WPARAM, LPARAM, bool* handled) {
    *handled = false;
    return 0;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return VxBoundary(VX_SITE("VxDialog", "CDialog::DialogProc"), INT_PTR(FALSE), [&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
            dialog->m_hWnd = window;
            return dialog->OnInitDialog();
        }
        CDialog* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!dialog) return FALSE;
        if (message == WM_COMMAND)
            return dialog->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
        bool handled = false;
        INT_PTR result = dialog->OnMessage(message, wParam, lParam, &handled);
        if (!handled) return FALSE;
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    });
}
