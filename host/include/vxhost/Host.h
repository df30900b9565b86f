// Host.h - the host stand-in: the tables plug-ins call, the plug-in loader, documents, ribbon, idle
// procedures and notifications, with a journal of every call that tests assert on.
//
// One Host exists at a time; the C entries of its tables reach it through a process-wide pointer.
// Everything runs on the thread that created it. Every table entry called from another thread is
// recorded in ThreadViolations() (and still served, under the host's lock where it keeps state): a
// plug-in's worker threads may call none.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "VarnelSDK.h"
#include "vxhost/Ledger.h"
#include "vxhost/Ribbon.h"

namespace vxhost {

// Codes of the errors the host raises.
enum : ASInt32 {
    kErrGeneral = 0x40000001,
    kErrFileNotFound = 0x40000002,
    kErrBadParameter = 0x40000003,
};

enum class FileDialogKind { Open, SaveAs };
// Answers the host's own file dialog: true with the chosen path, false when cancelled.
using FileDialogHandler = std::function<bool(FileDialogKind kind, const std::wstring& current, std::wstring* chosen)>;
// Sees every alert once it is recorded; in place of the message box of interactive mode.
using AlertHandler = std::function<void(const std::wstring& text)>;
// Sees the main window's messages first; true when it handled one (*result is then returned).
using WindowHook = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)>;

struct HostOptions {
    std::string appName = "Varnel Pro";
    std::wstring logPath;          // empty: %TEMP%\vphost.log
    bool interactive = false;      // alerts show a message box (unless an alert handler is set)
    bool createMainWindow = true;
};

// A loaded plug-in (or, from CreateExtension, a bare identity for tests). Its address is the
// ExtensionID the plug-in receives.
struct Extension {
    enum class Stage { Opened, Admitted, Started, Unloaded };

    std::wstring path;             // full path of the DLL
    std::wstring fileName;         // "dmslink.dll"
    HMODULE module = nullptr;
    VarnelPlugInMainProc plugInMain = nullptr;
    PISetupSDKProc setupSDK = nullptr;
    VxHandshake handshake{};
    VxSDKData sdkData{};
    ASUns32 handshakeVersion = 0;
    ASAtom nameAtom = 0;
    std::string name;              // from handshake field 6, e.g. "VARNELPRO:Tessera"
    Stage stage = Stage::Opened;

    ExtensionID id() { return this; }
    // The plug-in name, or the file name before field 6 answered.
    std::string DisplayName() const;
};

enum class LoadFailure {
    None,
    LoadLibrary,        // LoadLibraryW failed
    NoPlugInMain,       // no export "VarnelPlugInMain"
    NoSetupSDK,         // no export "PISetupSDK"
    PlugInMainFailed,   // VarnelPlugInMain answered false or threw
    SetupSDKFailed,     // PISetupSDK answered false or threw
    LoadCheckRefused,   // handshake field 1 answered false
};
const char* LoadFailureText(LoadFailure failure);

struct LoadResult {
    std::wstring path;
    LoadFailure failure = LoadFailure::None;
    DWORD win32Error = 0;
    Extension* extension = nullptr;  // null unless admitted
    bool ok() const { return failure == LoadFailure::None; }
    std::string Message() const;
};

struct LoadOptions {
    ASUns32 handshakeVersion = kVxHandshakeV2;  // or kVxHandshakeV1 with the legacy array
};

struct NotificationRegistration {
    ASInt32 number;
    ExtensionID owner;
    void* proc;
    void* clientData;
};

struct IdleRegistration {
    AVIdleProc proc;
    void* clientData;
    ASUns32 period;
    Extension* owner;    // plug-in whose module holds the procedure, or null
    bool active;
};

// Host-side state of an open document. PDDoc is the Document's address; AVDoc and ASFile are the
// addresses of its view and file members, so each converts back without a lookup table.
class Document {
public:
    struct View { Document* doc; };
    struct File { Document* doc; HANDLE handle; };

    PDDoc pdDoc() { return this; }
    AVDoc avDoc() { return &view_; }
    ASFile asFile() { return &file_; }
    const std::wstring& Path() const { return path_; }
    const std::string& Bytes() const { return bytes_; }
    bool FileHeld() const { return file_.handle != INVALID_HANDLE_VALUE; }

private:
    friend class Host;
    Document() = default;
    std::wstring path_;
    std::string bytes_;
    View view_{this};
    File file_{this, INVALID_HANDLE_VALUE};
};

