#include "module/CDmslinkModule.h"

#include "Utilities/CCryptKey.h"
#include "VxApp.h"
#include "VxGuard.h"

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

void CDmslinkModule::EndOperation() noexcept {
    // Whatever the queued work's own dialogs let in queues behind it, and runs in this loop too.
    while (!queued_.empty()) {
        Queued next = std::move(queued_.front());
        queued_.pop_front();
        VX_TRY { next.work(*this); }
        VX_CATCH(next.site.file, next.site.function)
    }
    operationRunning_ = false;
}

CDmslinkModule::~CDmslinkModule() {
    // Keys share one provider per process; the next start acquires anew.
    ReleaseSharedCryptProviders();
}
