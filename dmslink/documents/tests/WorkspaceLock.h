// WorkspaceLock.h - the temporary root (%TEMP%\dmslink) is shared by every test process that runs
// module code; a test holds this lock while it uses the root, and the root is emptied when the lock
// is taken and again when it is given back.
#pragma once

#include <windows.h>

#include "Utilities/CAPHandles.h"
#include "documents/CDocumentManager.h"
#include "vxhost/HostFixture.h"

class CWorkspaceLock {
public:
    CWorkspaceLock() = default;
    ~CWorkspaceLock() { Release(); }
    CWorkspaceLock(const CWorkspaceLock&) = delete;
    CWorkspaceLock& operator=(const CWorkspaceLock&) = delete;

    // False when the lock could not be had within two minutes.
    bool Acquire() {
        mutex_.Reset(CreateMutexW(nullptr, FALSE, L"VxTest.DmslinkTempRoot"));
        if (!mutex_) return false;
        DWORD waited = WaitForSingleObject(mutex_.get(), 120000);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            mutex_.Reset();
            return false;
        }
        vxhost::TempFolder::RemoveTree(GetTempRootFolder());
        return true;
    }
    void Release() {
        if (!mutex_) return;
        vxhost::TempFolder::RemoveTree(GetTempRootFolder());
        ReleaseMutex(mutex_.get());
        mutex_.Reset();
    }

private:
    CAPHandle mutex_;
};
