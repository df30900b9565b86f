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

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "TesseraKeySandbox.h"
#include "Utilities/CAPHandles.h"
#include "VxHostedTest.h"
#include "dms/TSPasswordCipher.h"
#include "resources/resource.h"
#include "tessera/StandIn.h"
#include "vxhost/HostCalls.h"

namespace {

using vxhost::Document;
using vxhost::TempFolder;

const wchar_t kServer[] = L"SRV1", kDatabase[] = L"DOCS", kUser[] = L"jdoe", kPassword[] = L"secret";
const wchar_t kSettings[] = L"SOFTWARE\\Varnel\\Pro\\11.0\\Settings\\Tessera";
// The document of the normal cycle after each run, a copy kept open unsaved, one saved, one chosen
// by the open procedures.
const long kCycleDoc = 1001, kOpenDoc = 1002, kSavedDoc = 1003, kChosenDoc = 1004;
const char* const kKindNames[2] = {"host error", "allocation"};
const DWORD kDialogPatience = 10000;  // ms before the harness closes a dialog nobody ended
const DWORD kHangLimit = 90000;       // ms without progress before the driver ends a worker

std::string Format(const char* format, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

[[noreturn]] void Broken(const std::string& why) { throw std::runtime_error(why); }

// The user's server: logged in automatically at start-up.
void WriteUserServer() {
    const std::pair<const wchar_t*, std::wstring> values[] = {
        {L"TesseraServer", kServer},   {L"TesseraUserName", kUser},   {L"TesseraTrustedLogin", L"0"},
        {L"TesseraAutoConnect", L"1"}, {L"TesseraPassword", TSPasswordCipher::EncryptPassword(kPassword)}};
    for (const auto& value : values)
        RegSetKeyValueW(HKEY_CURRENT_USER, kSettings, value.first, REG_SZ, value.second.c_str(),
                        static_cast<DWORD>((value.second.size() + 1) * sizeof(wchar_t)));
}

// Held around the plug-in's start-up and around writes of the user's server list, which the
// workers of both slots share.
struct ServerListLock {
    CAPHandle mutex{CreateMutexW(nullptr, FALSE, L"VxBoundary.ServerList")};
    ServerListLock() { WaitForSingleObject(mutex.get(), INFINITE); }
    ~ServerListLock() { ReleaseMutex(mutex.get()); }
};

// ================================================================================================
// The worker: one procedure, both kinds of fault.

struct Worker;

// What one run hands from its preparation to the call and its cleanup.
struct RunState {
    Document* doc = nullptr;
    ASPathName path = nullptr, result = nullptr, *items = nullptr;
    ASText text = nullptr, outputs[2] = {};
    ASUns16 count = 0;
    ASBool answer = 0;
    std::unique_ptr<ServerListLock> lock;
};

using Step = std::function<void(Worker&, RunState&)>;
void ReleaseResult(Worker& w, RunState& s);

// A notification or ribbon item (entry 0), or an entry of the "Tessera" table, which the steps reach
// as w.Call<Proc>().
struct Procedure {
    int entry;
    std::string name;
    Step prepare, call, cleanup = ReleaseResult;
    std::string Title() const { return entry ? Format("entry %d %s", entry, name.c_str()) : name; }
};

struct Worker : vxhost::HostCalls {
    enum class Reached { No, Yes, Unprepared };

    Worker(const std::wstring& folder, const std::wstring& progressFile)
        : work(folder), root(folder + L"\\root"), store(folder + L"\\store"),
          progress(CreateFileW(progressFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~Worker() {
        if (host) host->Shutdown();
        host.reset();
        TesseraRevokeClassObjects();
    }

    // Unbuffered, so that the line is on disk before the run it announces can crash.
    void Emit(const std::string& line) {
        DWORD written = 0;
        std::string text = line + "\n";
        WriteFile(progress.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    void Fail(const std::string& what) { failures.push_back(what); }

    void Start() {
        current = this;
        if (!com || TesseraRegisterClassObjects() != S_OK) Broken("no DMS stand-in");
        CreateDirectoryW(root.c_str(), nullptr);
        CreateDirectoryW(store.c_str(), nullptr);
        SetEnvironmentVariableW(L"TESSERA_STORE", store.c_str());
        SetEnvironmentVariableW(L"DMSLINK_TEMP_ROOT", root.c_str());
        bool seeded = tessera::AddServer(store, kServer) == S_OK &&
                      tessera::AddDatabase(store, kServer, kDatabase) == S_OK &&
                      tessera::AddUser(store, kServer, kUser, kPassword, L"John Doe", false) == S_OK &&
                      VxWriteFile(work + L"\\Local.pdf", "%PDF-1.4 local\n");
        for (long number : {kCycleDoc, kOpenDoc, kSavedDoc, kChosenDoc}) {
            tessera::NewDocument doc;
            doc.server = kServer;
            doc.database = kDatabase;
            doc.contentFile = work + L"\\" + std::to_wstring(number) + L".pdf";
            doc.extension = L"pdf";
            doc.description = L"Document " + std::to_wstring(number);
            doc.number = number;
            seeded = seeded && VxWriteFile(doc.contentFile, "%PDF-1.4 document " + std::to_string(number) + "\n") &&
                     tessera::AddDocument(store, doc, nullptr) == S_OK;
        }
        if (!seeded) Broken("the DMS store could not be seeded");
        // The plug-in is the only one in its folder, so that the host's restart loads it alone.
        CreateDirectoryW((work + L"\\plugins").c_str(), nullptr);
        if (!CopyFileW((vxhost::ProgramFolder() + L"\\dmslink_faults.dll").c_str(),
                       (work + L"\\plugins\\dmslink_faults.dll").c_str(), FALSE))
            Broken("no dmslink_faults.dll beside the test");
        vxhost::HostOptions options;
        options.logPath = work + L"\\host.log";
        host = std::make_unique<vxhost::Host>(options);
        SetTimer(nullptr, 0, 50, Tick);
        LoadPlugin();
    }

    void LoadPlugin() {
        ServerListLock serverList;
        std::vector<vxhost::LoadResult> loaded = host->RestartPlugins(work + L"\\plugins");
        if (loaded.size() != 1 || !loaded[0].ok()) Broken("dmslink_faults.dll not loaded: " + host->DescribeLoad(loaded));
        host->RunIdle();
        table = host->TesseraTable();
        HMODULE module = loaded[0].extension->module;
        failAllocationAt = reinterpret_cast<void (*)(long)>(GetProcAddress(module, "VxTestFailAllocationAt"));
        allocationFired = reinterpret_cast<int (*)()>(GetProcAddress(module, "VxTestAllocationFaultFired"));
        allocationThread = reinterpret_cast<unsigned long (*)()>(GetProcAddress(module, "VxTestAllocationFaultThread"));
        auto allocations = reinterpret_cast<long (*)()>(GetProcAddress(module, "VxTestAllocations"));
        if (!table || !failAllocationAt || !allocationFired || !allocationThread || !allocations)
            Broken("no Tessera table or no allocation hooks");
        // The start-up's login answers on a worker of its own, a moment later.
        for (int i = 0; i < 200 && !Connected(); ++i) Sleep(50);
        if (!Connected()) Broken("the start-up did not log in to " + vxhost::ToUtf8(kServer));
        // A sweep over a fault that never fires would pass without testing anything: a long path taken
        // into the plug-in grows a std::wstring there, and turning a path into text makes a host text.
        ASPathName path = MakePath(root + L"\\a path longer than any inline string buffer.pdf");
        failAllocationAt(1000000);
        Entry<TesseraPathBoolProc>(kTesseraIsDocumentTracked)(path);
        failAllocationAt(0);
        host->FailMakingCall(1);
        Entry<TesseraPathBoolProc>(kTesseraIsDocumentTracked)(path);
        host->FailMakingCall(0);
        ReleasePath(path);
        if (allocations() == 0) Broken("the allocation hook counted nothing");
        if (!host->InjectedFaultFired()) Broken("the host's fault never fired");
    }

    // Runs one stage; whatever escapes it is a failure of the run.
    bool Guard(const char* stage, const std::function<void()>& body) {
        runStarted = GetTickCount();
        try {
            body();
            return true;
        } catch (CVxException* e) {
            Fail(Format("%s: host error 0x%08X escaped", stage, static_cast<unsigned>(e->errorCode)));
        } catch (const std::exception& e) {  // std::bad_alloc among them
            Fail(Format("%s: %s", stage, e.what()));
        } catch (...) {
            Fail(Format("%s: an unknown exception escaped", stage));
        }
        return false;
    }

    Reached RunOnce(const Procedure& procedure, int kind, long n) {
        failures.clear();
        entry = procedure.entry;
        RunState state;
        host->ClearJournal();
        std::vector<std::string> leaks = host->Objects().Leaks();
        std::multiset<std::string> alive(leaks.begin(), leaks.end());
        const size_t errorsBefore = host->Objects().Errors().size(), violationsBefore = host->ThreadViolations().size(),
                     logBefore = host->LogText().size();
        serverDialogStep = keptDialogStep = -1;
        auto arm = [&](long at) { kind == 0 ? host->FailMakingCall(at) : failAllocationAt(at); };

        bool prepared = !procedure.prepare || Guard("could not prepare", [&] { procedure.prepare(*this, state); });
        bool fired = false, called = false;
        DWORD faultThread = mainThread;
        if (prepared) {
            arm(n);
            called = Guard("escaped from the procedure", [&] { procedure.call(*this, state); });
            arm(0);
            fired = kind == 0 ? host->InjectedFaultFired() : allocationFired() != 0;
            if (fired && kind == 1) faultThread = allocationThread();
        }
        if (procedure.cleanup) Guard("harness cleanup", [&] { procedure.cleanup(*this, state); });

        std::vector<std::string> errors = host->Objects().Errors(), violations = host->ThreadViolations();
        for (size_t i = errorsBefore; i < errors.size(); ++i) Fail("host objects: " + errors[i]);
        for (size_t i = violationsBefore; i < violations.size(); ++i) Fail("off the main thread: " + violations[i]);
        // A fault on a worker thread cannot be logged there: the host's entries are the main thread's.
        if (fired && called && faultThread == mainThread &&
            host->LogText().find("Exception handled", logBefore) == std::string::npos)
            Fail("the fault was handled without an \"Exception handled\" block");
        bool clean = (!fired || Guard("afterwards, the normal cycle", [&] { Cycle(); })) && prepared;
        Guard("restore", [&] { Restore(); });
        for (const std::string& escaped : host->JournalMatching("escaped-")) Fail("the host caught " + escaped);
        for (const std::string& object : host->Objects().Leaks()) {
            auto before = alive.find(object);
            if (before == alive.end())
                Fail("left alive: " + object);
            else
                alive.erase(before);
        }
        // A run that broke the plug-in's state would break the runs after it too.
        if (!clean) Guard("restart", [&] { LoadPlugin(); });
        for (std::string failure : failures) {
            std::replace_if(failure.begin(), failure.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
            Emit("FAIL\t" + failure);
        }
        return !prepared ? Reached::Unprepared : fired ? Reached::Yes : Reached::No;
    }

    void Sweep(const Procedure& procedure, int firstKind, long firstN) {
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

    // Open from the DMS, edit, save, close: the edit must arrive as a new version.
    void Cycle() {
        long before = 0;
        for (const tessera::DocumentInfo& info : Documents())
            if (info.number == kCycleDoc) before = std::max(before, info.version);
        Document* doc = host->OpenDocument(CheckOut(kCycleDoc, before));
        if (!doc) Broken("the checked-out copy does not open");
        std::string edit = "cycle edit " + std::to_string(++cycles) + "\n";
        host->EditDocument(doc, edit);
        if (!host->SaveDocument(doc)) Broken("the copy does not save");
        host->CloseDocument(doc);
        host->RunIdle();
        for (const tessera::DocumentInfo& info : Documents()) {
            if (info.number != kCycleDoc || info.version != before + 1) continue;
            if (!info.lockedBy.empty()) Broken("the checked-in document stays locked");
            if (TempFolder::Read(info.contentPath).find(edit) == std::string::npos) Broken("the new version lacks the edit");
            return;
        }
        Broken("the saved edit is not a new version in the DMS");
    }

    // Back to no document, no tracked copy, no lock and a connected server; copies kept for a
    // check-in that a fault made fail are dropped, so that every run starts alike.
    void Restore() {
        host->CloseAllDocuments();
        host->RunIdle();
        Entry<TesseraVoidProc>(kTesseraRemoveUnusedDocuments)();
        host->SendClearTempFiles();
        host->RunIdle();
        tessera::ClearPresets(store);
        EnsureConnected();
        std::set<long> locked;
        for (const tessera::DocumentInfo& info : Documents())
            if (!info.lockedBy.empty()) locked.insert(info.number);
        for (long number : locked) tessera::UnlockDocument(store, kServer, kDatabase, number, nullptr);
        TempFolder::RemoveTree(root);
        CreateDirectoryW(root.c_str(), nullptr);
    }

    // A login that a fault made fail leaves the server logged out, one it made fail to load leaves
    // it out of the list; the user would reload the list and log in again.
    bool Connected() {
        ASText name = MakeText(kServer);
        ASBool connected = 0;
        ASBool listed = Entry<TesseraGetServerDetailsProc>(kTesseraGetServerDetails)(name, nullptr, nullptr, nullptr,
                                                                                     nullptr, &connected, nullptr);
        DestroyText(name);
        if (!listed) Entry<TesseraVoidProc>(kTesseraReloadServerList)();
        return connected != 0;
    }
    void EnsureConnected() {
        if (Connected() || Connected()) return;  // the second look follows a reload of the list
        ASText name = MakeText(kServer);
        Entry<TesseraServerNameProc>(kTesseraToggleServerConnection)(name);
        DestroyText(name);
    }

    // Answers the server dialog (OK with the server's details, then Cancel when it stays open) and
    // closes any dialog left open too long, as a user would.
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (current && !current->ticking) current->WatchDialogs();
    }
    static BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
        if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
    }
    void WatchDialogs() {
        ticking = true;
        std::vector<HWND> windows;
        EnumThreadWindows(mainThread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
        for (HWND window : windows) {
            if (window == host->MainWindow()) continue;
            wchar_t title[128] = L"";
            GetWindowTextW(window, title, 128);
            if (std::wstring(title) == L"Tessera Server configuration" && serverDialogStep >= 0 && serverDialogStep < 2) {
                if (serverDialogStep == 0) {
                    SetDlgItemTextW(window, IDC_SERVER, kServer);
                    SetDlgItemTextW(window, IDC_USERNAME, kUser);
                    SetDlgItemTextW(window, IDC_PASSWORD, kPassword);
                }
                SendMessageW(GetDlgItem(window, serverDialogStep++ == 0 ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
            } else if (GetDlgItem(window, IDC_KEPT_LIST) && keptDialogStep == 0) {
                // "Kept on this computer": Check in now, then Close, which waits for the check-in's end.
                keptDialogStep = 1;
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_KEPT_CHECKIN, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_KEPT_CHECKIN)));
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            } else if (GetTickCount() - runStarted > kDialogPatience) {
                Fail("a dialog stayed open: \"" + vxhost::ToUtf8(title) + "\" (closed by the harness)");
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                PostMessageW(window, WM_CLOSE, 0, 0);
                runStarted = GetTickCount();
            }
        }
        ticking = false;
    }

    // ---- what the steps use
    template <class Proc>
    Proc Entry(int index) {
        return VxEntry<Proc>(table, index);
    }
    template <class Proc>
    Proc Call() {
        return Entry<Proc>(entry);
    }
    std::vector<tessera::DocumentInfo> Documents() {
        std::vector<tessera::DocumentInfo> all;
        tessera::ListDocuments(store, &all);
        return all;
    }
    void PresetOpen(long number, long version = 1) {
        tessera::SetOpenPreset(store, {{kServer, kDatabase, number, version}});
    }
    void PresetImport() { tessera::SetImportPreset(store, kDatabase, L"Imported"); }
    ASBool OpenDialog(ASPathName** items, ASUns16* count) {
        return Entry<TesseraOpenDialogProc>(kTesseraOpenDialog)(host->MainWindow(), nullptr, items, count, 1);
    }
    // A copy checked out through entry 7 and not opened: a detached record.
    std::wstring CheckOut(long number, long version = 1) {
        PresetOpen(number, version);
        ASPathName* items = nullptr;
        ASUns16 count = 0;
        std::wstring path;
        if (OpenDialog(&items, &count) && count == 1) path = PathText(items[0]);
        FreeList(items, count);
        if (path.empty()) Broken(Format("no check-out of %ld", number));
        return path;
    }
    Document* Open(const std::wstring& path) {
        Document* doc = host->OpenDocument(path);
        if (!doc) Broken("cannot open " + vxhost::ToUtf8(path));
        host->SetActiveDocument(doc);
        return doc;
    }
    Document* OpenSaved(long number) {
        Document* doc = Open(CheckOut(number));
        host->EditDocument(doc, "saved edit\n");
        if (!host->SaveDocument(doc)) Broken("the tracked copy does not save");
        return doc;
    }
    // A tracked copy the host has open and the plug-in has let go of (retained, then removed): its
    // record file and lock stay, as after an earlier session.
    Document* OpenForgotten(long number) {
        Document* doc = Open(CheckOut(number));
        ASPathName path = MakePath(doc->Path());
        Entry<TesseraPathProc>(kTesseraRetainDocument)(path);
        Entry<TesseraPathProc>(kTesseraRemoveDocument)(path);
        ReleasePath(path);
        return doc;
    }

    static Worker* current;
    CAPComApartment com{CoInitialize(nullptr)};  // first in, last out
    std::wstring work, root, store;
    DWORD mainThread = GetCurrentThreadId();
    CAPHandle progress;
    std::unique_ptr<vxhost::Host> host;
    HFT table = nullptr;
    int entry = 0;
    void (*failAllocationAt)(long) = nullptr;
    int (*allocationFired)(void) = nullptr;
    unsigned long (*allocationThread)(void) = nullptr;
    std::vector<std::string> failures;
    int serverDialogStep = -1;  // -1: no server dialog expected
    int keptDialogStep = -1;    // -1: no "Kept on this computer" expected
    DWORD runStarted = 0;
    bool ticking = false;
    int cycles = 0;
};

Worker* Worker::current = nullptr;

// ================================================================================================
// The procedures. Each prepares what it needs with the fault disarmed, calls the one procedure
// armed, and frees what the call handed out.

using W = Worker;
using S = RunState;

void ReleaseResult(W& w, S& s) {
    if (s.answer) w.FreeList(s.items, s.count);
    for (ASPathName path : {s.result, s.path}) w.ReleasePath(path);
    for (ASText text : {s.text, s.outputs[0], s.outputs[1]}) w.DestroyText(text);
}

void Tracked(W& w, S& s) { s.doc = w.Open(w.CheckOut(kOpenDoc)); }
void TrackedPath(W& w, S& s) { s.path = w.MakePath(w.Open(w.CheckOut(kOpenDoc))->Path()); }
void SavedPath(W& w, S& s) { s.path = w.MakePath((s.doc = w.OpenSaved(kSavedDoc))->Path()); }
void Forgotten(W& w, S& s) { s.doc = w.OpenForgotten(kOpenDoc); }
void Chosen(W& w, S&) { w.PresetOpen(kChosenDoc); }
void LocalForImport(W& w, S& s) {
    s.path = w.MakePath((s.doc = w.Open(w.work + L"\\Local.pdf"))->Path());
    w.PresetImport();
}
void ServerName(W& w, S& s) { s.text = w.MakeText(kServer); }
void Reconnect(W& w, S& s) {
    ReleaseResult(w, s);
    w.EnsureConnected();
}
void Void(W& w, S&) { w.Call<TesseraVoidProc>()(); }
void OnPath(W& w, S& s) { w.Call<TesseraPathProc>()(s.path); }
void OnServer(W& w, S& s) { s.answer = w.Call<TesseraServerNameProc>()(s.text); }
void Flag(W& w, S& s) { s.answer = w.Call<TesseraBoolProc>()(); }
Step Ribbon(const std::string& beside) {
    return [prefix = "AVRibbon:Main:" + beside + ":Btn+"](W& w, S&) {
        for (vxhost::RibbonItem* item : w.host->GetRibbon().FindItemsTitled(L"Tessera"))
            if (item->name.rfind(prefix, 0) == 0) w.host->ClickRibbonItem(item->name);
    };
}

// A saved copy whose check-in the DMS refused as it closed: kept on the computer.
void KeptCopy(W& w, S&) {
    Document* doc = w.OpenSaved(kSavedDoc);
    tessera::AddRefusal(w.store, L"CheckIn", 1);
    w.host->CloseDocument(doc);
    w.host->RunIdle();
}
void KeptItem(W& w, S&) {
    w.keptDialogStep = 0;
    const ASUns32 kept = static_cast<ASUns32>(w.host->Atom("Kept"));
    for (const auto& category : w.host->GetRibbon().Categories())
        for (const auto& panel : category->panels)
            for (vxhost::RibbonItem* item : panel->items)
                if (item->added && item->clientData == kept) w.host->ClickRibbonItem(item->name);
}

// The long ones first, so that the two slots end together.
const std::vector<Procedure>& Procedures() {
    static const std::vector<Procedure> list = {
        {7, "OpenDialog (progress dialog)", Chosen, [](W& w, S& s) { s.answer = w.OpenDialog(&s.items, &s.count); }},
        {19, "FileOpenBtnExecuteProc", Chosen, Void},
        {0, "ribbon Tessera beside Open", Chosen, Ribbon("Open")},
        {0, "ribbon Tessera beside SaveAs", LocalForImport, Ribbon("SaveAs")},
        {0, "ribbon Kept on this computer (its window)", KeptCopy, KeptItem},
        {21, "FileSaveAsBtnExecuteProc", LocalForImport, Void},
        {16, "CheckinDocument", SavedPath, [](W& w, S& s) { s.answer = w.Call<TesseraCheckinProc>()(s.path, 1); }},
        {17, "SaveDocumentOnServer", [](W& w, S& s) { SavedPath(w, s); w.PresetImport(); },
         [](W& w, S& s) { s.answer = w.Call<TesseraSaveOnServerProc>()(s.path, 1, 1); }},
        {0, "notification 55 (closed)", [](W& w, S& s) { s.doc = w.OpenSaved(kSavedDoc); },
         [](W& w, S& s) { w.host->CloseDocument(s.doc); }},
        {25, "FileRenamed", [](W& w, S& s) { s.text = w.MakeText(w.OpenSaved(kSavedDoc)->Path()); },
         [](W& w, S& s) { w.Call<TesseraRenamedProc>()(s.text); }},
        {12, "SaveAsDialog", LocalForImport, [](W& w, S& s) { s.result = w.Call<TesseraPathToPathProc>()(s.path); }},
        {15, "DocumentWasSaved", LocalForImport, [](W& w, S& s) { w.Call<TesseraPDDocProc>()(s.doc->pdDoc()); }},
        {29, "EditServer (server dialog)", [](W& w, S& s) { ServerName(w, s); w.serverDialogStep = 0; }, OnServer,
         Reconnect},
        {0, "notification 66 (opened)", Forgotten,
         [](W& w, S& s) { w.host->SendDocNotification(kNotifyPDDocDidOpen, s.doc->pdDoc()); }},
        {0, "notification 1005 (view opened)", Forgotten,
         [](W& w, S& s) { w.host->SendViewNotification(kNotifyAVDocDidOpen, s.doc->avDoc()); }},
        {0, "notification 19 (saved)", [](W& w, S& s) { Tracked(w, s); w.host->EditDocument(s.doc, "unsent edit\n"); },
         [](W& w, S& s) { w.host->SendDocNotification(kNotifyPDDocDidSave, s.doc->pdDoc()); }},
        {0, "notification 1002 (clear temporary files)",
         [](W& w, S& s) {
             Tracked(w, s);
             CreateDirectoryW((w.root + L"\\VRL90").c_str(), nullptr);
             VxWriteFile(w.root + L"\\VRL90\\stale.pdf", "%PDF-1.4 stale\n");
         },
         [](W& w, S&) { w.host->SendClearTempFiles(); }},
        {0, "notification 38 (will save a copy)", Tracked,
         [](W& w, S& s) { w.host->SendWillSave(s.doc->pdDoc(), kSaveFlagCopy); },
         [](W& w, S& s) { w.host->SendWillSave(s.doc->pdDoc(), 0); }},
        {4, "GetSaveAsPath", Tracked, [](W& w, S& s) { s.result = w.Call<TesseraPathToPathProc>()(nullptr); }},
        {5, "RemoveUnusedDocuments", [](W& w, S&) { w.CheckOut(kOpenDoc); }, Void},
        {6, "RemoveDocument", [](W& w, S& s) { s.path = w.MakePath(w.CheckOut(kOpenDoc)); }, OnPath},
        {8, "RetainDocument", TrackedPath, OnPath},
        {9, "SkipDocumentSave", TrackedPath, OnPath,
         [](W& w, S& s) { w.Call<TesseraPathProc>()(nullptr); ReleaseResult(w, s); }},
        {10, "IsDocumentTracked", TrackedPath, [](W& w, S& s) { s.answer = w.Call<TesseraPathBoolProc>()(s.path); }},
        {13, "GetDocumentTitle", TrackedPath, [](W& w, S& s) { s.outputs[0] = w.Call<TesseraGetTitleProc>()(s.path); }},
        {14, "SetSkipClosePDDoc", Tracked, [](W& w, S& s) { w.Call<TesseraPDDocProc>()(s.doc->pdDoc()); },
         [](W& w, S&) { w.Call<TesseraPDDocProc>()(nullptr); }},
        {27, "GetServerName", nullptr,
         [](W& w, S& s) { s.answer = w.Call<TesseraGetServerNameProc>()(0, &s.outputs[0]); }},
        {28, "GetServerDetails", ServerName,
         [](W& w, S& s) {
             ASBool flags[4] = {};
             s.answer = w.Call<TesseraGetServerDetailsProc>()(s.text, &s.outputs[0], &s.outputs[1], &flags[0], &flags[1],
                                                              &flags[2], &flags[3]);
         }},
        {30, "DeleteServer", ServerName, OnServer, Reconnect},
        {31, "ToggleServerConnection (log out)", ServerName, OnServer, Reconnect},
        {31, "ToggleServerConnection (log in)", [](W& w, S& s) { ServerName(w, s); OnServer(w, s); }, OnServer, Reconnect},
        {33, "ReloadServerList", nullptr, Void},
        {34, "SaveServerList", [](W&, S& s) { s.lock = std::make_unique<ServerListLock>(); }, Void,
         [](W& w, S& s) {
             // The user's list must still hold the password it had.
             wchar_t stored[1024] = L"";
             DWORD bytes = sizeof stored - sizeof(wchar_t);
             RegGetValueW(HKEY_CURRENT_USER, kSettings, L"TesseraPassword", RRF_RT_REG_SZ, nullptr, stored, &bytes);
             if (TSPasswordCipher::DecryptPassword(stored) != kPassword) w.Fail("the saved server list lost the password");
             WriteUserServer();
             s.lock.reset();
         }},
        {1, "IsOpenEnabled", nullptr, Flag},
        {2, "IsSaveEnabled", nullptr, Flag},
        {18, "IsOpenAvailable", nullptr, Flag},
        {20, "IsSaveAvailable", nullptr, Flag},
        {22, "IsOpenDefault", nullptr, Flag},
        {23, "IsOpenAndSaveEnabled", nullptr, Flag},
        {24, "IsSaveDefault", nullptr, Flag},
        {32, "AlwaysTrue", nullptr, Flag},
        {3, "NoOp", nullptr, Void},
        {11, "SetDefaultsSuppressed", nullptr, [](W& w, S&) { w.Call<TesseraSetFlagProc>()(0); }},
        {26, "SetExplicitSaveOnly", nullptr, [](W& w, S&) { w.Call<TesseraSetFlagProc>()(0); }},
    };
    return list;
}

int RunWorker(size_t procedure, int kind, long n, const std::wstring& work, const std::wstring& progress) {
    Worker worker(work, progress);
    try {
        if (procedure >= Procedures().size()) Broken("no such procedure");
        worker.Start();
    } catch (const std::exception& e) {
        worker.Emit(std::string("FATAL\t") + e.what());
        return 2;
    }
    worker.Sweep(Procedures()[procedure], kind, n);
    return 0;
}

// ================================================================================================
// The driver.

struct Outcome {
    long pairs[2] = {};
    DWORD milliseconds = 0;
    std::vector<std::string> failures;
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

    // Sweeps one procedure in worker processes; a crash or a hang is charged to the run it came in,
    // and a new worker goes on at the next n.
    Outcome Sweep(size_t procedure) {
        Outcome outcome;
        const DWORD started = GetTickCount();
        int kind = 0;
        long n = 1;
        for (int crashes = 0;; ++crashes) {
            wchar_t exe[MAX_PATH];
            GetModuleFileNameW(nullptr, exe, MAX_PATH);
            std::wstring work = temp_.File(L"w" + std::to_wstring(++workers_)), progress = work + L".progress";
            std::wstring command = L"\"" + std::wstring(exe) + L"\" --worker " + std::to_wstring(procedure) + L" " +
                                   std::to_wstring(kind) + L" " + std::to_wstring(n) + L" \"" + work + L"\" \"" +
                                   progress + L"\"";
            CreateDirectoryW(work.c_str(), nullptr);
            STARTUPINFOW startup{sizeof startup};
            PROCESS_INFORMATION info{};
            if (!CreateProcessW(exe, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
                outcome.failures.push_back(Format("cannot start a worker: error %lu", GetLastError()));
                break;
            }
            CAPHandle process(info.hProcess), thread(info.hThread);
            DWORD progressed = GetTickCount(), size = 0, exitCode = 0;
            bool hung = false;
            while (WaitForSingleObject(process.get(), 1000) == WAIT_TIMEOUT) {
                WIN32_FILE_ATTRIBUTE_DATA written{};
                GetFileAttributesExW(progress.c_str(), GetFileExInfoStandard, &written);
                if (written.nFileSizeLow != size) {
                    size = written.nFileSizeLow;
                    progressed = GetTickCount();
                }
                hung = GetTickCount() - progressed >= kHangLimit;
                if (hung) TerminateProcess(process.get(), 0xDEAD);
            }
            GetExitCodeProcess(process.get(), &exitCode);

            std::istringstream lines(TempFolder::Read(progress));
            std::string line;
            bool finished = false;
            int lastKind = -1;
            long lastN = 0;
            while (std::getline(lines, line)) {
                int k = 0, fired = 0;
                long at = 0;
                if (sscanf(line.c_str(), "RUN\t%d\t%ld", &k, &at) == 2) {
                    lastKind = k;
                    lastN = at;
                } else if (sscanf(line.c_str(), "RAN\t%d\t%ld\t%d", &k, &at, &fired) == 3) {
                    outcome.pairs[k] += fired;
                    lastKind = -1;
                } else if (line.rfind("FAIL\t", 0) == 0 && lastKind >= 0) {
                    outcome.failures.push_back(Format("%s, n=%ld: %s", kKindNames[lastKind], lastN, line.c_str() + 5));
                } else if (line.rfind("FATAL\t", 0) == 0) {
                    outcome.failures.push_back("worker did not start: " + line.substr(6));
                    finished = true;
                } else {
                    finished = finished || line == "END";
                }
            }
            if (finished) break;
            if (lastKind < 0) {
                outcome.failures.push_back(Format("worker ended (exit code 0x%08lX) outside a run", exitCode));
                break;
            }
            outcome.pairs[lastKind]++;
            outcome.failures.push_back(Format("%s, n=%ld: %s", kKindNames[lastKind], lastN,
                                              hung ? "hung (no progress for 90 s; the worker was ended)"
                                                   : Format("crashed (exit code 0x%08lX)", exitCode).c_str()));
            if (crashes == 40) {
                outcome.failures.push_back("gave up after 40 crashes");
                break;
            }
            kind = lastKind;
            n = lastN + 1;
        }
        outcome.milliseconds = GetTickCount() - started;
        return outcome;
    }

    TempFolder temp_;
    std::atomic<int> workers_{0};
};

TEST_F(Boundary, faults) {
    const std::vector<Procedure>& procedures = Procedures();
    // BOUNDARY_ONLY=<text> sweeps only the procedures whose name holds the text.
    char only[128] = "";
    GetEnvironmentVariableA("BOUNDARY_ONLY", only, sizeof only);
    std::vector<size_t> queue;
    for (size_t i = 0; i < procedures.size(); ++i)
        if (procedures[i].Title().find(only) != std::string::npos) queue.push_back(i);
    std::vector<Outcome> outcomes(procedures.size());
    std::atomic<size_t> next{0};
    std::mutex output;
    const DWORD started = GetTickCount();
    auto slot = [&] {
        for (size_t at; (at = next++) < queue.size();) {
            const Outcome& outcome = outcomes[queue[at]] = Sweep(queue[at]);
            std::lock_guard<std::mutex> hold(output);
            printf("%-48s %5ld host-error runs %5ld allocation runs %7.1f s %s\n", procedures[queue[at]].Title().c_str(),
                   outcome.pairs[0], outcome.pairs[1], outcome.milliseconds / 1000.0,
                   outcome.failures.empty() ? "ok" : Format("%zu FAILED", outcome.failures.size()).c_str());
            fflush(stdout);
        }
    };
    std::thread second(slot);
    slot();
    second.join();

    long pairs[2] = {};
    size_t failed = 0;
    for (size_t i = 0; i < procedures.size(); ++i) {
        pairs[0] += outcomes[i].pairs[0];
        pairs[1] += outcomes[i].pairs[1];
        for (const std::string& failure : outcomes[i].failures) {
            printf("FAILED %s, %s\n", procedures[i].Title().c_str(), failure.c_str());
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
    if (GetEnvironmentVariableW(L"BOUNDARY_SUMMARY", summaryFile, MAX_PATH))
        VxWriteFile(summaryFile, "Boundary.faults: " + summary);
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
