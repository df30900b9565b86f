#include "dialogs/CKeptCopiesDlg.h"

#include <commctrl.h>

#include <algorithm>

#include "Files/CAPPathText.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "resources/resource.h"

namespace {

// The list's columns: their titles and widths in dialog units.
const struct {
    UINT title;
    int width;
} kColumns[] = {
    {IDS_KEPT_COLUMN_NAME, 86},     {IDS_KEPT_COLUMN_NUMBER, 40}, {IDS_KEPT_COLUMN_VERSION, 36},
    {IDS_KEPT_COLUMN_DATABASE, 48}, {IDS_KEPT_COLUMN_SERVER, 36}, {IDS_KEPT_COLUMN_SAVED, 80},
    {IDS_KEPT_COLUMN_REASON, 300},
};

const int kActions[] = {IDC_KEPT_CHECKIN, IDC_KEPT_OPEN, IDC_KEPT_SAVE_NEW, IDC_KEPT_DISCARD};

// The copy's last save in the user's own date and time formats; empty when unknown.
std::wstring SavedText(const FILETIME& saved) {
    FILETIME local;
    SYSTEMTIME time;
    if ((!saved.dwLowDateTime && !saved.dwHighDateTime) || !FileTimeToLocalFileTime(&saved, &local) ||
        !FileTimeToSystemTime(&local, &time))
        return std::wstring();
    wchar_t date[64] = L"", clock[64] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, clock, 64);
    return std::wstring(date) + L" " + clock;
}

std::wstring ReasonText(const KeptCopy& entry) {
    std::wstring reason = entry.reason.empty() ? VxLoadString(IDS_KEPT_NO_REASON) : entry.reason;
    return entry.openElsewhere ? VxLoadString(IDS_KEPT_OPEN_ELSEWHERE) + L" " + reason : reason;
}

void SetCell(HWND list, int row, int column, const std::wstring& text) {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// Disables the window while an action runs, and gives it the keyboard again afterwards.
class BusyWindow {
public:
    BusyWindow(HWND window, bool* busy) : window_(window), busy_(busy) {
        *busy_ = true;
        EnableWindow(window_, FALSE);
    }
    ~BusyWindow() {
        *busy_ = false;
        EnableWindow(window_, TRUE);
        SetActiveWindow(window_);
        SetFocus(GetDlgItem(window_, IDC_KEPT_LIST));
    }
    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

private:
    HWND window_;
    bool* busy_;
};

}  // namespace

CKeptCopiesDlg::CKeptCopiesDlg(CKeptCopies& copies, IKeptCopyActions& actions, HWND parent)
    : CDialog(IDD_KEPT_COPIES, parent), copies_(copies), actions_(actions) {}

INT_PTR CKeptCopiesDlg::DoModal() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    return CDialog::DoModal();
}

BOOL CKeptCopiesDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    intro_ = GetDlgItemText(IDC_KEPT_INTRO);
    HWND list = GetDlgItem(IDC_KEPT_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const auto& column : kColumns) {
        RECT width = {0, 0, column.width, 0};
        MapDialogRect(m_hWnd, &width);
        std::wstring title = VxLoadString(column.title);
        LVCOLUMNW header = {};
        header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        header.cx = width.right;
        header.pszText = &title[0];
        header.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&header));
    }
    Fill();
    // The list is where the user starts: with the first entry selected, the keyboard acts on it.
    return SetTabOrder({IDC_KEPT_LIST, IDC_KEPT_REASON, IDC_KEPT_CHECKIN, IDC_KEPT_OPEN, IDC_KEPT_SAVE_NEW,
                        IDC_KEPT_SHOW, IDC_KEPT_DISCARD, IDCANCEL},
                       IDC_KEPT_LIST);
}

void CKeptCopiesDlg::Fill() {
    HWND list = GetDlgItem(IDC_KEPT_LIST);
    std::vector<std::wstring> selected = Selected();
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    rows_.clear();
    const std::vector<KeptCopy>& entries = copies_.Entries();
    bool any = false;
    for (size_t row = 0; row < entries.size(); ++row) {
        const KeptCopy& entry = entries[row];
        rows_.push_back(entry.copy);
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(row);
        item.pszText = const_cast<wchar_t*>(entry.name.c_str());
        int at = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        SetCell(list, at, 1, std::to_wstring(entry.record.number));
        SetCell(list, at, 2, std::to_wstring(entry.record.version));
        SetCell(list, at, 3, entry.record.database);
        SetCell(list, at, 4, entry.record.server);
        SetCell(list, at, 5, SavedText(entry.saved));
        SetCell(list, at, 6, ReasonText(entry));
        const bool select = std::any_of(selected.begin(), selected.end(),
                                        [&](const std::wstring& path) { return CAPSamePath(path, entry.copy); });
        if (select) {
            LVITEMW state = {};
            state.stateMask = state.state = LVIS_SELECTED;
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&state));
            any = true;
        }
    }
    if (!entries.empty()) {
        LVITEMW state = {};
        state.stateMask = LVIS_FOCUSED | (any ? 0 : LVIS_SELECTED);
        state.state = state.stateMask;
        SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    }
    SetDlgItemText(IDC_KEPT_INTRO, entries.empty() ? VxLoadString(IDS_KEPT_NONE) : intro_);
    UpdateButtons();
}

