// The module's application object and its attachment to the module's life.
#include <windows.h>

#include "VxApp.h"

class CVarnelPluginApp : public CWinApp {
public:
    CVarnelPluginApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override {
        CWinApp::InitInstance();
        return TRUE;
    }
};

CVarnelPluginApp theApp;

// Nothing heavy here (loader lock): the application object only initialises itself; all host and
// registry work waits for the exported entries.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    CWinApp* app = VxGetApp();
    if (!app) return TRUE;
    if (reason == DLL_PROCESS_ATTACH) return app->InitInstance();
    if (reason == DLL_PROCESS_DETACH) app->ExitInstance();
    return TRUE;
}
