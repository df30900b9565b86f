// TSOperationsInternal.h - what the operation sources share: COM creation and command context items.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <TesseraDMS.h>

#include <string>

#include "VxGuard.h"
#include "VxTrace.h"
#include "dialogs/CProgressDlg.h"
#include "dms/TSManager.h"

namespace tsops {

using CUnknownPtr = _com_ptr_t<_com_IIID<IUnknown, &__uuidof(IUnknown)>>;

const HRESULT kUnexpected = static_cast<HRESULT>(0x8000FFFF);

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

void AddContextItem(ITesseraCommandContext* context, const wchar_t* name, const VARIANT& value);
void AddTextItem(ITesseraCommandContext* context, const wchar_t* name, const wchar_t* text);  // null: null text
void AddWindowItem(ITesseraCommandContext* context, HWND window);                            // "ParentWindow"
void AddUnknownItem(ITesseraCommandContext* context, const wchar_t* name, IUnknown* object);
// A one-dimensional array of one element, handed to the context as a VARIANT of that array.
void AddArrayItem(ITesseraCommandContext* context, const wchar_t* name, VARTYPE type, void* element);
_variant_t GetContextItem(ITesseraCommandContext* context, const wchar_t* name);

// A user's id; empty without a user.
std::wstring UserIdOf(ITesseraUser* user);

// The worker's side of the progress dialog: waits for its window, runs `work` under the DMS
// convention (a DMS failure is traced under `errorLabel` and becomes the exit code, anything else
// is logged and becomes 0x8000FFFF), then closes the dialog.
template <class Work>
DWORD WorkBehindDialog(const VxSite& site, const CProgressLink* dialog, const char* errorLabel, Work&& work) {
    if (dialog) dialog->WaitForWindow();
    DWORD exitCode = 1;
    try {
        exitCode = work();
    } catch (const _com_error& failure) {
        VxTrace(errorLabel, static_cast<long>(failure.Error()));
        exitCode = static_cast<DWORD>(failure.Error());
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION(site.file, site.function);
        exitCode = static_cast<DWORD>(kUnexpected);
    }
    if (dialog && dialog->Finish())
        if (HWND window = dialog->Window()) PostMessageW(window, WM_CLOSE, 0, 0);
    return exitCode;
}

}  // namespace tsops