class Host {
public:
    explicit Host(HostOptions options = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The one live host, or null.
    static Host* Current();
    const HostOptions& Options() const { return options_; }

    // ---- atoms
    ASAtom Atom(const std::string& name);
    // Name of an atom, or "" for one never made.
    std::string AtomName(ASAtom atom) const;

    // ---- tables
    HFT CoreTable() { return core_.data(); }
    // A host table by name ("AS", "AppView", ...), null for other names. Not journalled.
    HFT HostTable(const std::string& name);
    // The 26-slot array of handshake 0x10000.
    HFT* LegacyArray() { return legacy_; }
    // Core entry 10 as a plug-in calls it (journalled; calls a plug-in server's provider).
    HFT GetTable(const std::string& name, ASUns32* version = nullptr);

    // ---- journal: ordered record of the calls plug-ins make and the host's own flows
    // Entries: "atom:<name>", "hft:<name>", "provider:<name>", "server-new:<name>",
    // "server-destroy:<name>", "table-new:<server> <n>", "table-destroy:<server>", "raise:<code> <where>",
    // "app-name", "query:<n>", "alert:<text>", "notify-register:<n> <owner>", "notify:<n>" (38 adds
    // " flags <f>"), "idle-register:<owner> <cd> <period>", "idle-unregister:<owner> <cd>",
    // "ribbon-remove-panel:<cat> <panel>", "ribbon-remove-button:<cat> <panel> <button>",
    // "ribbon-add:<at> <title>", "ribbon-set-proc:<item> <cd>", "ribbon-absent:<names>",
    // "ribbon-before-command", "ribbon-click:<item>", "icon-load:<id>", "icon-release", "strip-take:<id>",
    // "strip-return", "remove:<path>", "path-refused:type <atom>", "doc-open:<path>", "doc-save:<path>",
    // "doc-save-as:<path>", "doc-save-copy:<path>", "doc-close:<path>", "command:Open", "command:SaveAs",
    // "doc-rename:<old> -> <new>", the flows' "open:..." and "save-as:..." (see RunOpenCommand),
    // "plugin-open|main|setup|loadcheck|name:<file>", "plugin-publish|init|fifth|unload|free:<name>".
    const std::vector<std::string>& Journal() const { return journal_; }
    std::vector<std::string> JournalMatching(const std::string& prefix) const;
    size_t JournalCount(const std::string& entry) const;
    void ClearJournal();
    void Record(const std::string& entry);

    // ---- log (core 18)
    std::string LogText() const;
    const std::wstring& LogPath() const { return logPath_; }

    // ---- accounting
    ObjectLedger& Objects() { return ledger_; }
    std::vector<std::string> ThreadViolations() const;
    void ClearThreadViolations();

    // ---- plug-ins
    // Loads a DLL and resolves both exports without calling anything (for tests that call the
    // raw exports themselves); null with *failure set on error.
    Extension* OpenPlugin(const std::wstring& path, LoadResult* failure = nullptr);
    // The per-plug-in steps: open, VarnelPlugInMain, PISetupSDK, field 1, field 6.
    LoadResult AdmitPlugin(const std::wstring& path, const LoadOptions& options = {});
    // Fields 4, then 2, then 5 of every admitted plug-in not yet started.
    void StartPlugins();
    // Admits every path, then starts them all.
    std::vector<LoadResult> LoadPlugins(const std::vector<std::wstring>& paths, const LoadOptions& options = {});
    // Every *.dll of the folder, in name order.
    std::vector<LoadResult> LoadPluginFolder(const std::wstring& folder, const LoadOptions& options = {});
    // Field 3 of every started plug-in, then FreeLibrary of each.
    void UnloadPlugins();
    // A bare extension identity with no module (tests registering from their own code).
    Extension* CreateExtension(const std::string& name);
    // The SDK data record the loader passes to PISetupSDK for that handshake version.
    VxSDKData MakeSDKData(Extension* extension, ASUns32 handshakeVersion);
    std::vector<Extension*> Plugins() const;
    Extension* FindExtension(ExtensionID id) const;
    Extension* FindPlugin(const std::string& name) const;
    // Plug-in whose module contains that code address.
    Extension* ExtensionOfAddress(const void* address) const;

    // ---- application view
    HWND MainWindow() const { return mainWindow_; }
    void SetModifiers(ASUns32 modifiers) { modifiers_ = modifiers; }
    ASUns32 Modifiers() const { return modifiers_; }
    const std::vector<std::wstring>& Alerts() const { return alerts_; }
    void SetAlertHandler(AlertHandler handler) { alertHandler_ = std::move(handler); }
    // An alert as a person sees it: a message box owned by the main window, captioned with the
    // application's name, with an OK button.
    void ShowAlertBox(const std::wstring& text);

    // ---- idle procedures
    // Runs every registered procedure once; returns how many ran.
    size_t RunIdle();
    std::vector<IdleRegistration> IdleProcs() const;

    // ---- notifications
    const std::vector<NotificationRegistration>& Notifications() const { return notifications_; }
    void SendDocNotification(ASInt32 number, PDDoc doc);    // 66, 19, 55
    void SendViewNotification(ASInt32 number, AVDoc view);  // 1005
    void SendWillSave(PDDoc doc, ASUns32 flags);            // 38
    void SendClearTempFiles();                              // 1002

    // ---- documents
    // Opens a file as AppView 497 does (66, then 1005); null when the file cannot be opened. A file
    // that is already open answers its document again, without notifications.
    Document* OpenDocument(const std::wstring& path);
    void EditDocument(Document* doc, const std::string& appended);
    // 38 (flags 0), write the file, 19.
    bool SaveDocument(Document* doc);
    // 38 (flags 0), write to the new path, bind the document to it, 19.
    bool SaveDocumentAs(Document* doc, const std::wstring& newPath);
    // 38 (flags 2), write a copy; the document stays bound to its file; 19.
    bool SaveDocumentCopy(Document* doc, const std::wstring& copyPath);
    // Releases the file, sends 55, forgets the document.
    void CloseDocument(Document* doc);
    void CloseAllDocuments();
    // Renames the document's file: releases it, tells a "Tessera" table (entry 25, the old path's
    // display text), moves the file and binds the document to the new name.
    bool RenameDocumentFile(Document* doc, const std::wstring& newPath);
    std::vector<Document*> Documents() const;
    // The document made active last, else the one opened last; null when none is open.
    Document* ActiveDocument() const;
    void SetActiveDocument(Document* doc);
    Document* FindDocument(PDDoc doc) const;
    Document* FindDocumentByView(AVDoc view) const;
    Document* FindDocumentByFile(ASFile file) const;

    // ---- commands of the host's own ribbon items and main window
    // The host's Open and Save As commands ("command:Open" / "command:SaveAs"). A handler a test
    // installed replaces the flow. Open: when a "Tessera" table's entry 1 answers true, entry 7
    // (main window, no filter, keep checked out) and every returned path opened, released, the
    // array freed; else the host's file dialog. Save As, for the active document: when entry 2
    // answers true, entry 12 with the document's path (null cancels), then 38, write, rebind, 19;
    // else the host's file dialog. Journal: "open:tessera", "open:tessera-none", "open:dialog",
    // "open:cancelled", "save-as:tessera", "save-as:cancelled", "save-as:dialog", "save-as:no-document".
    // `keepCheckedOut` false is how another plug-in opens through entry 7: copies without record files.
    void RunOpenCommand(bool keepCheckedOut = true);
    void RunSaveAsCommand();
    // The "Tessera" table a plug-in publishes, or null (asked afresh on every call).
    HFT TesseraTable();
    void SetFileDialogHandler(FileDialogHandler handler) { fileDialog_ = std::move(handler); }
    // The host's own file dialog: the installed handler, the system dialog when interactive, else
    // cancelled. Journals "file-dialog:open|save-as <path>" or "... cancelled".
    bool AskForFile(FileDialogKind kind, const std::wstring& current, std::wstring* chosen);
    void SetWindowHook(WindowHook hook) { windowHook_ = std::move(hook); }
    bool RunWindowHook(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    void SetOpenCommandHandler(std::function<void()> handler) { openHandler_ = std::move(handler); }
    void SetSaveAsCommandHandler(std::function<void()> handler) { saveAsHandler_ = std::move(handler); }

    // ---- ribbon
    Ribbon& GetRibbon() { return ribbon_; }
    // Runs the item's procedure with its client data (or the host's own command); false when
    // there is no such item.
    bool ClickRibbonItem(const std::string& name);

    // ---- teardown and reporting
    // Closes documents and unloads plug-ins; idempotent.
    void Shutdown();
    // As an application restart would: closes the documents, unloads the plug-ins, puts the ribbon
    // back to its default layout and loads the folder's plug-ins again.
    std::vector<LoadResult> RestartPlugins(const std::wstring& folder);
    std::string DescribeLoad(const std::vector<LoadResult>& results) const;
    std::string DescribeNotifications() const;
    std::string DescribeIdleProcs() const;
    std::string DescribeAlerts() const;

    // ---- injected faults
    // Arms a host exception at the n-th call a plug-in makes to a table entry that makes or fetches
    // something (0 disarms): that call raises kErrGeneral as a host error does, journalled
    // "raise:<code> injected <entry>", and the fault is spent. Release, free, unregister, log and
    // raise entries never count. Each arming starts the count afresh; disarming keeps it.
    void FailMakingCall(long n);
    long MakingCalls() const { return makingCalls_.load(); }
    bool InjectedFaultFired() const { return faultFired_.load(); }
    // One making call of `entry`; raises when it is the armed one.
    void CountMakingCall(const char* entry);

    // ---- used by the table entries
    bool OnMainThread() const;
    void CheckThread(const char* entry);
    void SetLastError(ASInt32 code);  // per thread
    ASInt32 LastError() const;
    [[noreturn]] void Raise(ASInt32 code, const char* what);
    void AppendLog(const char* text);
    void AddAlert(const std::wstring& text);
    void RegisterIdle(AVIdleProc proc, void* clientData, ASUns32 period);
    void UnregisterIdle(AVIdleProc proc, void* clientData);
    void RegisterNotification(ASInt32 number, ExtensionID owner, void* proc, void* clientData);
    Document* OpenDocumentOrRaise(const std::wstring& path);
    ASFileSys DefaultFileSys() { return &fileSys_; }
    bool IsFileSys(ASFileSys fs) const { return fs == nullptr || fs == &fileSys_; }
    HFTServer FindServer(const std::string& name) const;
    void ForgetServer(HFTServer server);
    void AddServer(HFTServer server, const std::string& name);
    // Runs a call into a plug-in; an exception that escapes it is journalled, never propagated.
    template <class F>
    void Guarded(const char* what, F&& call);

private:
    void BuildTables();
    void InstallBuiltinCommands();
    ASPathName NewPathObject(const std::wstring& path);
    std::wstring PathObjectText(ASPathName path);
    void ReleasePathObject(ASPathName path);
    void CreateMainWindow();
    void DestroyMainWindow();
    bool WriteFile(const std::wstring& path, const std::string& bytes, std::string* error);
    bool BindFile(Document* doc, const std::wstring& path);
    void ReleaseFile(Document* doc);
    void CallPluginBool(Extension* ext, VxBoolProc proc, const char* field);
    void FreeExtension(Extension* ext);
    HostOptions options_;
    DWORD mainThread_;
    std::wstring logPath_;

    mutable std::mutex stateMutex_;  // atoms, journal, log, violations, servers
    std::map<std::string, ASAtom> atoms_;
    std::vector<std::string> atomNames_;
    std::vector<std::string> journal_;
    std::string log_;
    std::vector<std::string> violations_;
    std::vector<std::pair<HFTServer, std::string>> servers_;
    std::vector<CVxException*> raised_;

    ObjectLedger ledger_;

    std::vector<void*> core_;
    std::map<std::string, std::vector<void*>> tables_;
    HFT legacy_[kVxLegacySlots] = {};
    int fileSys_ = 0;

    std::vector<std::unique_ptr<Extension>> extensions_;
    std::vector<NotificationRegistration> notifications_;
    std::vector<IdleRegistration> idle_;
    int idleDepth_ = 0;
    std::vector<std::unique_ptr<Document>> documents_;
    std::vector<std::wstring> alerts_;
    Ribbon ribbon_;
    HWND mainWindow_ = nullptr;
    ASUns32 modifiers_ = 0;
    bool shutDown_ = false;
    std::function<void()> openHandler_;
    std::function<void()> saveAsHandler_;
    FileDialogHandler fileDialog_;
    AlertHandler alertHandler_;
    WindowHook windowHook_;
    Document* active_ = nullptr;
    std::atomic<bool> counting_{false};
    std::atomic<long> faultAt_{0};
    std::atomic<long> makingCalls_{0};
    std::atomic<bool> faultFired_{false};
};

// Conversions used by the host and its tools.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace vxhost