std::vector<std::wstring> CKeptCopiesDlg::Selected() const {
    std::vector<std::wstring> paths;
    HWND list = GetDlgItem(IDC_KEPT_LIST);
    for (size_t row = 0; row < rows_.size(); ++row)
        if (SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) paths.push_back(rows_[row]);
    return paths;
}

void CKeptCopiesDlg::UpdateButtons() {
    std::vector<std::wstring> selected = Selected();
    bool elsewhere = false;
    std::wstring reason;
    for (const std::wstring& path : selected) {
        const KeptCopy* entry = copies_.Find(path);
        if (!entry) continue;
        elsewhere = elsewhere || entry->openElsewhere;
        if (reason.empty()) reason = ReasonText(*entry);
    }
    HWND focus = GetFocus();
    for (int id : kActions) EnableDlgItem(id, !selected.empty() && !elsewhere);
    EnableDlgItem(IDC_KEPT_SHOW, !selected.empty());
    // A button that has just gone grey would leave the keyboard nowhere.
    if (focus && !IsWindowEnabled(focus)) SetFocus(GetDlgItem(IDC_KEPT_LIST));
    SetDlgItemText(IDC_KEPT_REASON, reason);
}

bool CKeptCopiesDlg::OnCommand(WORD id, WORD code, HWND control) {
    switch (id) {
    case IDC_KEPT_CHECKIN:
    case IDC_KEPT_SAVE_NEW:
    case IDC_KEPT_SHOW:
    case IDC_KEPT_DISCARD:
    case IDC_KEPT_OPEN:
        // Enter reaches the default button's command whether or not it can be pressed.
        if (code == BN_CLICKED && IsWindowEnabled(GetDlgItem(id)) && IsWindowEnabled(m_hWnd)) Run(id);
        return true;
    case IDOK:
        return true;
    case IDCANCEL:
        // Asked for during an action (its dialogs pass messages on to the window): honoured after it.
        if (busy_) {
            closeWhenDone_ = true;
            return true;
        }
        return CDialog::OnCommand(id, code, control);
    default:
        return CDialog::OnCommand(id, code, control);
    }
}

void CKeptCopiesDlg::Run(WORD button) {
    std::vector<std::wstring> selected = Selected();
    if (button == IDC_KEPT_OPEN) {
        for (const std::wstring& path : selected)
            if (const KeptCopy* entry = copies_.Find(path); entry && !entry->openElsewhere) toOpen_.push_back(path);
        EndDialog(IDC_KEPT_OPEN);
        return;
    }
    // A close asked for meanwhile is honoured however the actions end.
    struct CloseWhenDone {
        CKeptCopiesDlg& dialog;
        ~CloseWhenDone() {
            if (dialog.closeWhenDone_) dialog.EndDialog(IDCANCEL);
        }
    } close{*this};
    {
        BusyWindow busy(m_hWnd, &busy_);
        for (const std::wstring& path : selected) {
            const KeptCopy* found = copies_.Find(path);
            if (!found || (found->openElsewhere && button != IDC_KEPT_SHOW)) continue;
            // The entry may leave the list during the action; one that fails leaves the others to go on.
            const KeptCopy entry = *found;
            VX_TRY {
                if (button == IDC_KEPT_CHECKIN) {
                    actions_.CheckIn(entry);
                } else if (button == IDC_KEPT_SAVE_NEW) {
                    actions_.SaveAsNew(entry);
                } else if (button == IDC_KEPT_SHOW) {
                    actions_.ShowInFolder(entry);
                } else if (ConfirmDiscard(entry.name, m_hWnd)) {
                    actions_.Discard(entry);
                }
            }
            VX_CATCH("CKeptCopiesDlg", "CKeptCopiesDlg::OnCommand")
        }
    }
    Fill();
}

INT_PTR CKeptCopiesDlg::OnMessage(UINT message, WPARAM, LPARAM lParam, bool* handled) {
    *handled = false;
    if (message != WM_NOTIFY) return 0;
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header && header->idFrom == IDC_KEPT_LIST && header->code == LVN_ITEMCHANGED) {
        const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        if ((change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_SELECTED))
            UpdateButtons();
        *handled = true;
    }
    return 0;
}

// ---- the confirmation of a discard

namespace {

class CConfirmDiscardDlg : public CDialog {
public:
    CConfirmDiscardDlg(const std::wstring& name, HWND parent) : CDialog(IDD_CONFIRM_DISCARD, parent), name_(name) {}

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SetDlgItemText(IDC_DISCARD_TEXT, VxFormatString(IDS_DISCARD_QUESTION, name_.c_str()));
        // Nothing to fill in: the keyboard starts on the answer, Enter discards, Escape keeps.
        return SetTabOrder({IDC_DISCARD_TEXT, IDOK, IDCANCEL}, IDOK);
    }

private:
    std::wstring name_;
};

}  // namespace

bool ConfirmDiscard(const std::wstring& name, HWND parent) {
    CConfirmDiscardDlg dialog(name, parent);
    return dialog.DoModal() == IDOK;
}
