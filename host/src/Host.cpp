#include "vxhost/Host.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include <shlwapi.h>

#include "Objects.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace vxhost {

namespace {

std::atomic<Host*> gHost{nullptr};
thread_local ASInt32 tLastError = 0;
const wchar_t kMainWindowClass[] = L"VxHostMainWindow";

std::string Hex(uintptr_t value) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
    return buffer;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = reinterpret_cast<Host*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (host && host->RunWindowHook(message, wParam, lParam, &result)) return result;
    if (message == WM_COMMAND && LOWORD(wParam) == kVxCmdSaveAs) {
        if (host) host->RunSaveAsCommand();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

std::wstring FullPath(const std::wstring& path) {
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    DWORD written = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    full.resize(written);
    return full;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string Extension::DisplayName() const { return name.empty() ? ToUtf8(fileName) : name; }

// ---------------------------------------------------------------------------------------------

Host::Host(HostOptions options) : options_(std::move(options)), mainThread_(GetCurrentThreadId()) {
    Host* expected = nullptr;
    if (!gHost.compare_exchange_strong(expected, this)) throw std::logic_error("a vxhost::Host already exists");
    logPath_ = options_.logPath;
    if (logPath_.empty()) {
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        logPath_ = std::wstring(temp, n > MAX_PATH ? 0 : n) + L"vphost.log";
    }
    atomNames_.push_back("");  // atom 0 is no name
    BuildTables();
    ribbon_.BuildDefault();
    InstallBuiltinCommands();
    if (options_.createMainWindow) CreateMainWindow();
}

void Host::InstallBuiltinCommands() {
    if (RibbonItem* open = ribbon_.FindItem("AVRibbon:Main:Open:Btn")) open->builtin = [this] { RunOpenCommand(); };
    if (RibbonItem* save = ribbon_.FindItem("AVRibbon:Main:Save:Btn"))
        save->builtin = [this] {
            if (Document* doc = ActiveDocument()) SaveDocument(doc);
        };
    if (RibbonItem* saveAs = ribbon_.FindItem("AVRibbon:Main:SaveAs:Btn"))
        saveAs->builtin = [this] { SendMessageW(mainWindow_, WM_COMMAND, MAKEWPARAM(kVxCmdSaveAs, 0), 0); };
}

Host::~Host() {
    Shutdown();
    DestroyMainWindow();
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        for (CVxException* e : raised_) delete e;
        raised_.clear();
    }
    gHost.store(nullptr);
}

Host* Host::Current() { return gHost.load(); }

void Host::CreateMainWindow() {
    auto instance = reinterpret_cast<HINSTANCE>(&__ImageBase);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kMainWindowClass;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    RegisterClassExW(&wc);  // fails harmlessly when a previous host registered it
    std::wstring title = FromUtf8(options_.appName);
    mainWindow_ = CreateWindowExW(0, kMainWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  640, 480, nullptr, nullptr, instance, nullptr);
    if (mainWindow_)
        SetWindowLongPtrW(mainWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    else
        Record("main-window-failed:" + std::to_string(GetLastError()));
}

void Host::DestroyMainWindow() {
    if (!mainWindow_) return;
    SetWindowLongPtrW(mainWindow_, GWLP_USERDATA, 0);
    DestroyWindow(mainWindow_);
    mainWindow_ = nullptr;
}

void Host::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    CloseAllDocuments();
    UnloadPlugins();
}

// ---- atoms ------------------------------------------------------------------------------------

ASAtom Host::Atom(const std::string& name) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    auto it = atoms_.find(name);
    if (it != atoms_.end()) return it->second;
    ASAtom atom = atomNames_.size();
    atomNames_.push_back(name);
    atoms_[name] = atom;
    return atom;
}

std::string Host::AtomName(ASAtom atom) const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return atom < atomNames_.size() ? atomNames_[atom] : std::string();
}

// ---- journal and log ----------------------------------------------------------------------------

