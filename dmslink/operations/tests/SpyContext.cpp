// A command context that records what the operations put into it. It stores and answers items as
// the stand-in's does, so the stand-in's real commands run against it.
#include <windows.h>
#include <oleauto.h>

#include <TesseraDMS.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "OperationsFixture.h"

namespace {

std::vector<ContextItem> gRecorded;
bool gEmptySelection = false;

std::wstring Describe(const VARIANT& value) {
    switch (value.vt) {
    case VT_BSTR:
        return value.bstrVal ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) : L"<null>";
    case VT_I4:
        return std::to_wstring(value.lVal);
    case VT_BOOL:
        return value.boolVal == VARIANT_TRUE ? L"true" : L"false";
    case VT_ARRAY | VT_BSTR:
    case VT_ARRAY | VT_I4: {
        std::wstring text;
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(value.parray, 1, &lower);
        SafeArrayGetUBound(value.parray, 1, &upper);
        for (LONG i = lower; i <= upper; ++i) {
            if (!text.empty()) text += L",";
            if (value.vt == (VT_ARRAY | VT_BSTR)) {
                BSTR element = nullptr;
                SafeArrayGetElement(value.parray, &i, &element);
                text += element ? element : L"";
                SysFreeString(element);
            } else {
                LONG element = 0;
                SafeArrayGetElement(value.parray, &i, &element);
                text += std::to_wstring(element);
            }
        }
        return L"[" + text + L"]";
    }
    default:
        return std::wstring();
    }
}

class SpyContext final : public ITesseraCommandContext {
public:
    ~SpyContext() {
        for (auto& item : items_) VariantClear(&item.second);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ITesseraCommandContext)) {
            *out = static_cast<ITesseraCommandContext*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE AddItem(BSTR name, VARIANT value) override {
        std::wstring key = name ? name : L"";
        gRecorded.push_back({key, value.vt, Describe(value)});
        VARIANT copy;
        VariantInit(&copy);
        HRESULT hr = VariantCopy(&copy, &value);
        if (FAILED(hr)) return hr;
        for (auto& item : items_) {
            if (item.first == key) {
                VariantClear(&item.second);
                item.second = copy;
                return S_OK;
            }
        }
        items_.emplace_back(key, copy);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Item(BSTR name, VARIANT* value) override {
        if (!value) return E_POINTER;
        VariantInit(value);
        std::wstring key = name ? name : L"";
        if (gEmptySelection && key == L"SelectedTesseraObjects") {
            value->vt = VT_ARRAY | VT_DISPATCH;
            value->parray = SafeArrayCreateVector(VT_DISPATCH, 0, 0);
            return S_OK;
        }
        for (auto& item : items_)
            if (item.first == key) return VariantCopy(value, &item.second);
        return TESSERA_E_NOT_FOUND;
    }
    HRESULT STDMETHODCALLTYPE get_Count(long* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<long>(items_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ItemName(long index, BSTR* name) override {
        if (!name) return E_POINTER;
        if (index < 0 || static_cast<size_t>(index) >= items_.size()) return E_INVALIDARG;
        *name = SysAllocString(items_[static_cast<size_t>(index)].first.c_str());
        return *name ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::atomic<ULONG> references_{1};
    std::vector<std::pair<std::wstring, VARIANT>> items_;
};

class SpyFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        gRecorded.clear();
        SpyContext* context = new SpyContext();
        HRESULT hr = context->QueryInterface(iid, out);
        context->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

SpyFactory gFactory;

}  // namespace

HRESULT RegisterSpyContext(DWORD* cookie, bool emptySelection) {
    gRecorded.clear();
    gEmptySelection = emptySelection;
    return CoRegisterClassObject(CLSID_TesseraCommandContext, &gFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                 cookie);
}

std::vector<ContextItem> SpyContextItems() { return gRecorded; }
