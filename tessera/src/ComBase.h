// IUnknown and IDispatch for the stand-in's objects.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <string>
#include <utility>

#include "Handles.h"

namespace tessera {

// Objects alive in this module; DllCanUnloadNow answers S_OK only at 0.
std::atomic<long>& LiveObjects();

// Implements IUnknown once for every listed interface (one definition overrides the method of each
// base). Objects are free-threaded: the count is atomic and each object locks its own state.
template <typename... Interfaces>
class ComBase : public Interfaces... {
public:
    ComBase() { ++LiveObjects(); }
    virtual ~ComBase() { --LiveObjects(); }
    ComBase(const ComBase&) = delete;
    ComBase& operator=(const ComBase&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) {
        if (!out) return E_POINTER;
        *out = Find(iid);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // No type library: late binding is not offered.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
        return E_NOTIMPL;
    }

protected:
    // The interface pointer for iid, or null. IUnknown must always give the same pointer.
    virtual void* Find(REFIID iid) = 0;

private:
    std::atomic<ULONG> refs_{1};
};

template <typename T, typename... Args>
ComRef<T> MakeObject(Args&&... args) {
    return ComRef<T>::Attach(new T(std::forward<Args>(args)...));
}

// Hands out a counted reference through an out parameter.
template <typename I, typename T>
HRESULT Give(const ComRef<T>& object, I** out) {
    if (!out) return E_POINTER;
    *out = object.get();
    if (*out) (*out)->AddRef();
    return S_OK;
}

inline HRESULT GiveText(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace tessera
