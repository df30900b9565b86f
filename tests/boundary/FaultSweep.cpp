// Boundary.faults: every procedure the host calls in dmslink runs again and again with one fault at
// its n-th point, for n = 1, 2, ... until a run no longer reaches n: a host error at the n-th making
// call into the host's tables, then an allocation failure at the n-th allocation of
// dmslink_faults.dll. No run may let anything escape, leave a host object alive, or swallow the fault
// without its "Exception handled" block, and after each the plug-in must still open a DMS document,
// save an edit and check it in as a new version.
//
// The test owns the Tessera settings key and runs each procedure in a worker process of its own
// (this program with --worker), two at a time. A worker writes each run to its progress file before
// it starts, so that a crash or a hang is charged to that run; the next worker goes on after it.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "TesseraKeySandbox.h"
#include "Utilities/CAPHandles.h"
#include "dms/TSPasswordCipher.h"
#include "resources/resource.h"
#include "tessera/StandIn.h"
#include "vxhost/Host.h"
#include "vxhost/HostFixture.h"

namespace {

using vxhost::Document;
using vxhost::TempFolder;

const wchar_t kServer[] = L"SRV1";
const wchar_t kDatabase[] = L"DOCS";
const wchar_t kUser[] = L"jdoe";
const wchar_t kPassword[] = L"secret";
// The document of the normal cycle after each run, a copy kept open unsaved, one saved, one chosen
// by the open procedures.
const long kCycleDoc = 1001, kOpenDoc = 1002, kSavedDoc = 1003, kChosenDoc = 1004;
const char* const kKindNames[2] = {"host error", "allocation"};
const DWORD kDialogPatience = 10000;  // ms before the harness closes a dialog nobody ended
const DWORD kHangLimit = 90000;       // ms without progress before the driver ends a worker
// Held around the plug-in's start-up and around writes of the user's server list, which the
// workers of both slots share.
const wchar_t kServerListMutex[] = L"VxBoundary.ServerList";

std::wstring ExeFolder() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe);
    return path.substr(0, path.find_last_of(L'\\'));
}

