// The host for a person: the main window with a menu of the host's commands, the ribbon's items and
// the open documents; alerts are message boxes and the file dialogs are the system's.
#include "vxhost/Scenario.h"

namespace vxhost {

namespace {

enum : UINT {
    kCmdOpen = 100, kCmdSave, kCmdSaveAs, kCmdClose, kCmdIdle, kCmdRestart, kCmdExit,
    kCmdRibbonFirst = 1000, kCmdDocumentFirst = 5000,
};

struct Session {
    Host* host;
    std::wstring plugins;
    std::vector<std::string> ribbonItems;  // menu position -> item name, rebuilt with the menu
};

void BuildMenu(Session& s) {
    HWND window = s.host->MainWindow();
    HMENU old = GetMenu(window);
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, kCmdOpen, L"&Open...");
    AppendMenuW(file, MF_STRING, kCmdSave, L"&Save");
    AppendMenuW(file, MF_STRING, kCmdSaveAs, L"Save &As...");
    AppendMenuW(file, MF_STRING, kCmdClose, L"&Close");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, kCmdIdle, L"Run &idle procedures");
    AppendMenuW(file, MF_STRING, kCmdRestart, L"&Restart plug-ins");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, kCmdExit, L"E&xit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");

    HMENU ribbon = CreatePopupMenu();
    s.ribbonItems.clear();
    for (auto& category : s.host->GetRibbon().Categories()) {
        HMENU sub = CreatePopupMenu();
        for (auto& panel : category->panels)
            for (RibbonItem* item : panel->items) {
                std::wstring label = item->title + L"\t" + FromUtf8(item->name);
                AppendMenuW(sub, MF_STRING, kCmdRibbonFirst + s.ribbonItems.size(), label.c_str());
                s.ribbonItems.push_back(item->name);
            }
        AppendMenuW(ribbon, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), FromUtf8(category->name).c_str());
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(ribbon), L"&Ribbon");

    HMENU docs = CreatePopupMenu();
    auto open = s.host->Documents();
    for (size_t i = 0; i < open.size(); i++)
        AppendMenuW(docs, MF_STRING | (open[i] == s.host->ActiveDocument() ? MF_CHECKED : 0), kCmdDocumentFirst + i,
                    open[i]->Path().c_str());
    if (open.empty()) AppendMenuW(docs, MF_STRING | MF_GRAYED, 0, L"(none open)");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(docs), L"&Documents");
    SetMenu(window, bar);
    if (old) DestroyMenu(old);
}

void Paint(Session& s, HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT rect;
    GetClientRect(window, &rect);
    FillRect(dc, &rect, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    std::wstring text = L"Open documents:\n";
    for (Document* doc : s.host->Documents())
        text += (doc == s.host->ActiveDocument() ? L"  * " : L"    ") + doc->Path() + L"\n";
    text += L"\nLast host events:\n";
    const auto& journal = s.host->Journal();
    for (size_t i = journal.size() > 20 ? journal.size() - 20 : 0; i < journal.size(); i++)
        text += L"    " + FromUtf8(journal[i]) + L"\n";
    InflateRect(&rect, -8, -8);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text.c_str(), -1, &rect, DT_LEFT | DT_TOP | DT_NOPREFIX);
    EndPaint(window, &ps);
}

bool Command(Session& s, UINT id) {
    Host& host = *s.host;
    host.SetModifiers((GetKeyState(VK_SHIFT) & 0x8000) ? 1u : 0u);
    Document* active = host.ActiveDocument();
    switch (id) {
        case kCmdOpen: host.RunOpenCommand(); break;
        case kCmdSave: if (active) host.SaveDocument(active); break;
        case kCmdSaveAs: SendMessageW(host.MainWindow(), WM_COMMAND, MAKEWPARAM(kVxCmdSaveAs, 0), 0); break;
        case kCmdClose: if (active) host.CloseDocument(active); break;
        case kCmdIdle: host.RunIdle(); break;
        case kCmdRestart: host.RestartPlugins(s.plugins); break;
        case kCmdExit: DestroyWindow(host.MainWindow()); return true;
        default:
            if (id >= kCmdDocumentFirst && id - kCmdDocumentFirst < host.Documents().size())
                host.SetActiveDocument(host.Documents()[id - kCmdDocumentFirst]);
            else if (id >= kCmdRibbonFirst && id - kCmdRibbonFirst < s.ribbonItems.size())
                host.ClickRibbonItem(s.ribbonItems[id - kCmdRibbonFirst]);
            else
                return false;
    }
    BuildMenu(s);
    InvalidateRect(host.MainWindow(), nullptr, TRUE);
    return true;
}

}  // namespace

int RunInteractive(Host& host, const std::wstring& plugins) {
    Session session{&host, plugins, {}};
    HWND window = host.MainWindow();
    if (!window) return 1;
    host.LoadPluginFolder(plugins);
    bool done = false;
    host.SetWindowHook([&](UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        switch (message) {
            case WM_COMMAND:
                if (LOWORD(wParam) == kVxCmdSaveAs) return false;  // the host's own Save As
                *result = 0;
                return Command(session, LOWORD(wParam));
            case WM_PAINT: Paint(session, window); *result = 0; return true;
            case WM_TIMER: host.RunIdle(); *result = 0; return true;
            case WM_CLOSE: DestroyWindow(window); *result = 0; return true;
            case WM_DESTROY: done = true; PostQuitMessage(0); *result = 0; return true;
        }
        return false;
    });
    BuildMenu(session);
    SetTimer(window, 1, 500, nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG message;
    while (!done && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    host.SetWindowHook(nullptr);
    return 0;
}

}  // namespace vxhost