void Host::Record(const std::string& entry) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    journal_.push_back(entry);
}

std::vector<std::string> Host::JournalMatching(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    std::vector<std::string> out;
    for (auto& e : journal_)
        if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
    return out;
}

size_t Host::JournalCount(const std::string& entry) const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return std::count(journal_.begin(), journal_.end(), entry);
}

void Host::ClearJournal() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    journal_.clear();
}

std::string Host::LogText() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return log_;
}

void Host::AppendLog(const char* text) {
    if (!text) return;
    std::lock_guard<std::mutex> lock(stateMutex_);
    log_ += text;
    HANDLE file = CreateFileW(logPath_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(file);
}

// ---- threads and errors ---------------------------------------------------------------------------

bool Host::OnMainThread() const { return GetCurrentThreadId() == mainThread_; }

void Host::CheckThread(const char* entry) {
    if (OnMainThread()) return;
    std::lock_guard<std::mutex> lock(stateMutex_);
    violations_.push_back(std::string(entry) + " called on thread " + std::to_string(GetCurrentThreadId()));
}

std::vector<std::string> Host::ThreadViolations() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return violations_;
}

void Host::ClearThreadViolations() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    violations_.clear();
}

void Host::SetLastError(ASInt32 code) { tLastError = code; }
ASInt32 Host::LastError() const { return tLastError; }

void Host::Raise(ASInt32 code, const char* what) {
    auto* error = new CVxException{code};
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        raised_.push_back(error);
        journal_.push_back("raise:" + Hex(static_cast<ASUns32>(code)) + " " + what);
    }
    tLastError = code;
    throw error;
}

void Host::FailMakingCall(long n) {
    if (n <= 0) {
        counting_.store(false);
        return;
    }
    makingCalls_.store(0);
    faultFired_.store(false);
    faultAt_.store(n);
    counting_.store(true);
}

void Host::CountMakingCall(const char* entry) {
    if (!counting_.load()) return;
    // Only the call that brings the count to n sees it equal, whichever thread makes it.
    if (++makingCalls_ != faultAt_.load()) return;
    faultFired_.store(true);
    Raise(kErrGeneral, (std::string("injected ") + entry).c_str());
}

// ---- application view ----------------------------------------------------------------------------

void Host::AddAlert(const std::wstring& text) {
    alerts_.push_back(text);
    Record("alert:" + ToUtf8(text));
    if (alertHandler_) alertHandler_(text);
    else if (options_.interactive) ShowAlertBox(text);
}

void Host::ShowAlertBox(const std::wstring& text) {
    std::wstring caption = FromUtf8(options_.appName);
    MessageBoxW(mainWindow_, text.c_str(), caption.c_str(), MB_OK);
}

std::string Host::DescribeAlerts() const {
    std::string text;
    for (auto& alert : alerts_) text += "  \"" + ToUtf8(alert) + "\"\n";
    return text.empty() ? "  (none)\n" : text;
}

// ---- idle procedures --------------------------------------------------------------------------------

void Host::RegisterIdle(AVIdleProc proc, void* clientData, ASUns32 period) {
    Extension* owner = ExtensionOfAddress(reinterpret_cast<const void*>(proc));
    idle_.push_back({proc, clientData, period, owner, true});
    Record("idle-register:" + (owner ? owner->DisplayName() : std::string("host")) + " " +
           Hex(reinterpret_cast<uintptr_t>(clientData)) + " " + std::to_string(period));
}

void Host::UnregisterIdle(AVIdleProc proc, void* clientData) {
    for (auto& entry : idle_) {
        if (entry.active && entry.proc == proc && entry.clientData == clientData) {
            // Marked only: RunIdle may be iterating, and erases the entry when it is done.
            entry.active = false;
            Record("idle-unregister:" + (entry.owner ? entry.owner->DisplayName() : std::string("host")) + " " +
                   Hex(reinterpret_cast<uintptr_t>(clientData)));
            if (idleDepth_ == 0)
                idle_.erase(std::remove_if(idle_.begin(), idle_.end(), [](auto& e) { return !e.active; }), idle_.end());
            return;
        }
    }
    Record("idle-unregister-unknown:" + Hex(reinterpret_cast<uintptr_t>(clientData)));
}

