// CAPHandles.h - the one set of owning handles of the plug-in: every Win32, CryptoAPI and host object
// it holds is one CAPOwned<Traits>, a handle together with its release. None can be copied; all can
// be moved; each releases exactly once.
//
// COM interfaces are held in _com_ptr_t (counted references) and VARIANTs in _variant_t, the owning
// types of <comdef.h>; a SAFEARRAY not (yet) inside a VARIANT is a CAPSafeArray.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wincrypt.h>

#include <utility>

#include "VxGuard.h"
#include "VxHFT.h"

template <class Traits>
class CAPOwned {
public:
    using Handle = typename Traits::Handle;

    CAPOwned() = default;
    explicit CAPOwned(Handle handle) : handle_(handle) {}
    ~CAPOwned() { Reset(); }
    CAPOwned(const CAPOwned&) = delete;
    CAPOwned& operator=(const CAPOwned&) = delete;
    CAPOwned(CAPOwned&& other) noexcept : handle_(other.Release()) {}
    CAPOwned& operator=(CAPOwned&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle get() const { return handle_; }
    bool valid() const { return Traits::Valid(handle_); }
    explicit operator bool() const { return valid(); }
    // Releases the current handle; the result is where a creating call writes the new one.
    Handle* put() {
        Reset();
        return &handle_;
    }
    // Hands the handle on without releasing it.
    Handle Release() { return std::exchange(handle_, Traits::None()); }
    void Reset(Handle handle = Traits::None()) {
        Handle old = std::exchange(handle_, handle);
        if (Traits::Valid(old)) Traits::Free(old);
    }

private:
    Handle handle_ = Traits::None();
};

namespace capHandleTraits {

// File, event, mutex, process: null and INVALID_HANDLE_VALUE both stand for none.
struct Kernel {
    using Handle = HANDLE;
    static Handle None() noexcept { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Free(Handle h) { CloseHandle(h); }
};
// A thread whose parameters live in the starting frame: it has ended before the handle goes.
struct Thread : Kernel {
    static void Free(Handle h) {
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
    }
};
struct Find {
    using Handle = HANDLE;
    static Handle None() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Free(Handle h) { FindClose(h); }
};
struct RegistryKey {
    using Handle = HKEY;
    static Handle None() noexcept { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Free(Handle h) { RegCloseKey(h); }
};
struct CryptProvider {
    using Handle = HCRYPTPROV;
    static Handle None() noexcept { return 0; }
    static bool Valid(Handle h) { return h != 0; }
    static void Free(Handle h) { CryptReleaseContext(h, 0); }
};
struct CryptKey {
    using Handle = HCRYPTKEY;
    static Handle None() noexcept { return 0; }
    static bool Valid(Handle h) { return h != 0; }
    static void Free(Handle h) { CryptDestroyKey(h); }
};
struct SafeArray {
    using Handle = SAFEARRAY*;
    static Handle None() noexcept { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Free(Handle h) { SafeArrayDestroy(h); }
};
// CoInitialize's answer: S_FALSE (already initialised) still needs its CoUninitialize,
// RPC_E_CHANGED_MODE (another apartment kind) must not get one.
struct ComApartment {
    using Handle = HRESULT;
    static Handle None() noexcept { return E_FAIL; }
    static bool Valid(Handle h) { return SUCCEEDED(h); }
    static void Free(Handle) { CoUninitialize(); }
};
// Host objects, released through the host's tables. A host may raise from a release; that is logged
// here, since a destructor must not pass it on.
struct HostPath {
    using Handle = ASPathName;
    static Handle None() noexcept { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Free(Handle h) {
        VX_TRY { VxReleasePath(VxDefaultFileSys(), h); }
        VX_CATCH("Utilities\\CAPHandles", "CAPHostPath::Reset")
    }
};
struct HostText {
    using Handle = ASText;
    static Handle None() noexcept { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Free(Handle h) {
        VX_TRY { VxTextDestroy(h); }
        VX_CATCH("Utilities\\CAPHandles", "CAPHostText::Reset")
    }
};
struct HostIcon {
    using Handle = AVIcon;
    static Handle None() noexcept { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Free(Handle h) {
        VX_TRY { VxReleaseIcon(h); }
        VX_CATCH("Utilities\\CAPHandles", "CAPHostIcon::Reset")
    }
};

// A block of the host's allocator.
struct HostBlock {
    using Handle = void*;
    static Handle None() noexcept { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Free(Handle h) {
        VX_TRY { VxFree(h); }
        VX_CATCH("Utilities\\CAPHandles", "CAPHostBlock::Reset")
    }
};

}  // namespace capHandleTraits

using CAPHandle = CAPOwned<capHandleTraits::Kernel>;
using CAPThread = CAPOwned<capHandleTraits::Thread>;
using CAPFindHandle = CAPOwned<capHandleTraits::Find>;
using CAPRegistryKey = CAPOwned<capHandleTraits::RegistryKey>;
using CAPCryptProvider = CAPOwned<capHandleTraits::CryptProvider>;
using CAPCryptKeyHandle = CAPOwned<capHandleTraits::CryptKey>;
using CAPSafeArray = CAPOwned<capHandleTraits::SafeArray>;
using CAPComApartment = CAPOwned<capHandleTraits::ComApartment>;
using CAPHostPath = CAPOwned<capHandleTraits::HostPath>;  // released in the default file system
using CAPHostText = CAPOwned<capHandleTraits::HostText>;
using CAPHostIcon = CAPOwned<capHandleTraits::HostIcon>;
using CAPHostBlock = CAPOwned<capHandleTraits::HostBlock>;

// Waits for the thread, closes its handle and answers its exit code (STILL_ACTIVE when there was
// none, or it cannot be read).
inline DWORD CAPJoinThread(CAPThread& thread) {
    DWORD code = STILL_ACTIVE;
    if (!thread) return code;
    WaitForSingleObject(thread.get(), INFINITE);
    if (!GetExitCodeThread(thread.get(), &code)) code = STILL_ACTIVE;
    thread.Reset();
    return code;
}