std::string Format(const char* format, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

void WriteText(const std::wstring& path, const std::string& text) {
    CAPHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void SetValue(HKEY hive, const wchar_t* name, const std::wstring& text) {
    CAPRegistryKey key;
    if (RegCreateKeyExW(hive, L"SOFTWARE\\Varnel\\Pro\\11.0\\Settings\\Tessera", 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.put(), nullptr) == ERROR_SUCCESS)
        RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// The user's server: logged in automatically at start-up.
void WriteUserServer() {
    SetValue(HKEY_CURRENT_USER, L"TesseraServer", kServer);
    SetValue(HKEY_CURRENT_USER, L"TesseraUserName", kUser);
    SetValue(HKEY_CURRENT_USER, L"TesseraPassword", TSPasswordCipher::EncryptPassword(kPassword));
    SetValue(HKEY_CURRENT_USER, L"TesseraTrustedLogin", L"0");
    SetValue(HKEY_CURRENT_USER, L"TesseraAutoConnect", L"1");
}

class NamedLock {
public:
    explicit NamedLock(const wchar_t* name) : mutex_(CreateMutexW(nullptr, FALSE, name)) {
        if (mutex_) WaitForSingleObject(mutex_.get(), INFINITE);
    }
    ~NamedLock() {
        if (mutex_) ReleaseMutex(mutex_.get());
    }
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

private:
    CAPHandle mutex_;
};

// ================================================================================================
// The worker: one procedure, both kinds of fault.

class Worker;

// What one run hands from its preparation to the call and its cleanup.
struct RunState {
    Document* doc = nullptr;
    ASPathName path = nullptr;
    ASText text = nullptr;
    ASText outputs[2] = {};
    ASPathName* items = nullptr;
    ASUns16 count = 0;
    ASBool answer = 0;
    ASPathName result = nullptr;
    std::unique_ptr<NamedLock> lock;
};

using Step = std::function<void(Worker&, RunState&)>;
struct Procedure {
    std::string name;
    Step prepare, call, cleanup;
};

class Worker {
public:
    Worker(const std::wstring& work, const std::wstring& progress)
        : work_(work), root_(work + L"\\root"), store_(work + L"\\store"), mainThread_(GetCurrentThreadId()),
          progress_(CreateFileW(progress.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~Worker() {
        if (host_) host_->Shutdown();
        host_.reset();
        TesseraRevokeClassObjects();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Unbuffered, so that the line is on disk before the run it announces can crash.
    void Emit(const std::string& line) {
        DWORD written = 0;
        std::string text = line + "\n";
        WriteFile(progress_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    std::string Start();
    void Sweep(const Procedure& procedure, int firstKind, long firstN);

    // ---- what the procedures use
    vxhost::Host& host() { return *host_; }
    template <class Proc>
    Proc Entry(int index) {
        return VxEntry<Proc>(table_, index);
    }
    ASPathName MakePath(const std::wstring& path) {
        return VxEntry<ASFileSysCreatePathProc>(host_->HostTable("AS"), kASFileSysCreatePath)(
            nullptr, host_->Atom("Wstring"), path.c_str(), nullptr);
    }
    void ReleasePath(ASPathName path) {
        if (path) VxEntry<ASFileSysReleasePathProc>(host_->HostTable("AS"), kASFileSysReleasePath)(nullptr, path);
    }
    std::wstring PathText(ASPathName path) {
        ASText text = MakeText(L"");
        VxEntry<ASFileSysDisplayTextProc>(host_->HostTable("AS"), kASFileSysDisplayText)(nullptr, path, text);
        std::wstring value = VxEntry<ASTextGetUnicodeProc>(host_->HostTable("ASExtra"), kASTextGetUnicode)(text);
        DestroyText(text);
        return value;
    }
    ASText MakeText(const std::wstring& value) {
        return VxEntry<ASTextFromUnicodeProc>(host_->HostTable("ASExtra"), kASTextFromUnicode)(value.c_str(), 1);
    }
    void DestroyText(ASText text) {
        if (text) VxEntry<ASTextDestroyProc>(host_->HostTable("ASExtra"), kASTextDestroy)(text);
    }
    void FreeList(ASPathName* items, ASUns16 count) {
        if (!items) return;
        for (ASUns16 i = 0; i < count; ++i) ReleasePath(items[i]);
        VxEntry<ASfreeProc>(host_->HostTable("AS"), kASfree)(items);
    }
    void PresetOpen(long number) { tessera::SetOpenPreset(store_, {{kServer, kDatabase, number, 1}}); }
    void PresetImport() { tessera::SetImportPreset(store_, kDatabase, L"Imported"); }
    ASBool OpenDialog(ASPathName** items, ASUns16* count) {
        return Entry<TesseraOpenDialogProc>(kTesseraOpenDialog)(host_->MainWindow(), nullptr, items, count, 1);
    }
    // A copy checked out through entry 7 and not opened: a detached record.
    std::wstring CheckOut(long number);
    Document* OpenTracked(long number);
    Document* OpenSaved(long number);
    Document* OpenLocal();
    // A tracked copy the host has open and the plug-in has let go of (retained, then removed): its
    // record file and lock stay, as after an earlier session.
    Document* OpenForgotten(long number);
    std::wstring StaleFolder() const { return root_ + L"\\VRL90"; }
    void ExpectServerDialog() { serverDialogStep_ = 0; }
    void Fail(const std::string& what) { failures_.push_back(what); }
    void EnsureConnected();

private:
    std::string LoadPlugin();
    enum class Reached { No, Yes, Unprepared };
    Reached RunOnce(const Procedure& procedure, int kind, long n);
    bool Guard(const char* stage, const std::function<void()>& body);
    std::string Cycle();
    void Restore();
    void ReleaseOurLocks();
    std::vector<tessera::DocumentInfo> Documents();
    void Arm(int kind, long n);
    bool Fired(int kind, DWORD* thread);
    void WatchDialogs();
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    static BOOL CALLBACK CollectWindow(HWND window, LPARAM list);

    static Worker* current_;
    CAPComApartment com_;  // first in, last out
    std::wstring work_, root_, store_;
    DWORD mainThread_;
    CAPHandle progress_;
    std::unique_ptr<vxhost::Host> host_;
    vxhost::Extension* plugin_ = nullptr;
    HFT table_ = nullptr;
    void (*failAllocationAt_)(long) = nullptr;
    int (*allocationFired_)(void) = nullptr;
    unsigned long (*allocationThread_)(void) = nullptr;
    std::vector<std::string> failures_;
    int serverDialogStep_ = -1;  // -1: no server dialog expected
    DWORD runStarted_ = 0;
    bool ticking_ = false;
    int cycles_ = 0;
};

Worker* Worker::current_ = nullptr;

std::string Worker::Start() {
    current_ = this;
    com_.Reset(CoInitialize(nullptr));
    if (!com_ || TesseraRegisterClassObjects() != S_OK) return "no DMS stand-in";
    CreateDirectoryW(root_.c_str(), nullptr);
    CreateDirectoryW(store_.c_str(), nullptr);
    SetEnvironmentVariableW(L"TESSERA_STORE", store_.c_str());
    SetEnvironmentVariableW(L"DMSLINK_TEMP_ROOT", root_.c_str());
    bool seeded = tessera::AddServer(store_, kServer) == S_OK &&
                  tessera::AddDatabase(store_, kServer, kDatabase) == S_OK &&
                  tessera::AddUser(store_, kServer, kUser, kPassword, L"John Doe", false) == S_OK;
    for (long number : {kCycleDoc, kOpenDoc, kSavedDoc, kChosenDoc}) {
        tessera::NewDocument doc;
        doc.server = kServer;
        doc.database = kDatabase;
        doc.contentFile = work_ + L"\\" + std::to_wstring(number) + L".pdf";
        WriteText(doc.contentFile, "%PDF-1.4 document " + std::to_string(number) + "\n");
        doc.extension = L"pdf";
        doc.description = L"Document " + std::to_wstring(number);
        doc.number = number;
        seeded = seeded && tessera::AddDocument(store_, doc, nullptr) == S_OK;
    }
    WriteText(work_ + L"\\Local.pdf", "%PDF-1.4 local\n");
    if (!seeded) return "the DMS store could not be seeded";

    // The plug-in is the only one in its folder, so that the host's restart loads it alone.
    std::wstring plugins = work_ + L"\\plugins";
    CreateDirectoryW(plugins.c_str(), nullptr);
    if (!CopyFileW((ExeFolder() + L"\\dmslink_faults.dll").c_str(), (plugins + L"\\dmslink_faults.dll").c_str(), FALSE))
        return "no dmslink_faults.dll beside the test";

    vxhost::HostOptions options;
    options.logPath = work_ + L"\\host.log";
    host_ = std::make_unique<vxhost::Host>(options);
    SetTimer(nullptr, 0, 50, Tick);
    return LoadPlugin();
}

std::string Worker::LoadPlugin() {
    NamedLock serverList(kServerListMutex);
    std::vector<vxhost::LoadResult> loaded = host_->RestartPlugins(work_ + L"\\plugins");
    if (loaded.size() != 1 || !loaded[0].ok()) return "dmslink_faults.dll not loaded: " + host_->DescribeLoad(loaded);
    plugin_ = loaded[0].extension;
    host_->RunIdle();
    table_ = host_->TesseraTable();
    HMODULE module = plugin_->module;
    failAllocationAt_ = reinterpret_cast<void (*)(long)>(GetProcAddress(module, "VxTestFailAllocationAt"));
    allocationFired_ = reinterpret_cast<int (*)()>(GetProcAddress(module, "VxTestAllocationFaultFired"));
    allocationThread_ = reinterpret_cast<unsigned long (*)()>(GetProcAddress(module, "VxTestAllocationFaultThread"));
    auto allocations = reinterpret_cast<long (*)()>(GetProcAddress(module, "VxTestAllocations"));
    if (!table_ || !failAllocationAt_ || !allocationFired_ || !allocationThread_ || !allocations)
        return "no Tessera table or no allocation hooks";
    ASText name = MakeText(kServer);
    ASBool connected = 0;
    Entry<TesseraGetServerDetailsProc>(kTesseraGetServerDetails)(name, nullptr, nullptr, nullptr, nullptr, &connected,
                                                                nullptr);
    DestroyText(name);
    if (!connected) return "the start-up did not log in to " + vxhost::ToUtf8(kServer);
    // A sweep over a fault that never fires would pass without testing anything: a long path taken
    // into the plug-in grows a std::wstring there, and turning a path into text makes a host text.
    ASPathName path = MakePath(root_ + L"\\a path longer than any inline string buffer.pdf");
    failAllocationAt_(1000000);
    Entry<TesseraPathBoolProc>(kTesseraIsDocumentTracked)(path);
    failAllocationAt_(0);
    ReleasePath(path);
    if (allocations() == 0) return "the allocation hook counted nothing";
    path = MakePath(root_ + L"\\a.pdf");
    host_->FailMakingCall(1);
    Entry<TesseraPathBoolProc>(kTesseraIsDocumentTracked)(path);
    host_->FailMakingCall(0);
    ReleasePath(path);
    if (!host_->InjectedFaultFired()) return "the host's fault never fired";
    return std::string();
}

std::wstring Worker::CheckOut(long number) {
    PresetOpen(number);
    ASPathName* items = nullptr;
    ASUns16 count = 0;
    std::wstring path;
    if (OpenDialog(&items, &count) && count == 1) path = PathText(items[0]);
    FreeList(items, count);
    if (path.empty()) throw std::runtime_error(Format("no check-out of %ld", number));
    return path;
}

Document* Worker::OpenTracked(long number) {
    Document* doc = host_->OpenDocument(CheckOut(number));
    if (!doc) throw std::runtime_error("the checked-out copy does not open");
    host_->SetActiveDocument(doc);
    return doc;
}

Document* Worker::OpenSaved(long number) {
    Document* doc = OpenTracked(number);
    host_->EditDocument(doc, "saved edit\n");
    if (!host_->SaveDocument(doc)) throw std::runtime_error("the tracked copy does not save");
    return doc;
}

Document* Worker::OpenLocal() {
    Document* doc = host_->OpenDocument(work_ + L"\\Local.pdf");
    if (!doc) throw std::runtime_error("the local document does not open");
    host_->SetActiveDocument(doc);
    return doc;
}

Document* Worker::OpenForgotten(long number) {
    Document* doc = OpenTracked(number);
    ASPathName path = MakePath(doc->Path());
    Entry<TesseraPathProc>(kTesseraRetainDocument)(path);
    Entry<TesseraPathProc>(kTesseraRemoveDocument)(path);
    ReleasePath(path);
    return doc;
}

std::vector<tessera::DocumentInfo> Worker::Documents() {
    std::vector<tessera::DocumentInfo> all;
    tessera::ListDocuments(store_, &all);
    return all;
}

void Worker::Arm(int kind, long n) {
    if (kind == 0)
        host_->FailMakingCall(n);
    else
        failAllocationAt_(n);
}

bool Worker::Fired(int kind, DWORD* thread) {
    *thread = mainThread_;
    if (kind == 0) return host_->InjectedFaultFired();
    if (!allocationFired_()) return false;
    *thread = allocationThread_();
    return true;
}

// Runs one stage; whatever escapes it is a failure of the run.
bool Worker::Guard(const char* stage, const std::function<void()>& body) {
    runStarted_ = GetTickCount();
    try {
        body();
        return true;
    } catch (CVxException* e) {
        Fail(Format("%s: host error 0x%08X escaped", stage, static_cast<unsigned>(e->errorCode)));
    } catch (const std::bad_alloc&) {
        Fail(Format("%s: std::bad_alloc escaped", stage));
    } catch (const std::exception& e) {
        Fail(Format("%s: %s", stage, e.what()));
    } catch (...) {
        Fail(Format("%s: an unknown exception escaped", stage));
    }
    return false;
}

Worker::Reached Worker::RunOnce(const Procedure& procedure, int kind, long n) {
    failures_.clear();
    RunState state;
    host_->ClearJournal();
    std::multiset<std::string> objects;
    for (std::string& object : host_->Objects().Leaks()) objects.insert(std::move(object));
    const size_t errorsBefore = host_->Objects().Errors().size();
    const size_t violationsBefore = host_->ThreadViolations().size();
    const size_t logBefore = host_->LogText().size();
    serverDialogStep_ = -1;

    bool prepared = !procedure.prepare || Guard("could not prepare", [&] { procedure.prepare(*this, state); });
    bool fired = false, called = false;
    DWORD faultThread = mainThread_;
    if (prepared) {
        Arm(kind, n);
        called = Guard("escaped from the procedure", [&] { procedure.call(*this, state); });
        Arm(kind, 0);
        fired = Fired(kind, &faultThread);
    }
    if (procedure.cleanup) Guard("harness cleanup", [&] { procedure.cleanup(*this, state); });

    std::vector<std::string> errors = host_->Objects().Errors();
    for (size_t i = errorsBefore; i < errors.size(); ++i) Fail("host objects: " + errors[i]);
    std::vector<std::string> violations = host_->ThreadViolations();
    for (size_t i = violationsBefore; i < violations.size(); ++i) Fail("off the main thread: " + violations[i]);
    // A fault on a worker thread cannot be logged there: the host's entries are the main thread's.
    if (fired && called && faultThread == mainThread_ &&
        host_->LogText().find("Exception handled", logBefore) == std::string::npos)
        Fail("the fault was handled without an \"Exception handled\" block");

    bool clean = prepared;
    if (fired) {
        std::string broken;
        Guard("normal cycle", [&] { broken = Cycle(); });
        if (!broken.empty()) Fail("afterwards: " + broken);
        clean = clean && broken.empty();
    }
    Guard("restore", [&] { Restore(); });
    for (const std::string& escaped : host_->JournalMatching("escaped-")) Fail("the host caught " + escaped);
    for (const std::string& object : host_->Objects().Leaks()) {
        auto before = objects.find(object);
        if (before == objects.end())
            Fail("left alive: " + object);
        else
            objects.erase(before);
    }
    // A run that broke the plug-in's state would break the runs after it too.
    if (!clean) Guard("restart", [&] {
        std::string why = LoadPlugin();
        if (!why.empty()) throw std::runtime_error(why);
    });
    for (std::string failure : failures_) {
        for (char& c : failure)
            if (c == '\n' || c == '\r') c = ' ';
        Emit(Format("FAIL\t%d\t%ld\t", kind, n) + failure);
    }
    return !prepared ? Reached::Unprepared : fired ? Reached::Yes : Reached::No;
}

// Open from the DMS, edit, save, close: the edit must arrive as a new version.
std::string Worker::Cycle() {
    long before = 0;
    for (const tessera::DocumentInfo& info : Documents())
        if (info.number == kCycleDoc && info.version > before) before = info.version;
    tessera::SetOpenPreset(store_, {{kServer, kDatabase, kCycleDoc, before}});
    ASPathName* items = nullptr;
    ASUns16 count = 0;
    if (!OpenDialog(&items, &count) || count != 1) {
        FreeList(items, count);
        return "open from the DMS delivers nothing";
    }
    std::wstring path = PathText(items[0]);
    FreeList(items, count);
    Document* doc = host_->OpenDocument(path);
    if (!doc) return "the checked-out copy does not open";
    std::string edit = "cycle edit " + std::to_string(++cycles_) + "\n";
    host_->EditDocument(doc, edit);
    if (!host_->SaveDocument(doc)) return "the copy does not save";
    host_->CloseDocument(doc);
    host_->RunIdle();
    for (const tessera::DocumentInfo& info : Documents()) {
        if (info.number != kCycleDoc || info.version != before + 1) continue;
        if (!info.lockedBy.empty()) return "the checked-in document stays locked";
        if (TempFolder::Read(info.contentPath).find(edit) == std::string::npos) return "the new version lacks the edit";
        return std::string();
    }
    return "the saved edit is not a new version in the DMS";
}

void Worker::EnsureConnected() {
    ASText name = MakeText(kServer);
    ASBool connected = 0;
    auto details = Entry<TesseraGetServerDetailsProc>(kTesseraGetServerDetails);
    if (!details(name, nullptr, nullptr, nullptr, nullptr, &connected, nullptr)) {
        Entry<TesseraVoidProc>(kTesseraReloadServerList)();
        details(name, nullptr, nullptr, nullptr, nullptr, &connected, nullptr);
    }
    if (!connected) Entry<TesseraServerNameProc>(kTesseraToggleServerConnection)(name);
    DestroyText(name);
}

void Worker::ReleaseOurLocks() {
    std::set<long> locked;
    for (const tessera::DocumentInfo& info : Documents())
        if (!info.lockedBy.empty()) locked.insert(info.number);
    for (long number : locked) tessera::UnlockDocument(store_, kServer, kDatabase, number, nullptr);
}

// Back to no document, no tracked copy, no lock and a connected server; copies kept for a check-in
// that a fault made fail are dropped, so that every run starts alike.
void Worker::Restore() {
    host_->CloseAllDocuments();
    host_->RunIdle();
    Entry<TesseraVoidProc>(kTesseraRemoveUnusedDocuments)();
    host_->SendClearTempFiles();
    host_->RunIdle();
    tessera::ClearPresets(store_);
    EnsureConnected();
    ReleaseOurLocks();
    WIN32_FIND_DATAW found;
    CAPFindHandle search(FindFirstFileW((root_ + L"\\*").c_str(), &found));
    if (!search) return;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") TempFolder::RemoveTree(root_ + L"\\" + name);
    } while (FindNextFileW(search.get(), &found));
}

void Worker::Sweep(const Procedure& procedure, int firstKind, long firstN) {
    for (int kind = firstKind; kind < 2; ++kind) {
        int unprepared = 0;
        for (long n = kind == firstKind ? firstN : 1;; ++n) {
            Emit(Format("RUN\t%d\t%ld", kind, n));
            Reached reached = RunOnce(procedure, kind, n);
            Emit(Format("RAN\t%d\t%ld\t%d", kind, n, reached == Reached::Yes ? 1 : 0));
            // A run that could not be prepared goes on to the next n, three times at most.
            unprepared = reached == Reached::Unprepared ? unprepared + 1 : 0;
            if (reached == Reached::No || unprepared == 3) break;
        }
    }
    Emit("END");
}

BOOL CALLBACK Worker::CollectWindow(HWND window, LPARAM list) {
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

void CALLBACK Worker::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (current_ && !current_->ticking_) current_->WatchDialogs();
}

// Answers the server dialog (OK with the server's details, then Cancel when it stays open) and
// closes any dialog left open too long, as a user would.
void Worker::WatchDialogs() {
    ticking_ = true;
    std::vector<HWND> windows;
    EnumThreadWindows(mainThread_, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        if (window == host_->MainWindow()) continue;
        wchar_t title[128] = L"";
        GetWindowTextW(window, title, 128);
        if (std::wstring(title) == L"Tessera Server configuration" && serverDialogStep_ >= 0 && serverDialogStep_ < 2) {
            if (serverDialogStep_ == 0) {
                SetDlgItemTextW(window, IDC_SERVER, kServer);
                SetDlgItemTextW(window, IDC_USERNAME, kUser);
                SetDlgItemTextW(window, IDC_PASSWORD, kPassword);
            }
            SendMessageW(GetDlgItem(window, serverDialogStep_++ == 0 ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
        } else if (GetTickCount() - runStarted_ > kDialogPatience) {
            Fail("a dialog stayed open: \"" + vxhost::ToUtf8(title) + "\" (closed by the harness)");
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            PostMessageW(window, WM_CLOSE, 0, 0);
            runStarted_ = GetTickCount();
        }
    }
    ticking_ = false;
}

// ================================================================================================
// The procedures. Each prepares what it needs with the fault disarmed, calls the one procedure
// armed, and frees what the call handed out.

void ReleaseResult(Worker& w, RunState& s) {
    w.ReleasePath(s.result);
    w.ReleasePath(s.path);
    w.DestroyText(s.text);
    for (ASText text : s.outputs) w.DestroyText(text);
}

void TrackedPath(Worker& w, RunState& s) { s.path = w.MakePath(w.OpenTracked(kOpenDoc)->Path()); }
void SavedPath(Worker& w, RunState& s) {
    s.doc = w.OpenSaved(kSavedDoc);
    s.path = w.MakePath(s.doc->Path());
}
void LocalForImport(Worker& w, RunState& s) {
    s.doc = w.OpenLocal();
    s.path = w.MakePath(s.doc->Path());
    w.PresetImport();
}
void ServerName(Worker& w, RunState& s) { s.text = w.MakeText(kServer); }
// A login that a fault made fail leaves the server logged out; the user would log in again.
void Reconnect(Worker& w, RunState& s) {
    ReleaseResult(w, s);
    w.EnsureConnected();
}

std::vector<Procedure> Procedures() {
    std::vector<Procedure> list;
    auto add = [&](const std::string& name, Step prepare, Step call, Step cleanup = ReleaseResult) {
        list.push_back({name, std::move(prepare), std::move(call), std::move(cleanup)});
    };
    auto entry = [](int index, const char* name) { return Format("entry %d %s", index, name); };

    // The long ones first, so that the two slots end together.
    add(entry(7, "OpenDialog (progress dialog)"), [](Worker& w, RunState&) { w.PresetOpen(kChosenDoc); },
        [](Worker& w, RunState& s) { s.answer = w.OpenDialog(&s.items, &s.count); },
        [](Worker& w, RunState& s) {
            if (s.answer) w.FreeList(s.items, s.count);
        });
    add(entry(19, "FileOpenBtnExecuteProc"), [](Worker& w, RunState&) { w.PresetOpen(kChosenDoc); },
        [](Worker& w, RunState&) { w.Entry<TesseraVoidProc>(kTesseraFileOpenBtnExecuteProc)(); });
    add("ribbon Tessera beside Open", [](Worker& w, RunState&) { w.PresetOpen(kChosenDoc); },
        [](Worker& w, RunState&) {
            for (vxhost::RibbonItem* item : w.host().GetRibbon().FindItemsTitled(L"Tessera"))
                if (item->name.rfind("AVRibbon:Main:Open:Btn+", 0) == 0) w.host().ClickRibbonItem(item->name);
        });
    add("ribbon Tessera beside SaveAs", LocalForImport, [](Worker& w, RunState&) {
        for (vxhost::RibbonItem* item : w.host().GetRibbon().FindItemsTitled(L"Tessera"))
            if (item->name.rfind("AVRibbon:Main:SaveAs:Btn+", 0) == 0) w.host().ClickRibbonItem(item->name);
    });
    add(entry(21, "FileSaveAsBtnExecuteProc"), LocalForImport,
        [](Worker& w, RunState&) { w.Entry<TesseraVoidProc>(kTesseraFileSaveAsBtnExecuteProc)(); });
    add(entry(16, "CheckinDocument"), SavedPath, [](Worker& w, RunState& s) {
        s.answer = w.Entry<TesseraCheckinProc>(kTesseraCheckinDocument)(s.path, 1);
    });
    add(entry(17, "SaveDocumentOnServer"), [](Worker& w, RunState& s) {
            SavedPath(w, s);
            w.PresetImport();
        },
        [](Worker& w, RunState& s) {
            s.answer = w.Entry<TesseraSaveOnServerProc>(kTesseraSaveDocumentOnServer)(s.path, 1, 1);
        });
    add("notification 55 (closed)", [](Worker& w, RunState& s) { s.doc = w.OpenSaved(kSavedDoc); },
        [](Worker& w, RunState& s) { w.host().CloseDocument(s.doc); });
    add(entry(25, "FileRenamed"), [](Worker& w, RunState& s) { s.text = w.MakeText(w.OpenSaved(kSavedDoc)->Path()); },
        [](Worker& w, RunState& s) { w.Entry<TesseraRenamedProc>(kTesseraFileRenamed)(s.text); });
    add(entry(12, "SaveAsDialog"), LocalForImport,
        [](Worker& w, RunState& s) { s.result = w.Entry<TesseraPathToPathProc>(kTesseraSaveAsDialog)(s.path); });
    add(entry(15, "DocumentWasSaved"), LocalForImport,
        [](Worker& w, RunState& s) { w.Entry<TesseraPDDocProc>(kTesseraDocumentWasSaved)(s.doc->pdDoc()); });
    add(entry(29, "EditServer (server dialog)"),
        [](Worker& w, RunState& s) {
            ServerName(w, s);
            w.ExpectServerDialog();
        },
        [](Worker& w, RunState& s) { s.answer = w.Entry<TesseraServerNameProc>(kTesseraEditServer)(s.text); },
        Reconnect);
    add("notification 66 (opened)", [](Worker& w, RunState& s) { s.doc = w.OpenForgotten(kOpenDoc); },
        [](Worker& w, RunState& s) { w.host().SendDocNotification(kNotifyPDDocDidOpen, s.doc->pdDoc()); });
    add("notification 1005 (view opened)", [](Worker& w, RunState& s) { s.doc = w.OpenForgotten(kOpenDoc); },
        [](Worker& w, RunState& s) { w.host().SendViewNotification(kNotifyAVDocDidOpen, s.doc->avDoc()); });
    add("notification 19 (saved)",
        [](Worker& w, RunState& s) {
            s.doc = w.OpenTracked(kOpenDoc);
            w.host().EditDocument(s.doc, "unsent edit\n");
        },
        [](Worker& w, RunState& s) { w.host().SendDocNotification(kNotifyPDDocDidSave, s.doc->pdDoc()); });
    add("notification 1002 (clear temporary files)",
        [](Worker& w, RunState&) {
            w.OpenTracked(kOpenDoc);
            CreateDirectoryW(w.StaleFolder().c_str(), nullptr);
            WriteText(w.StaleFolder() + L"\\stale.pdf", "%PDF-1.4 stale\n");
        },
        [](Worker& w, RunState&) { w.host().SendClearTempFiles(); });
    add("notification 38 (will save a copy)", [](Worker& w, RunState& s) { s.doc = w.OpenTracked(kOpenDoc); },
        [](Worker& w, RunState& s) { w.host().SendWillSave(s.doc->pdDoc(), kSaveFlagCopy); },
        [](Worker& w, RunState& s) { w.host().SendWillSave(s.doc->pdDoc(), 0); });
    add(entry(4, "GetSaveAsPath"), [](Worker& w, RunState&) { w.OpenTracked(kOpenDoc); },
        [](Worker& w, RunState& s) { s.result = w.Entry<TesseraPathToPathProc>(kTesseraGetSaveAsPath)(nullptr); });
    add(entry(5, "RemoveUnusedDocuments"), [](Worker& w, RunState&) { w.CheckOut(kOpenDoc); },
        [](Worker& w, RunState&) { w.Entry<TesseraVoidProc>(kTesseraRemoveUnusedDocuments)(); });
    add(entry(6, "RemoveDocument"), [](Worker& w, RunState& s) { s.path = w.MakePath(w.CheckOut(kOpenDoc)); },
        [](Worker& w, RunState& s) { w.Entry<TesseraPathProc>(kTesseraRemoveDocument)(s.path); });
    add(entry(8, "RetainDocument"), TrackedPath,
        [](Worker& w, RunState& s) { w.Entry<TesseraPathProc>(kTesseraRetainDocument)(s.path); });
    add(entry(9, "SkipDocumentSave"), TrackedPath,
        [](Worker& w, RunState& s) { w.Entry<TesseraPathProc>(kTesseraSkipDocumentSave)(s.path); },
        [](Worker& w, RunState& s) {
            w.Entry<TesseraPathProc>(kTesseraSkipDocumentSave)(nullptr);
            ReleaseResult(w, s);
        });
    add(entry(10, "IsDocumentTracked"), TrackedPath,
        [](Worker& w, RunState& s) { s.answer = w.Entry<TesseraPathBoolProc>(kTesseraIsDocumentTracked)(s.path); });
    add(entry(13, "GetDocumentTitle"), TrackedPath,
        [](Worker& w, RunState& s) { s.outputs[0] = w.Entry<TesseraGetTitleProc>(kTesseraGetDocumentTitle)(s.path); });
    add(entry(14, "SetSkipClosePDDoc"), [](Worker& w, RunState& s) { s.doc = w.OpenTracked(kOpenDoc); },
        [](Worker& w, RunState& s) { w.Entry<TesseraPDDocProc>(kTesseraSetSkipClosePDDoc)(s.doc->pdDoc()); },
        [](Worker& w, RunState&) { w.Entry<TesseraPDDocProc>(kTesseraSetSkipClosePDDoc)(nullptr); });
    add(entry(27, "GetServerName"), nullptr,
        [](Worker& w, RunState& s) { s.answer = w.Entry<TesseraGetServerNameProc>(kTesseraGetServerName)(0, &s.outputs[0]); });
    add(entry(28, "GetServerDetails"), ServerName, [](Worker& w, RunState& s) {
        ASBool flags[4] = {};
        s.answer = w.Entry<TesseraGetServerDetailsProc>(kTesseraGetServerDetails)(
            s.text, &s.outputs[0], &s.outputs[1], &flags[0], &flags[1], &flags[2], &flags[3]);
    });
    add(entry(30, "DeleteServer"), ServerName,
        [](Worker& w, RunState& s) { s.answer = w.Entry<TesseraServerNameProc>(kTesseraDeleteServer)(s.text); },
        Reconnect);
    add(entry(31, "ToggleServerConnection (log out)"), ServerName, [](Worker& w, RunState& s) {
        s.answer = w.Entry<TesseraServerNameProc>(kTesseraToggleServerConnection)(s.text);
    }, Reconnect);
    add(entry(31, "ToggleServerConnection (log in)"),
        [](Worker& w, RunState& s) {
            ServerName(w, s);
            w.Entry<TesseraServerNameProc>(kTesseraToggleServerConnection)(s.text);
        },
        [](Worker& w, RunState& s) {
            s.answer = w.Entry<TesseraServerNameProc>(kTesseraToggleServerConnection)(s.text);
        },
        Reconnect);
    add(entry(33, "ReloadServerList"), nullptr,
        [](Worker& w, RunState&) { w.Entry<TesseraVoidProc>(kTesseraReloadServerList)(); });
    add(entry(34, "SaveServerList"), [](Worker&, RunState& s) { s.lock = std::make_unique<NamedLock>(kServerListMutex); },
        [](Worker& w, RunState&) { w.Entry<TesseraVoidProc>(kTesseraSaveServerList)(); },
        [](Worker& w, RunState& s) {
            // The user's list must still hold the password it had.
            wchar_t stored[1024] = L"";
            DWORD bytes = sizeof stored - sizeof(wchar_t);
            RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel\\Pro\\11.0\\Settings\\Tessera", L"TesseraPassword",
                         RRF_RT_REG_SZ, nullptr, stored, &bytes);
            if (TSPasswordCipher::DecryptPassword(stored) != kPassword) w.Fail("the saved server list lost the password");
            WriteUserServer();
            s.lock.reset();
        });
    const std::pair<int, const char*> flags[] = {{1, "IsOpenEnabled"},      {2, "IsSaveEnabled"},
                                                 {18, "IsOpenAvailable"},    {20, "IsSaveAvailable"},
                                                 {22, "IsOpenDefault"},      {23, "IsOpenAndSaveEnabled"},
                                                 {24, "IsSaveDefault"},      {32, "AlwaysTrue"}};
    for (const auto& flag : flags)
        add(entry(flag.first, flag.second), nullptr,
            [index = flag.first](Worker& w, RunState& s) { s.answer = w.Entry<TesseraBoolProc>(index)(); });
    add(entry(3, "NoOp"), nullptr, [](Worker& w, RunState&) { w.Entry<TesseraVoidProc>(kTesseraNoOp)(); });
    add(entry(11, "SetDefaultsSuppressed"), nullptr,
        [](Worker& w, RunState&) { w.Entry<TesseraSetFlagProc>(kTesseraSetDefaultsSuppressed)(0); });
    add(entry(26, "SetExplicitSaveOnly"), nullptr,
        [](Worker& w, RunState&) { w.Entry<TesseraSetFlagProc>(kTesseraSetExplicitSaveOnly)(0); });
    return list;
}

int RunWorker(size_t procedure, int kind, long n, const std::wstring& work, const std::wstring& progress) {
    std::vector<Procedure> procedures = Procedures();
    Worker worker(work, progress);
    if (procedure >= procedures.size()) {
        worker.Emit("FATAL\tno such procedure");
        return 2;
    }
    std::string why = worker.Start();
    if (!why.empty()) {
        worker.Emit("FATAL\t" + why);
        return 2;
    }
    worker.Sweep(procedures[procedure], kind, n);
    return 0;
}

// ================================================================================================
// The driver.

struct Outcome {
    long pairs[2] = {};
    double seconds = 0;
    std::vector<std::string> failures;
    int restarts = 0;
};

struct Slot {
    size_t procedure = 0;
    int kind = 0;
    long n = 1;
    std::wstring work, progress;
    CAPHandle process;
    DWORD started = 0;
};

class Boundary : public TesseraKeySandbox {
protected:
    void SetUp() override {
        TesseraKeySandbox::SetUp();
        for (const wchar_t* name : {L"TesseraEnableOpen", L"TesseraEnableSave", L"TesseraOpenDefaultLocation",
                                    L"TesseraSaveDefaultLocation"})
            SetText(HKEY_LOCAL_MACHINE, name, L"1");
        WriteUserServer();
    }

    bool Spawn(Slot& slot) {
        static int workers = 0;
        slot.work = temp_.File(L"w" + std::to_wstring(++workers));
        slot.progress = slot.work + L".progress";
        CreateDirectoryW(slot.work.c_str(), nullptr);
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(exe) + L"\" --worker " + std::to_wstring(slot.procedure) + L" " +
                               std::to_wstring(slot.kind) + L" " + std::to_wstring(slot.n) + L" \"" + slot.work +
                               L"\" \"" + slot.progress + L"\"";
        STARTUPINFOW startup{sizeof startup};
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(exe, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return false;
        CloseHandle(info.hThread);
        slot.process.Reset(info.hProcess);
        slot.started = GetTickCount();
        return true;
    }

    // Reads what the worker did; true when the procedure needs another worker (after a crash).
    bool Collect(Slot& slot, Outcome& outcome, DWORD exitCode, bool hung) {
        std::string text = TempFolder::Read(slot.progress);
        bool ended = false, fatal = false;
        int lastKind = -1;
        long lastN = 0;
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(at, end - at);
            at = end + 1;
            int kind = 0, fired = 0;
            long n = 0;
            char* rest = nullptr;
            if (sscanf(line.c_str(), "RUN\t%d\t%ld", &kind, &n) == 2) {
                lastKind = kind;
                lastN = n;
            } else if (sscanf(line.c_str(), "RAN\t%d\t%ld\t%d", &kind, &n, &fired) == 3) {
                outcome.pairs[kind] += fired;
                lastKind = -1;
            } else if (line.rfind("FAIL\t", 0) == 0) {
                kind = static_cast<int>(strtol(line.c_str() + 5, &rest, 10));
                n = strtol(rest + 1, &rest, 10);
                outcome.failures.push_back(Format("%s, n=%ld: %s", kKindNames[kind], n, rest + 1));
            } else if (line.rfind("FATAL\t", 0) == 0) {
                outcome.failures.push_back("worker did not start: " + line.substr(6));
                fatal = true;
            } else if (line == "END") {
                ended = true;
            }
        }
        outcome.seconds += (GetTickCount() - slot.started) / 1000.0;
        if (ended || fatal) return false;
        if (lastKind < 0) {
            outcome.failures.push_back(Format("worker ended (exit code 0x%08lX) outside a run", exitCode));
            return false;
        }
        outcome.pairs[lastKind]++;
        outcome.failures.push_back(Format("%s, n=%ld: %s", kKindNames[lastKind], lastN,
                                          hung ? "hung (no progress for 90 s; the worker was ended)"
                                               : Format("crashed (exit code 0x%08lX)", exitCode).c_str()));
        if (++outcome.restarts > 40) {
            outcome.failures.push_back("gave up after 40 crashes");
            return false;
        }
        slot.kind = lastKind;
        slot.n = lastN + 1;
        return true;
    }

    TempFolder temp_;
};

TEST_F(Boundary, faults) {
    const std::vector<Procedure> procedures = Procedures();
    std::vector<Outcome> outcomes(procedures.size());
    // BOUNDARY_ONLY=<text> sweeps only the procedures whose name holds the text.
    char only[128] = "";
    GetEnvironmentVariableA("BOUNDARY_ONLY", only, sizeof only);
    std::vector<size_t> queue;
    for (size_t i = 0; i < procedures.size(); ++i)
        if (procedures[i].name.find(only) != std::string::npos) queue.push_back(i);
    std::vector<Slot> running;
    size_t next = 0;
    const DWORD started = GetTickCount();
    while (next < queue.size() || !running.empty()) {
        while (running.size() < 2 && next < queue.size()) {
            Slot slot;
            slot.procedure = queue[next++];
            ASSERT_TRUE(Spawn(slot)) << "cannot start a worker: " << GetLastError();
            running.push_back(std::move(slot));
        }
        std::vector<HANDLE> handles;
        for (const Slot& slot : running) handles.push_back(slot.process.get());
        DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 1000);
        for (size_t i = 0; i < running.size(); ++i) {
            Slot& slot = running[i];
            WIN32_FILE_ATTRIBUTE_DATA progress{};
            GetFileAttributesExW(slot.progress.c_str(), GetFileExInfoStandard, &progress);
            FILETIME now;
            GetSystemTimeAsFileTime(&now);
            ULARGE_INTEGER a{{now.dwLowDateTime, now.dwHighDateTime}};
            ULARGE_INTEGER b{{progress.ftLastWriteTime.dwLowDateTime, progress.ftLastWriteTime.dwHighDateTime}};
            bool hung = false;
            if (woken != WAIT_OBJECT_0 + i) {
                DWORD idle = static_cast<DWORD>((a.QuadPart - b.QuadPart) / 10000);
                if (GetTickCount() - slot.started < kHangLimit || idle < kHangLimit) continue;
                TerminateProcess(slot.process.get(), 0xDEAD);
                WaitForSingleObject(slot.process.get(), INFINITE);
                hung = true;
            }
            DWORD exitCode = 0;
            GetExitCodeProcess(slot.process.get(), &exitCode);
            slot.process.Reset();
            Outcome& outcome = outcomes[slot.procedure];
            if (Collect(slot, outcome, exitCode, hung)) {
                ASSERT_TRUE(Spawn(slot)) << "cannot restart a worker: " << GetLastError();
                continue;
            }
            printf("%-48s %5ld host-error runs %5ld allocation runs %7.1f s %s\n", procedures[slot.procedure].name.c_str(),
                   outcome.pairs[0], outcome.pairs[1], outcome.seconds,
                   outcome.failures.empty() ? "ok" : Format("%zu FAILED", outcome.failures.size()).c_str());
            fflush(stdout);
            running.erase(running.begin() + static_cast<long>(i));
            break;
        }
    }

    long pairs[2] = {};
    size_t failed = 0;
    for (size_t i = 0; i < procedures.size(); ++i) {
        pairs[0] += outcomes[i].pairs[0];
        pairs[1] += outcomes[i].pairs[1];
        for (const std::string& failure : outcomes[i].failures) {
            printf("FAILED %s, %s\n", procedures[i].name.c_str(), failure.c_str());
            ++failed;
        }
    }
    std::string summary = Format("tried %ld (procedure, n) pairs with a host error and %ld with an allocation failure "
                                 "over %zu procedures in %.0f s; %zu failed\n",
                                 pairs[0], pairs[1], queue.size(), (GetTickCount() - started) / 1000.0, failed);
    printf("%s", summary.c_str());
    fflush(stdout);
    // The count stays readable after a passing run too (the test command prints it at its end).
    wchar_t summaryFile[MAX_PATH] = L"";
    if (GetEnvironmentVariableW(L"BOUNDARY_SUMMARY", summaryFile, MAX_PATH)) WriteText(summaryFile, "Boundary.faults: " + summary);
    EXPECT_EQ(failed, 0u) << "see the FAILED lines above";
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args && count == 7 && std::wstring(args[1]) == L"--worker")
        return RunWorker(static_cast<size_t>(_wtoi(args[2])), _wtoi(args[3]), _wtol(args[4]), args[5], args[6]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
