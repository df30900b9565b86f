// OwnedHandles.h - owning wrappers for the registry keys and the COM initialisation of dmslink.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

class CRegistryKey {
public:
    CRegistryKey() = default;
    ~CRegistryKey() { Reset(); }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;
    CRegistryKey(CRegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    CRegistryKey& operator=(CRegistryKey&& other) noexcept {
        if (this != &other) {
            Reset();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    // Closes the current key; the result is where RegOpenKeyExW/RegCreateKeyExW write the new one.
    HKEY* put() {
        Reset();
        return &key_;
    }
    void Reset() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

// CoInitialize for the lifetime of the object on the calling thread. S_FALSE (already initialised)
// still needs its CoUninitialize; RPC_E_CHANGED_MODE (another apartment kind) must not get one.
class CComInitializer {
public:
    CComInitializer() : result_(CoInitialize(nullptr)) {}
    ~CComInitializer() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    CComInitializer(const CComInitializer&) = delete;
    CComInitializer& operator=(const CComInitializer&) = delete;
    CComInitializer(CComInitializer&& other) noexcept : result_(std::exchange(other.result_, E_FAIL)) {}
    CComInitializer& operator=(CComInitializer&& other) noexcept {
        if (this != &other) {
            if (SUCCEEDED(result_)) CoUninitialize();
            result_ = std::exchange(other.result_, E_FAIL);
        }
        return *this;
    }

    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};
