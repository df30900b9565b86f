// The module's application object and its attachment to the module's life.
#include <windows.h>

#include "VxApp.h"
#include "VxGuard.h"

class CVarnelPluginApp : public CWinApp {
public:
    CVarnelPluginApp() noexcept : CWinApp(nullptr) {}
    BOOL InitInstance() override {
        CWinApp::InitInstance();
        return TRUE;
    }
};

CVarnelPluginApp theApp;

// Nothing heavy here (loader lock): the application object only initialises itself; all host and
// registry work waits for the exported entries. Nor may a failure reach the host's log from here: it
// is kept for the first procedure the host calls.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    CWinApp* app = VxGetApp();
    if (!app) return TRUE;
    try {
        if (reason == DLL_PROCESS_ATTACH) return app->InitInstance();
        if (reason == DLL_PROCESS_DETACH) app->ExitInstance();
    } catch (...) {
        VxKeepWorkerFailure(VX_SITE("VxPluginApp", "DllMain"));
        return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
    }
    return TRUE;
}