size_t Host::RunIdle() {
    CheckThread("RunIdle");
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    size_t ran = 0;
    idleDepth_++;
    const size_t count = idle_.size();  // procedures registered while running wait for the next call
    for (size_t i = 0; i < count; i++) {
        if (!idle_[i].active) continue;
        AVIdleProc proc = idle_[i].proc;
        void* clientData = idle_[i].clientData;
        ran++;
        Guarded("idle", [&] { proc(clientData); });
    }
    if (--idleDepth_ == 0)
        idle_.erase(std::remove_if(idle_.begin(), idle_.end(), [](auto& e) { return !e.active; }), idle_.end());
    return ran;
}

std::vector<IdleRegistration> Host::IdleProcs() const {
    std::vector<IdleRegistration> out;
    for (auto& entry : idle_)
        if (entry.active) out.push_back(entry);
    return out;
}

std::string Host::DescribeIdleProcs() const {
    std::string text;
    for (auto& entry : IdleProcs())
        text += "  " + (entry.owner ? entry.owner->DisplayName() : std::string("host")) + " client data " +
                Hex(reinterpret_cast<uintptr_t>(entry.clientData)) + " period " + std::to_string(entry.period) + "\n";
    return text.empty() ? "  (none)\n" : text;
}

// ---- notifications ---------------------------------------------------------------------------------

void Host::RegisterNotification(ASInt32 number, ExtensionID owner, void* proc, void* clientData) {
    Extension* ext = FindExtension(owner);
    if (!ext) ledger_.RecordError("notification " + std::to_string(number) + " registered with unknown extension " +
                                  Hex(reinterpret_cast<uintptr_t>(owner)));
    notifications_.push_back({number, owner, proc, clientData});
    Record("notify-register:" + std::to_string(number) + " " + (ext ? ext->DisplayName() : std::string("?")));
}

std::string Host::DescribeNotifications() const {
    std::string text;
    for (auto& n : notifications_) {
        Extension* ext = FindExtension(n.owner);
        text += "  " + std::to_string(n.number) + " " + (ext ? ext->DisplayName() : std::string("?")) + "\n";
    }
    return text.empty() ? "  (none)\n" : text;
}

void Host::SendDocNotification(ASInt32 number, PDDoc doc) {
    Record("notify:" + std::to_string(number));
    const size_t count = notifications_.size();
    for (size_t i = 0; i < count; i++) {
        if (notifications_[i].number != number) continue;
        auto proc = reinterpret_cast<NotifyPDDocProc>(notifications_[i].proc);
        void* clientData = notifications_[i].clientData;
        Guarded("notification", [&] { proc(doc, clientData); });
    }
}

void Host::SendViewNotification(ASInt32 number, AVDoc view) {
    Record("notify:" + std::to_string(number));
    const size_t count = notifications_.size();
    for (size_t i = 0; i < count; i++) {
        if (notifications_[i].number != number) continue;
        auto proc = reinterpret_cast<NotifyAVDocProc>(notifications_[i].proc);
        void* clientData = notifications_[i].clientData;
        Guarded("notification", [&] { proc(view, clientData); });
    }
}

void Host::SendWillSave(PDDoc doc, ASUns32 flags) {
    Record("notify:38 flags " + std::to_string(flags));
    const ASUns32 params[2] = {sizeof params, flags};
    const size_t count = notifications_.size();
    for (size_t i = 0; i < count; i++) {
        if (notifications_[i].number != kNotifyPDDocWillSave) continue;
        auto proc = reinterpret_cast<NotifyWillSaveProc>(notifications_[i].proc);
        void* clientData = notifications_[i].clientData;
        Guarded("notification", [&] { proc(doc, params, clientData); });
    }
}

