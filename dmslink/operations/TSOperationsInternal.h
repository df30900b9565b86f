// TSOperationsInternal.h - what the operation sources share: COM creation, context items, VARIANTs.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <TesseraDMS.h>

#include <string>

#include "dms/TSManager.h"

namespace tsops {

using CUnknownPtr = _com_ptr_t<_com_IIID<IUnknown, &__uuidof(IUnknown)>>;

const HRESULT kUnexpected = static_cast<HRESULT>(0x8000FFFF);

// A VARIANT cleared when it goes.
class CVariant {
public:
    CVariant() { VariantInit(&value_); }
    ~CVariant() { VariantClear(&value_); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;

    VARIANT* get() { return &value_; }
    const VARIANT& ref() const { return value_; }
    // Cleared for a new value (an out argument of the DMS).
    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};

// A SAFEARRAY destroyed when it goes, unless handed to a VARIANT.
class CSafeArray {
public:
    explicit CSafeArray(SAFEARRAY* array = nullptr) : array_(array) {}
    ~CSafeArray() {
        if (array_) SafeArrayDestroy(array_);
    }
    CSafeArray(const CSafeArray&) = delete;
    CSafeArray& operator=(const CSafeArray&) = delete;
    SAFEARRAY* get() const { return array_; }
    SAFEARRAY* Release() {
        SAFEARRAY* array = array_;
        array_ = nullptr;
        return array;
    }

private:
    SAFEARRAY* array_;
};

// CoCreateInstance with CLSCTX_ALL, no aggregation; false when the class cannot be created.
template <class Ptr>
bool CreateDmsObject(REFCLSID clsid, Ptr& object) {
    using Interface = typename Ptr::Interface;
    Interface* raw = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, __uuidof(Interface), reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || !raw) return false;
    object.Attach(raw);
    return true;
}

// The number of sessions of the DMS object; raises like every DMS call.
long SessionCount(ITesseraDMS* dms);

void AddContextItem(ITesseraCommandContext* context, const wchar_t* name, VARIANT& value);
void AddTextItem(ITesseraCommandContext* context, const wchar_t* name, const wchar_t* text);  // null: null text
void AddWindowItem(ITesseraCommandContext* context, HWND window);                            // "ParentWindow"
void AddUnknownItem(ITesseraCommandContext* context, const wchar_t* name, IUnknown* object);
void GetContextItem(ITesseraCommandContext* context, const wchar_t* name, CVariant* value);

// A new holder of one more reference to the same DMS document.
DmsDocumentPtr NewReference(const ITesseraDocumentPtr& document);

// A user's id; empty without a user.
std::wstring UserIdOf(ITesseraUser* user);

}  // namespace tsops
