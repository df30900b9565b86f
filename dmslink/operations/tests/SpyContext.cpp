// A command context that records what the operations put into it, around one of the stand-in's own,
// which stores and answers the items, so that the stand-in's real commands run against it.
#include <windows.h>
#include <oleauto.h>

#include <TesseraDMS.h>

#include <atomic>
#include <string>
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
    explicit SpyContext(ITesseraCommandContext* real) : real_(real) {}
    ~SpyContext() { real_->Release(); }
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
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return real_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE AddItem(BSTR name, VARIANT value) override {
        gRecorded.push_back({name ? name : L"", value.vt, Describe(value)});
        return real_->AddItem(name, value);
    }
    HRESULT STDMETHODCALLTYPE get_Item(BSTR name, VARIANT* value) override {
        if (!gEmptySelection || !name || std::wstring(name) != L"SelectedTesseraObjects") return real_->get_Item(name, value);
        VariantInit(value);
        value->vt = VT_ARRAY | VT_DISPATCH;
        value->parray = SafeArrayCreateVector(VT_DISPATCH, 0, 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Count(long* count) override { return real_->get_Count(count); }
    HRESULT STDMETHODCALLTYPE get_ItemName(long index, BSTR* name) override { return real_->get_ItemName(index, name); }

private:
    ITesseraCommandContext* real_;
    std::atomic<ULONG> references_{1};
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
        ITesseraCommandContext* real = nullptr;
        HRESULT hr = standIn_->CreateInstance(nullptr, __uuidof(ITesseraCommandContext), reinterpret_cast<void**>(&real));
        if (FAILED(hr)) return hr;
        gRecorded.clear();
        SpyContext* context = new SpyContext(real);
        hr = context->QueryInterface(iid, out);
        context->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    IClassFactory* standIn_ = nullptr;  // the stand-in's own context class, held while the spy is registered
};

SpyFactory gFactory;

}  // namespace

HRESULT RegisterSpyContext(DWORD* cookie, bool emptySelection) {
    gRecorded.clear();
    gEmptySelection = emptySelection;
    if (gFactory.standIn_) gFactory.standIn_->Release();
    HRESULT hr = CoGetClassObject(CLSID_TesseraCommandContext, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&gFactory.standIn_));
    if (FAILED(hr)) return hr;
    // A class registered already would keep its first registration, whatever the second.
    TesseraRevokeClassObjects();
    return CoRegisterClassObject(CLSID_TesseraCommandContext, &gFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                 cookie);
}

std::vector<ContextItem> SpyContextItems() { return gRecorded; }
