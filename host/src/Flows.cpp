// The host's own Open, Save As, rename and restart, and the places where they hand over to a
// plug-in's "Tessera" table.
#include "Objects.h"

#include <commdlg.h>

namespace vxhost {

namespace {

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool SystemFileDialog(HWND owner, FileDialogKind kind, const std::wstring& current, std::wstring* chosen) {
    wchar_t buffer[MAX_PATH * 4] = {};
    if (kind == FileDialogKind::SaveAs) lstrcpynW(buffer, current.c_str(), ARRAYSIZE(buffer));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"PDF documents (*.pdf)\0*.pdf\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = ARRAYSIZE(buffer);
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR |
                (kind == FileDialogKind::Open ? OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST : OFN_OVERWRITEPROMPT);
    BOOL ok = kind == FileDialogKind::Open ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
    if (!ok) return false;
    *chosen = buffer;
    return true;
}

}  // namespace

HFT Host::TesseraTable() {
    HFTServer handle = FindServer("Tessera");
    if (!handle) return nullptr;
    HFT table = GetTable("Tessera");
    return table;
}

ASPathName Host::NewPathObject(const std::wstring& path) {
    return ledger_.Add(std::make_unique<PathObject>(path));
}

std::wstring Host::PathObjectText(ASPathName path) {
    auto* p = ledger_.UseAs<PathObject>(path, ObjectKind::Path, "host");
    return p ? p->path : std::wstring();
}

void Host::ReleasePathObject(ASPathName path) {
    if (path) ledger_.Release(path, ObjectKind::Path, "host");
}

bool Host::AskForFile(FileDialogKind kind, const std::wstring& current, std::wstring* chosen) {
    const std::string what = kind == FileDialogKind::Open ? "open" : "save-as";
    bool ok = false;
    if (fileDialog_) ok = fileDialog_(kind, current, chosen);
    else if (options_.interactive) ok = SystemFileDialog(mainWindow_, kind, current, chosen);
    Record("file-dialog:" + what + " " + (ok ? ToUtf8(*chosen) : std::string("cancelled")));
    return ok && !chosen->empty();
}

bool Host::RunWindowHook(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (!windowHook_) return false;
    // A copy: the hook may replace itself.
    WindowHook hook = windowHook_;
    return hook(message, wParam, lParam, result);
}

void Host::RunOpenCommand(bool keepCheckedOut) {
    CheckThread("RunOpenCommand");
    Record("command:Open");
    if (openHandler_) {
        openHandler_();
        return;
    }
    HFT tessera = TesseraTable();
    ASBool toDms = 0;
    if (tessera && tessera[kTesseraIsOpenEnabled]) Guarded("Tessera 1", [&] { toDms = VxEntry<TesseraBoolProc>(tessera, kTesseraIsOpenEnabled)(); });
    if (!toDms || !tessera[kTesseraOpenDialog]) {
        Record("open:dialog");
        std::wstring path;
        if (!AskForFile(FileDialogKind::Open, L"", &path)) {
            Record("open:cancelled");
            return;
        }
        if (!OpenDocument(path)) AddAlert(L"The document '" + FileNameOf(path) + L"' could not be opened.");
        return;
    }

    Record("open:tessera");
    ASPathName* items = nullptr;
    ASUns16 count = 0;
    ASBool chosen = 0;
    Guarded("Tessera 7",
            [&] { chosen = VxEntry<TesseraOpenDialogProc>(tessera, kTesseraOpenDialog)(mainWindow_, nullptr, &items, &count, keepCheckedOut ? 1 : 0); });
    if (!chosen) {
        Record("open:tessera-none");
        // Nothing was chosen, but an array handed back anyway is still ours to free.
        if (items) VxEntry<ASfreeProc>(HostTable("AS"), kASfree)(items);
        return;
    }
    Record("open:tessera-chose " + std::to_string(count));
    for (ASUns16 i = 0; items && i < count; i++) {
        ASPathName path = items[i];
        if (!path) continue;
        std::wstring text = PathObjectText(path);
        if (!OpenDocument(text)) {
            AddAlert(L"The document '" + FileNameOf(text) + L"' could not be opened.");
            if (tessera[kTesseraRemoveDocument]) Guarded("Tessera 6", [&] { VxEntry<TesseraPathProc>(tessera, kTesseraRemoveDocument)(path); });
        }
        VxEntry<ASFileSysReleasePathProc>(HostTable("AS"), kASFileSysReleasePath)(nullptr, path);
    }
    if (items) VxEntry<ASfreeProc>(HostTable("AS"), kASfree)(items);
}

void Host::RunSaveAsCommand() {
    CheckThread("RunSaveAsCommand");
    Record("command:SaveAs");
    if (saveAsHandler_) {
        saveAsHandler_();
        return;
    }
    Document* doc = ActiveDocument();
    if (!doc) {
        Record("save-as:no-document");
        return;
    }
    HFT tessera = TesseraTable();
    ASBool toDms = 0;
    if (tessera && tessera[kTesseraIsSaveEnabled]) Guarded("Tessera 2", [&] { toDms = VxEntry<TesseraBoolProc>(tessera, kTesseraIsSaveEnabled)(); });
    if (!toDms || !tessera[kTesseraSaveAsDialog]) {
        Record("save-as:dialog");
        std::wstring target;
        if (!AskForFile(FileDialogKind::SaveAs, doc->Path(), &target)) {
            Record("save-as:cancelled");
            return;
        }
        SaveDocumentAs(doc, target);
        return;
    }

    Record("save-as:tessera");
    ASPathName source = NewPathObject(doc->Path());
    ASPathName target = nullptr;
    Guarded("Tessera 12", [&] { target = VxEntry<TesseraPathToPathProc>(tessera, kTesseraSaveAsDialog)(source); });
    ReleasePathObject(source);
    if (!target) {
        Record("save-as:cancelled");
        return;
    }
    std::wstring targetText = PathObjectText(target);
    // The DMS dialog ran a modal loop: the document may have gone meanwhile.
    if (FindDocument(doc) && !targetText.empty()) SaveDocumentAs(doc, targetText);
    VxEntry<ASFileSysReleasePathProc>(HostTable("AS"), kASFileSysReleasePath)(nullptr, target);
}

bool Host::RenameDocumentFile(Document* doc, const std::wstring& newPath) {
    CheckThread("RenameDocumentFile");
    if (!FindDocument(doc) || newPath.empty()) return false;
    DWORD needed = GetFullPathNameW(newPath.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed ? needed : 1, L'\0');
    full.resize(GetFullPathNameW(newPath.c_str(), needed, &full[0], nullptr));
    std::wstring old = doc->path_;
    Record("doc-rename:" + ToUtf8(old) + " -> " + ToUtf8(full));
    ReleaseFile(doc);
    if (HFT tessera = TesseraTable(); tessera && tessera[kTesseraFileRenamed]) {
        ASPathName oldPath = NewPathObject(old);
        ASText text = ledger_.Add(std::make_unique<TextObject>(L""));
        VxEntry<ASFileSysDisplayTextProc>(HostTable("AS"), kASFileSysDisplayText)(nullptr, oldPath, text);
        Guarded("Tessera 25", [&] { VxEntry<TesseraRenamedProc>(tessera, kTesseraFileRenamed)(text); });
        ledger_.Release(text, ObjectKind::Text, "host");
        ReleasePathObject(oldPath);
    }
    if (!MoveFileExW(old.c_str(), full.c_str(), MOVEFILE_COPY_ALLOWED)) {
        Record("doc-rename-failed:" + std::to_string(GetLastError()));
        BindFile(doc, old);
        return false;
    }
    return BindFile(doc, full);
}

std::vector<LoadResult> Host::RestartPlugins(const std::wstring& folder) {
    CloseAllDocuments();
    UnloadPlugins();
    ribbon_.Reset();
    InstallBuiltinCommands();
    Record("restart");
    return LoadPluginFolder(folder);
}

}  // namespace vxhost
