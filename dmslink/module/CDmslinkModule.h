// CDmslinkModule.h - everything dmslink holds from initialisation to unload, in one object: the
// preferences, the server list, the DMS connection, the document registry, the lifecycle that joins
// them, the save origin and the language module. The host boundary creates it at initialisation,
// reaches it through one accessor and destroys it at unload; tests construct their own.
// Main thread only.
#pragma once

#include <windows.h>

#include <TesseraDMS.h>

#include "Utilities/CAPHandles.h"
#include "VarnelSDK.h"
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

private:
    struct LanguageTraits {
        using Handle = HMODULE;
        static Handle None() { return nullptr; }
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
};