void Host::SendClearTempFiles() {
    Record("notify:1002");
    const size_t count = notifications_.size();
    for (size_t i = 0; i < count; i++) {
        if (notifications_[i].number != kNotifyClearTempFiles) continue;
        auto proc = reinterpret_cast<NotifyClientOnlyProc>(notifications_[i].proc);
        void* clientData = notifications_[i].clientData;
        Guarded("notification", [&] { proc(clientData); });
    }
}

// ---- documents ---------------------------------------------------------------------------------------

bool Host::BindFile(Document* doc, const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    doc->file_.handle = file;
    doc->path_ = path;
    return true;
}

void Host::ReleaseFile(Document* doc) {
    if (doc->file_.handle != INVALID_HANDLE_VALUE) CloseHandle(doc->file_.handle);
    doc->file_.handle = INVALID_HANDLE_VALUE;
}

bool Host::WriteFile(const std::wstring& path, const std::string& bytes, std::string* error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot create (" + std::to_string(GetLastError()) + ")";
        return false;
    }
    DWORD written = 0;
    BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size()) {
        *error = "cannot write";
        return false;
    }
    return true;
}

Document* Host::OpenDocument(const std::wstring& path) {
    CheckThread("OpenDocument");
    if (path.empty()) return nullptr;
    std::wstring full = FullPath(path);
    for (auto& doc : documents_) {
        if (SamePath(doc->path_, full)) {
            Record("doc-open-again:" + ToUtf8(full));
            return doc.get();
        }
    }
    std::unique_ptr<Document> doc(new Document());
    if (!BindFile(doc.get(), full)) {
        Record("doc-open-failed:" + ToUtf8(full));
        return nullptr;
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(doc->file_.handle, &size);
    doc->bytes_.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!doc->bytes_.empty() &&
        (!ReadFile(doc->file_.handle, &doc->bytes_[0], static_cast<DWORD>(doc->bytes_.size()), &read, nullptr) ||
         read != doc->bytes_.size())) {
        ReleaseFile(doc.get());
        Record("doc-open-failed:" + ToUtf8(full));
        return nullptr;
    }
    Document* raw = doc.get();
    documents_.push_back(std::move(doc));
    Record("doc-open:" + ToUtf8(full));
    SendDocNotification(kNotifyPDDocDidOpen, raw->pdDoc());
    SendViewNotification(kNotifyAVDocDidOpen, raw->avDoc());
    return raw;
}

Document* Host::OpenDocumentOrRaise(const std::wstring& path) {
    Document* doc = OpenDocument(path);
    if (!doc) Raise(kErrFileNotFound, "open document");
    return doc;
}

void Host::EditDocument(Document* doc, const std::string& appended) {
    if (FindDocument(doc)) doc->bytes_ += appended;
}

bool Host::SaveDocument(Document* doc) {
    CheckThread("SaveDocument");
    if (!FindDocument(doc)) return false;
    Record("doc-save:" + ToUtf8(doc->path_));
    SendWillSave(doc->pdDoc(), 0);
    std::string error;
    if (!WriteFile(doc->path_, doc->bytes_, &error)) {
        Record("doc-save-failed:" + error);
        return false;
    }
    SendDocNotification(kNotifyPDDocDidSave, doc->pdDoc());
    return true;
}

bool Host::SaveDocumentAs(Document* doc, const std::wstring& newPath) {
    CheckThread("SaveDocumentAs");
    if (!FindDocument(doc) || newPath.empty()) return false;
    std::wstring full = FullPath(newPath);
    if (SamePath(full, doc->path_)) return SaveDocument(doc);
    Record("doc-save-as:" + ToUtf8(full));
    SendWillSave(doc->pdDoc(), 0);
    std::string error;
    if (!WriteFile(full, doc->bytes_, &error)) {
        Record("doc-save-failed:" + error);
        return false;
    }
    std::wstring old = doc->path_;
    ReleaseFile(doc);
    if (!BindFile(doc, full)) {
        Record("doc-rebind-failed:" + ToUtf8(full));
        BindFile(doc, old);
        return false;
    }
    SendDocNotification(kNotifyPDDocDidSave, doc->pdDoc());
    return true;
}

