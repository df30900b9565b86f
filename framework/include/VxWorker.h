// VxWorker.h - worker threads that may outlive the work that started them. Each keeps the module
// that holds its code loaded until its work returns, so that a worker the user stopped waiting for
// can end safely after the host has unloaded the plug-in. The work runs under VxWorkerBoundary.
#pragma once

#include <windows.h>

#include <functional>

#include "VxGuard.h"

// The thread's handle (the caller closes it, and may wait for it), or null when no thread could be
// started (the work is then dropped unrun).
HANDLE VxStartWorker(const VxSite& site, std::function<DWORD()> work);
