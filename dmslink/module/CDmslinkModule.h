// CDmslinkModule.h - everything dmslink holds from initialisation to unload, in one object: the
// preferences, the server list, the DMS connection, the document registry, the lifecycle that joins
// them, the save origin and the language module. The host boundary creates it at initialisation,
// reaches it through one accessor and destroys it at unload; tests construct their own.
//
// It also keeps the plug-in to one DMS operation at a time. An operation's dialogs and alerts run
// message loops, through which the host may call the plug-in again; the boundary (Boundary.h) lets
// no second operation start from there, and keeps work that must not be lost (a save, a close) for
// the moment the running one has ended.
// Main thread only.
#pragma once

#include <windows.h>

#include <TesseraDMS.h>

#include <deque>
#include <functional>
#include <utility>

#include "Utilities/CAPHandles.h"
#include "VarnelSDK.h"
#include "VxGuard.h"
#include "dialogs/CProgressDlg.h"
#include "dms/TSManager.h"
#include "dms/TSServerList.h"
#include "documents/CDocumentManager.h"
#include "module/CDocumentLifecycle.h"
#include "module/TSPreferences.h"

// Set by the save-origin handler for a save of a copy; TS_PDDocDidSave ignores the save of exactly
// that document while the flag is set.
struct SaveOrigin {
    PDDoc document = nullptr;
    bool flag = false;
};

class CDmslinkModule {
public:
    // Initialises COM on this thread and creates the DMS object (TSManager), whose calls to the server
    // run behind the progress dialog. `languageModule` is owned from here on (null for none);
    // dmsClass is only ever something else in tests.
    CDmslinkModule(HWND mainWindow, HMODULE languageModule = nullptr, REFCLSID dmsClass = CLSID_TesseraDMS);
    // In this order: TSManager, the registry (whose deletions still waiting are carried out), the
    // server list, then the language module.
    ~CDmslinkModule();
    CDmslinkModule(const CDmslinkModule&) = delete;
    CDmslinkModule& operator=(const CDmslinkModule&) = delete;

    TSPreferences& Preferences() { return preferences_; }
    TSServerList& Servers() { return servers_; }
    TSManager& Manager() { return manager_; }
    CDocumentManager& Documents() { return documents_; }
    CDocumentLifecycle& Lifecycle() { return lifecycle_; }
    SaveOrigin& Origin() { return saveOrigin_; }
    HMODULE LanguageModule() const { return language_.get(); }

    // ---- one DMS operation at a time
    // Runs `operation` as the one operation, then the work queued meanwhile, in order of arrival, and
    // answers the operation's result. While another runs: nothing done, the fallback.
    template <class Result, class Operation>
    Result RunOperation(const Result& fallback, Operation&& operation) {
        if (operationRunning_) return fallback;
        OperationScope scope(*this);
        return static_cast<Result>(operation());
    }
    template <class Operation>
    void RunOperation(Operation&& operation) {
        if (operationRunning_) return;
        OperationScope scope(*this);
        operation();
    }
    // Work that must not be lost: run now as the operation, or, while one runs, queued behind it.
    // Failures are logged under `site`.
    using Work = std::function<void(CDmslinkModule&)>;
    template <class Body>
    void RunOrQueue(const VxSite& site, Body&& work) {
        if (operationRunning_)
            queued_.push_back(Queued{site, Work(std::forward<Body>(work))});
        else
            RunOperation([&] { work(*this); });
    }

private:
    struct Queued {
        VxSite site;
        Work work;
    };
    // Marks the operation for its lifetime and, as it ends (also by an exception), carries out what
    // was queued meanwhile, each under its own guard and still as the operation.
    class OperationScope {
    public:
        explicit OperationScope(CDmslinkModule& module) : module_(module) { module_.operationRunning_ = true; }
        ~OperationScope() { module_.EndOperation(); }
        OperationScope(const OperationScope&) = delete;
        OperationScope& operator=(const OperationScope&) = delete;

    private:
        CDmslinkModule& module_;
    };
    void EndOperation() noexcept;

    struct LanguageTraits {
        using Handle = HMODULE;
        static Handle None() noexcept { return nullptr; }
        static bool Valid(Handle h) { return h != nullptr; }
        static void Free(Handle h);
    };

    // Members go in reverse order: the language module last, the DMS connection first.
    CAPOwned<LanguageTraits> language_;
    TSPreferences preferences_;
    TSServerList servers_;
    CDocumentManager documents_;
    TSManager manager_;
    CProgressWaiter waiter_;
    CDocumentLifecycle lifecycle_;
    SaveOrigin saveOrigin_;
    bool operationRunning_ = false;
    std::deque<Queued> queued_;
};