bool Host::SaveDocumentCopy(Document* doc, const std::wstring& copyPath) {
    CheckThread("SaveDocumentCopy");
    if (!FindDocument(doc) || copyPath.empty()) return false;
    std::wstring full = FullPath(copyPath);
    Record("doc-save-copy:" + ToUtf8(full));
    SendWillSave(doc->pdDoc(), kSaveFlagCopy);
    std::string error;
    if (!WriteFile(full, doc->bytes_, &error)) {
        Record("doc-save-failed:" + error);
        return false;
    }
    SendDocNotification(kNotifyPDDocDidSave, doc->pdDoc());
    return true;
}

void Host::CloseDocument(Document* doc) {
    CheckThread("CloseDocument");
    auto it = std::find_if(documents_.begin(), documents_.end(), [doc](auto& d) { return d.get() == doc; });
    if (it == documents_.end()) return;
    Record("doc-close:" + ToUtf8(doc->path_));
    if (active_ == doc) active_ = nullptr;
    ReleaseFile(doc);
    SendDocNotification(kNotifyPDDocDidClose, doc->pdDoc());
    // A handler may have closed other documents; look the document up again.
    it = std::find_if(documents_.begin(), documents_.end(), [doc](auto& d) { return d.get() == doc; });
    if (it != documents_.end()) documents_.erase(it);
}

void Host::CloseAllDocuments() {
    while (!documents_.empty()) CloseDocument(documents_.back().get());
}

std::vector<Document*> Host::Documents() const {
    std::vector<Document*> out;
    for (auto& doc : documents_) out.push_back(doc.get());
    return out;
}

Document* Host::ActiveDocument() const {
    if (active_ && FindDocument(active_)) return active_;
    return documents_.empty() ? nullptr : documents_.back().get();
}

void Host::SetActiveDocument(Document* doc) { active_ = FindDocument(doc); }

Document* Host::FindDocument(PDDoc doc) const {
    for (auto& d : documents_)
        if (d.get() == doc) return d.get();
    return nullptr;
}

Document* Host::FindDocumentByView(AVDoc view) const {
    for (auto& d : documents_)
        if (d->avDoc() == view) return d.get();
    return nullptr;
}

Document* Host::FindDocumentByFile(ASFile file) const {
    for (auto& d : documents_)
        if (d->asFile() == file) return d.get();
    return nullptr;
}

// ---- commands ----------------------------------------------------------------------------------------

bool Host::ClickRibbonItem(const std::string& name) {
    CheckThread("ClickRibbonItem");
    RibbonItem* item = ribbon_.FindItem(name);
    if (!item) return false;
    Record("ribbon-click:" + name);
    if (item->proc) {
        AVRibbonProc proc = item->proc;
        ASUns32 clientData = item->clientData;
        Guarded("ribbon procedure", [&] { proc(clientData); });
    } else if (item->builtin) {
        item->builtin();
    }
    return true;
}

// ---- servers ------------------------------------------------------------------------------------------

void Host::AddServer(HFTServer server, const std::string& name) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    servers_.emplace_back(server, name);
}

void Host::ForgetServer(HFTServer server) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    servers_.erase(std::remove_if(servers_.begin(), servers_.end(), [server](auto& s) { return s.first == server; }),
                   servers_.end());
}

HFTServer Host::FindServer(const std::string& name) const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (auto it = servers_.rbegin(); it != servers_.rend(); ++it)
        if (it->second == name) return it->first;
    return nullptr;
}

}  // namespace vxhost
