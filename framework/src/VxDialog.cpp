#include "VxDialog.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "VxApp.h"
#include "VxGuard.h"

namespace {

RECT ChildRect(HWND dialog, HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Encloses(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

bool HasClass(HWND window, const wchar_t* name) {
    wchar_t found[32] = L"";
    GetClassNameW(window, found, ARRAYSIZE(found));
    return _wcsicmp(found, name) == 0;
}

LONG Style(HWND window) { return GetWindowLongW(window, GWL_STYLE); }

bool IsStaticText(HWND window) {
    if (!HasClass(window, L"Static")) return false;
    LONG type = Style(window) & SS_TYPEMASK;
    return type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP;
}

bool IsGroupBox(HWND window) { return HasClass(window, L"Button") && (Style(window) & BS_TYPEMASK) == BS_GROUPBOX; }

// Push buttons, check boxes and radio buttons carry their own name.
bool NamesItself(HWND window) { return HasClass(window, L"Button") && !IsGroupBox(window); }

bool TakesFocus(HWND window, bool tabStop) {
    LONG style = window ? Style(window) : 0;
    return (style & WS_VISIBLE) && !(style & WS_DISABLED) && (!tabStop || (style & WS_TABSTOP));
}

// The static text that names `field`: the nearest one left of it on its row, else the control right
// above it when that is one. `free` says which controls may still be taken as a label.
template <typename Free>
HWND FindLabel(HWND dialog, const std::vector<HWND>& children, HWND field, Free free) {
    const RECT at = ChildRect(dialog, field);
    HWND left = nullptr, above = nullptr;
    LONG leftEdge = LONG_MIN, aboveEdge = LONG_MIN;
    bool aboveIsLabel = false;
    for (HWND child : children) {
        if (child == field || !(Style(child) & WS_VISIBLE)) continue;
        const RECT r = ChildRect(dialog, child);
        const LONG middle = (r.top + r.bottom) / 2;
        const bool label = IsStaticText(child) && free(child);
        if (label && middle >= at.top && middle < at.bottom && (r.left + r.right) / 2 < at.left && r.right > leftEdge) {
            left = child;
            leftEdge = r.right;
        }
        const bool overlaps = r.left < at.right && r.right > at.left;
        if (overlaps && middle < at.top && !Encloses(r, at) &&
            (r.bottom > aboveEdge || (r.bottom == aboveEdge && label))) {
            above = child;
            aboveEdge = r.bottom;
            aboveIsLabel = label;
        }
    }
    return left ? left : aboveIsLabel ? above : nullptr;
}

}  // namespace

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

BOOL CDialog::SetTabOrder(std::initializer_list<int> order, int focus) const {
    if (!m_hWnd) return TRUE;
    std::vector<HWND> children, named, placed;
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    for (int id : order)
        if (HWND item = GetDlgItem(id)) named.push_back(item);
    auto in = [](const std::vector<HWND>& list, HWND window) {
        return std::find(list.begin(), list.end(), window) != list.end();
    };
    auto free = [&](HWND window) { return !in(named, window) && !in(placed, window); };
    auto place = [&](HWND window) {
        if (window && !in(placed, window)) placed.push_back(window);
    };
    for (HWND item : named) {
        const RECT at = ChildRect(m_hWnd, item);
        for (HWND box : children)
            if (IsGroupBox(box) && free(box) && Encloses(ChildRect(m_hWnd, box), at)) place(box);
        if (!NamesItself(item)) place(FindLabel(m_hWnd, children, item, free));
        place(item);
    }
    for (HWND child : children) place(child);
    HWND after = HWND_TOP;
    for (HWND window : placed) {
        SetWindowPos(window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        after = window;
    }

    HWND start = focus ? GetDlgItem(focus) : nullptr;
    if (!TakesFocus(start, false)) {
        auto first = std::find_if(named.begin(), named.end(), [](HWND item) { return TakesFocus(item, true); });
        start = first == named.end() ? nullptr : *first;
    }
    if (!start) return TRUE;
    // As the dialog manager moves it: an edit field's text selected, the default button kept.
    SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(start), TRUE);
    return FALSE;
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
