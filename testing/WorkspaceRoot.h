// WorkspaceRoot.h - the plug-in's temporary root (otherwise %TEMP%\dmslink, shared by every process
// of the machine) as a fresh folder of one test: DMSLINK_TEMP_ROOT names it while the object lives,
// so test processes run side by side; it is removed with everything in it afterwards.
#pragma once

#include <string>

#include "vxhost/HostFixture.h"

class VxWorkspaceRoot {
public:
    VxWorkspaceRoot();
    ~VxWorkspaceRoot();
    VxWorkspaceRoot(const VxWorkspaceRoot&) = delete;
    VxWorkspaceRoot& operator=(const VxWorkspaceRoot&) = delete;

    const std::wstring& Path() const { return root_; }

private:
    vxhost::TempFolder parent_;
    std::wstring root_;
};
