#include "operations/TSOperations.h"

#include "VxApp.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "dms/TesseraClient.h"
#include "operations/TSHandles.h"
#include "operations/TSOperationsInternal.h"

namespace tsops {

long SessionCount(ITesseraDMS* dms) {
    ITesseraSessionsPtr sessions = TesseraSessions(dms);
    long count = 0;
    TesseraCheck(sessions->get_Count(&count), __uuidof(ITesseraSessions));
    return count;
}

void AddContextItem(ITesseraCommandContext* context, const wchar_t* name, VARIANT& value) {
    if (!context) TesseraCheck(E_POINTER);
    _bstr_t key = TesseraBstr(name);
    TesseraCheck(context->AddItem(key, value), __uuidof(ITesseraCommandContext));
}

void AddTextItem(ITesseraCommandContext* context, const wchar_t* name, const wchar_t* text) {
    CVariant value;
    value.get()->vt = VT_BSTR;
    value.get()->bstrVal = nullptr;
    if (text) {
        value.get()->bstrVal = SysAllocString(text);
        if (!value.get()->bstrVal) TesseraCheck(E_OUTOFMEMORY);
    }
    AddContextItem(context, name, *value.get());
}

void AddWindowItem(ITesseraCommandContext* context, HWND window) {
    CVariant value;
    value.get()->vt = VT_I4;
    // Window handles carry 32 significant bits on 64-bit Windows as well.
    value.get()->lVal = static_cast<LONG>(reinterpret_cast<LONG_PTR>(window));
    AddContextItem(context, L"ParentWindow", *value.get());
}

void AddUnknownItem(ITesseraCommandContext* context, const wchar_t* name, IUnknown* object) {
    CVariant value;
    value.get()->vt = VT_UNKNOWN;
    value.get()->punkVal = object;
    if (object) object->AddRef();
    AddContextItem(context, name, *value.get());
}

void GetContextItem(ITesseraCommandContext* context, const wchar_t* name, CVariant* value) {
    if (!context) TesseraCheck(E_POINTER);
    _bstr_t key = TesseraBstr(name);
    TesseraCheck(context->get_Item(key, value->put()), __uuidof(ITesseraCommandContext));
}

DmsDocumentPtr NewReference(const ITesseraDocumentPtr& document) {
    DmsDocumentPtr holder = std::make_unique<DmsDocumentHolder>();
    holder->document = document;
    return holder;
}

std::wstring UserIdOf(ITesseraUser* user) {
    return user ? TesseraGetText(user, &ITesseraUser::get_UserId) : std::wstring();
}

}  // namespace tsops

bool HasConnectedServer(TSManager& manager, bool askHost) {
    auto anyConnected = [&manager] {
        for (int i = manager.GetServerCount() - 1; i >= 0; --i) {
            TSServerEntry* entry = manager.GetServerAt(i);
            if (entry && entry->connected) return true;
        }
        return false;
    };
    if (anyConnected()) return true;
    if (!askHost || !manager.IsAnyServerConnected()) return false;
    return anyConnected();
}

std::wstring CheckoutSizeText(long bytes) {
    if (bytes <= 1024) return L"1 KB";
    return VxFormat(L"%d KB", static_cast<int>(bytes / 1024));
}

std::wstring CheckinSizeText(unsigned long long bytes) {
    if (bytes <= 1024) return L"1 KB";
    return VxFormat(L"%I64u KB", bytes >> 10);
}

bool UnlockDocument(TSManager& manager, DmsDocumentPtr document) {
    if (!document || !document->document) return false;
    if (!HasConnectedServer(manager, false)) return false;
    bool unlocked = false;
    try {
        ITesseraDMS* dms = manager.GetDms();
        if (!dms || tsops::SessionCount(dms) < 1) return false;
        ITesseraDocument* doc = document->document;
        VARIANT_BOOL checkedOut = VARIANT_FALSE;
        TesseraCheck(doc->get_IsCheckedOut(&checkedOut), __uuidof(ITesseraDocument));
        if (checkedOut != VARIANT_FALSE) {
            VARIANT_BOOL released = VARIANT_FALSE;
            TesseraCheck(doc->Unlock(&released), __uuidof(ITesseraRecord));
            VxTrace("Document was unlocked", static_cast<long>(released));
            unlocked = released != VARIANT_FALSE;
        }
    } catch (...) {
    }
    return unlocked;
}
