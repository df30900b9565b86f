#include "operations/TSOperations.h"

#include <memory>

#include "Utilities/CAPHandles.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "dms/TesseraClient.h"
#include "operations/TSOperationsInternal.h"

namespace tsops {

long SessionCount(ITesseraDMS* dms) {
    ITesseraSessionsPtr sessions = TesseraSessions(dms);
    long count = 0;
    TesseraCheck(sessions->get_Count(&count), __uuidof(ITesseraSessions));
    return count;
}

void AddContextItem(ITesseraCommandContext* context, const wchar_t* name, const VARIANT& value) {
    if (!context) TesseraCheck(E_POINTER);
    _bstr_t key = TesseraBstr(name);
    TesseraCheck(context->AddItem(key, value), __uuidof(ITesseraCommandContext));
}

void AddTextItem(ITesseraCommandContext* context, const wchar_t* name, const wchar_t* text) {
    _variant_t value;
    value.vt = VT_BSTR;
    value.bstrVal = nullptr;
    if (text) {
        value.bstrVal = SysAllocString(text);
        if (!value.bstrVal) TesseraCheck(E_OUTOFMEMORY);
    }
    AddContextItem(context, name, value);
}

void AddWindowItem(ITesseraCommandContext* context, HWND window) {
    // Window handles carry 32 significant bits on 64-bit Windows as well.
    _variant_t value(static_cast<long>(reinterpret_cast<LONG_PTR>(window)), VT_I4);
    AddContextItem(context, L"ParentWindow", value);
}

void AddUnknownItem(ITesseraCommandContext* context, const wchar_t* name, IUnknown* object) {
    _variant_t value(object);  // one added reference, released with the value
    AddContextItem(context, name, value);
}

void AddArrayItem(ITesseraCommandContext* context, const wchar_t* name, VARTYPE type, void* element) {
    CAPSafeArray array(SafeArrayCreateVector(type, 0, 1));
    if (!array) TesseraCheck(E_OUTOFMEMORY);
    LONG first = 0;
    TesseraCheck(SafeArrayPutElement(array.get(), &first, element));
    _variant_t value;
    value.vt = VT_ARRAY | type;
    value.parray = array.Release();
    AddContextItem(context, name, value);
}

_variant_t GetContextItem(ITesseraCommandContext* context, const wchar_t* name) {
    if (!context) TesseraCheck(E_POINTER);
    _bstr_t key = TesseraBstr(name);
    _variant_t value;
    TesseraCheck(context->get_Item(key, &value), __uuidof(ITesseraCommandContext));
    return value;
}

std::wstring UserIdOf(ITesseraUser* user) {
    return user ? TesseraGetText(user, &ITesseraUser::get_UserId) : std::wstring();
}

}  // namespace tsops

bool HasConnectedServer(TSManager& manager, bool askHost) {
    manager.CollectLogins();
    if (manager.Servers().AnyConnected()) return true;
    // The logins of the start that have not answered yet are waited for now.
    if (manager.CollectLogins() && manager.AwaitLogins() && manager.Servers().AnyConnected()) return true;
    if (!askHost || !manager.IsAnyServerConnected()) return false;
    return manager.Servers().AnyConnected();
}

std::wstring CheckoutSizeText(long bytes) {
    if (bytes <= 1024) return L"1 KB";
    return VxFormat(L"%d KB", static_cast<int>(bytes / 1024));
}

std::wstring CheckinSizeText(unsigned long long bytes) {
    if (bytes <= 1024) return L"1 KB";
    return VxFormat(L"%I64u KB", bytes >> 10);
}

UnlockOutcome Unlock(TSManager& manager, DmsDocumentPtr document) {
    if (!document || !document->document) return UnlockOutcome::NotCheckedOut;
    if (!HasConnectedServer(manager, false)) return UnlockOutcome::Failed;
    UnlockOutcome outcome = UnlockOutcome::Failed;
    try {
        ITesseraDMS* dms = manager.GetDms();
        if (!dms || tsops::SessionCount(dms) < 1) return UnlockOutcome::Failed;
        ITesseraDocumentPtr doc = document->document;
        auto answer = std::make_shared<UnlockOutcome>(UnlockOutcome::Failed);
        HRESULT status = S_OK;
        // One the user stopped waiting for counts as failed: the lock may stay.
        if (!manager.Call([doc, answer]() -> HRESULT {
                VARIANT_BOOL checkedOut = VARIANT_FALSE;
                TesseraCheck(doc->get_IsCheckedOut(&checkedOut), __uuidof(ITesseraDocument));
                if (checkedOut == VARIANT_FALSE) {
                    *answer = UnlockOutcome::NotCheckedOut;
                    return S_OK;
                }
                VARIANT_BOOL released = VARIANT_FALSE;
                TesseraCheck(doc->Unlock(&released), __uuidof(ITesseraRecord));
                VxTrace("Document was unlocked", static_cast<long>(released));
                if (released != VARIANT_FALSE) *answer = UnlockOutcome::Released;
                return S_OK;
            }, &status))
            return UnlockOutcome::Failed;
        outcome = *answer;
    } catch (const _com_error&) {
        // The result reached so far stands.
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION("TSOperations", "UnlockDocument");
    }
    return outcome;
}

bool UnlockDocument(TSManager& manager, DmsDocumentPtr document) {
    return Unlock(manager, std::move(document)) == UnlockOutcome::Released;
}
