#include "module/CDmslinkModule.h"

#include "Utilities/CCryptKey.h"
#include "VxApp.h"

void CDmslinkModule::LanguageTraits::Free(HMODULE module) {
    // The module's own resources again before the language module goes.
    if (VxResourceHandle() == module) VxSetResourceHandle(VxModuleState()->instance);
    FreeLibrary(module);
}

CDmslinkModule::CDmslinkModule(HWND mainWindow, HMODULE languageModule, REFCLSID dmsClass)
    : language_(languageModule),
      manager_(mainWindow, servers_, dmsClass),
      waiter_(manager_),
      lifecycle_(manager_, documents_) {
    manager_.SetWaiter(&waiter_);
}

CDmslinkModule::~CDmslinkModule() {
    // Keys share one provider per process; the next start acquires anew.
    ReleaseSharedCryptProviders();
}
