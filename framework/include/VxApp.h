// VxApp.h - the least application framework the modules need: an application object per module,
// module state that makes the module's resource module current while the host calls in, and
// string-table loading and formatting from that resource module.
#pragma once

#include <windows.h>
#include <string>

// One per module (static library code is compiled into each module, so each has its own).
struct CVxModuleState {
    HINSTANCE instance;  // the module itself
    HINSTANCE resource;  // where dialogs and strings come from: the module, or its language module
};

CVxModuleState* VxModuleState();         // this module's state
CVxModuleState* VxCurrentModuleState();  // the state current on this thread (this module's when none)

// Makes this module's state current for the lifetime of the object (every host-called procedure
// starts with one), restoring the previous state afterwards.
class CVxManageState {
public:
    CVxManageState();
    ~CVxManageState();
    CVxManageState(const CVxManageState&) = delete;
    CVxManageState& operator=(const CVxManageState&) = delete;

private:
    CVxModuleState* previous_;
};
#define VX_MANAGE_STATE() CVxManageState vxManagedState_

HINSTANCE VxResourceHandle();               // the current state's resource module
void VxSetResourceHandle(HINSTANCE module);  // a language module, or the module itself again

// String table of the current resource module; an empty text when the id is missing.
std::wstring VxLoadString(UINT id);
// The string-table entry used as a printf-style format.
std::wstring VxFormatString(UINT id, ...);
std::wstring VxFormatV(const wchar_t* format, va_list args);
std::wstring VxFormat(const wchar_t* format, ...);
std::string VxFormatA(const char* format, ...);

// Wide to the thread's ANSI code page, and back.
std::string VxToAnsi(const wchar_t* text);
std::wstring VxFromAnsi(const char* text, int length = -1);

// The framework's application class. The module's one global instance registers itself at static
// construction; InitInstance runs when the module is attached and ExitInstance when it is detached.
class CWinApp {
public:
    explicit CWinApp(const wchar_t* appName = nullptr) noexcept;
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    const wchar_t* m_pszAppName;
};

CWinApp* VxGetApp();
