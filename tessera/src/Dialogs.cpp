#include "Dialogs.h"

#include <windowsx.h>

#include "Handles.h"
#include "resource.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace tessera {
namespace {

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

HRESULT DialogResult(INT_PTR result) {
    if (result == -1 || result == 0) {
        DWORD error = GetLastError();
        return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    return result == IDOK ? S_OK : S_FALSE;
}

struct BrowseState {
    const std::vector<BrowseRow>* rows;
    bool multiSelect;
    std::vector<size_t> chosen;
};

// The template's list box allows many entries; a single-selection browse gets a list box without
// LBS_EXTENDEDSEL in the same place.
HWND MakeSingleSelectList(HWND dialog, HWND list) {
    RECT rect;
    GetWindowRect(list, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_STYLE)) & ~static_cast<DWORD>(LBS_EXTENDEDSEL);
    DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_EXSTYLE));
    HWND single = CreateWindowExW(exStyle, L"LISTBOX", L"", style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, dialog,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TESSERA_LIST)), ThisModule(),
                                  nullptr);
    if (!single) return list;
    SendMessageW(single, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    SetWindowPos(single, list, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    DestroyWindow(list);
    return single;
}

void FillBrowseList(HWND list, const std::vector<BrowseRow>& rows) {
    // Tab stops in dialog units, matching the column headers of the template.
    INT stops[] = {62, 100, 132, 250, 278};
    SendMessageW(list, LB_SETTABSTOPS, ARRAYSIZE(stops), reinterpret_cast<LPARAM>(stops));
    for (size_t i = 0; i < rows.size(); ++i) {
        const BrowseRow& row = rows[i];
        std::wstring line = row.database + L"\t" + std::to_wstring(row.number) + L"\t" +
                            std::to_wstring(row.version) + L"\t" + row.description + L"\t" + row.extension + L"\t" +
                            row.lockedBy;
        LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        if (at >= 0) SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(i));
    }
}

void ReadBrowseSelection(HWND list, BrowseState* state) {
    state->chosen.clear();
    std::vector<int> picked;
    if (state->multiSelect) {
        LRESULT count = SendMessageW(list, LB_GETSELCOUNT, 0, 0);
        if (count > 0) {
            picked.resize(static_cast<size_t>(count));
            LRESULT got = SendMessageW(list, LB_GETSELITEMS, static_cast<WPARAM>(count),
                                       reinterpret_cast<LPARAM>(picked.data()));
            picked.resize(got > 0 ? static_cast<size_t>(got) : 0);
        }
    } else {
        LRESULT at = SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (at != LB_ERR) picked.push_back(static_cast<int>(at));
    }
    for (int at : picked) {
        LRESULT row = SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(at), 0);
        if (row != LB_ERR) state->chosen.push_back(static_cast<size_t>(row));
    }
}

INT_PTR CALLBACK BrowseProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<BrowseState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
            state = reinterpret_cast<BrowseState*>(lParam);
            HWND list = GetDlgItem(dialog, IDC_TESSERA_LIST);
            if (!state->multiSelect) list = MakeSingleSelectList(dialog, list);
            FillBrowseList(list, *state->rows);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK ||
                (LOWORD(wParam) == IDC_TESSERA_LIST && HIWORD(wParam) == LBN_DBLCLK)) {
                ReadBrowseSelection(GetDlgItem(dialog, IDC_TESSERA_LIST), state);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

std::wstring WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

INT_PTR CALLBACK ImportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<ImportDialogState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
            state = reinterpret_cast<ImportDialogState*>(lParam);
            SetDlgItemTextW(dialog, IDC_TESSERA_DESCRIPTION, state->description.c_str());
            HWND types = GetDlgItem(dialog, IDC_TESSERA_DOCTYPE);
            ComboBox_AddString(types, L"");
            int selected = 0;
            for (const auto& type : KnownAppTypes()) {
                int at = ComboBox_AddString(types, type.c_str());
                if (_wcsicmp(type.c_str(), state->docType.c_str()) == 0) selected = at;
            }
            if (selected == 0 && !state->docType.empty()) selected = ComboBox_AddString(types, state->docType.c_str());
            ComboBox_SetCurSel(types, selected);
            HWND targets = GetDlgItem(dialog, IDC_TESSERA_DATABASE);
            for (const auto& target : state->targets) ComboBox_AddString(targets, target.c_str());
            ComboBox_SetCurSel(targets, static_cast<int>(state->target));
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                state->description = WindowText(GetDlgItem(dialog, IDC_TESSERA_DESCRIPTION));
                state->docType = WindowText(GetDlgItem(dialog, IDC_TESSERA_DOCTYPE));
                int target = ComboBox_GetCurSel(GetDlgItem(dialog, IDC_TESSERA_DATABASE));
                if (target < 0) return TRUE;
                state->target = static_cast<size_t>(target);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

const std::vector<std::wstring>& KnownAppTypes() {
    static const std::vector<std::wstring> types = {L"PDF",  L"WORD",  L"WORDX",  L"PPT",
                                                     L"PPTX", L"EXCEL", L"EXCELX", L"ANSI"};
    return types;
}

HRESULT RunBrowseDialog(HWND owner, const std::vector<BrowseRow>& rows, bool multiSelect,
                        std::vector<size_t>* chosen) {
    BrowseState state{&rows, multiSelect, {}};
    SetLastError(0);
    HRESULT hr = DialogResult(DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(IDD_TESSERA_BROWSE), owner, BrowseProc,
                                              reinterpret_cast<LPARAM>(&state)));
    if (hr != S_OK) return hr;
    *chosen = std::move(state.chosen);
    return chosen->empty() ? S_FALSE : S_OK;
}

HRESULT RunImportDialog(HWND owner, ImportDialogState* state) {
    ImportDialogState edited = *state;
    SetLastError(0);
    HRESULT hr = DialogResult(DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(IDD_TESSERA_IMPORT), owner, ImportProc,
                                              reinterpret_cast<LPARAM>(&edited)));
    if (hr == S_OK) *state = std::move(edited);
    return hr;
}

}  // namespace tessera
