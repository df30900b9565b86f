#include "WorkspaceRoot.h"

#include <windows.h>

VxWorkspaceRoot::VxWorkspaceRoot() : root_(parent_.File(L"dmslink")) {
    SetEnvironmentVariableW(L"DMSLINK_TEMP_ROOT", root_.c_str());
}

VxWorkspaceRoot::~VxWorkspaceRoot() { SetEnvironmentVariableW(L"DMSLINK_TEMP_ROOT", nullptr); }
