#include "VxWorker.h"

#include <memory>

namespace {

struct Started {
    VxSite site;
    std::function<DWORD()> work;
    HMODULE pinned;
};

DWORD WINAPI RunWorker(LPVOID raw) {
    std::unique_ptr<Started> started(static_cast<Started*>(raw));
    HMODULE pinned = started->pinned;
    DWORD code = VxWorkerBoundary(started->site, DWORD(1), [&] { return started->work(); });
    // What the work holds goes before the module can.
    started.reset();
    if (pinned) FreeLibraryAndExitThread(pinned, code);
    return code;
}

// The module holding this code, counted once more; none when that is the program itself.
HMODULE PinThisModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&RunWorker), &module))
        return nullptr;
    return module == GetModuleHandleW(nullptr) ? nullptr : module;
}

}  // namespace

HANDLE VxStartWorker(const VxSite& site, std::function<DWORD()> work) {
    auto started = std::make_unique<Started>(Started{site, std::move(work), PinThisModule()});
    HANDLE thread = CreateThread(nullptr, 0, RunWorker, started.get(), 0, nullptr);
    if (!thread) {
        if (started->pinned) FreeLibrary(started->pinned);
        return nullptr;
    }
    (void)started.release();  // RunWorker owns it now
    return thread;
}
