#include <algorithm>

#include "VxApp.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "documents/CDocumentManager.h"
#include "dms/TesseraClient.h"
#include "operations/CProgressDlg.h"
#include "operations/TSHandles.h"
#include "operations/TSOperations.h"
#include "operations/TSOperationsInternal.h"
#include "resources/resource.h"

using namespace tsops;

namespace {

const unsigned kMaxSelection = 0xFFFF;  // list count and worker index are 16-bit

// Elements of a one-dimensional selection, at most kMaxSelection of them; 0 for anything else.
unsigned SelectionCount(SAFEARRAY* selection, LONG* lowerBound) {
    *lowerBound = 0;
    if (!selection || SafeArrayGetDim(selection) != 1) return 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(selection, 1, lowerBound)) || FAILED(SafeArrayGetUBound(selection, 1, &upper)))
        return 0;
    LONGLONG count = static_cast<LONGLONG>(upper) - *lowerBound + 1;
    if (count <= 0) return 0;
    return static_cast<unsigned>(std::min<LONGLONG>(count, kMaxSelection));
}

HRESULT SelectionElement(SAFEARRAY* selection, LONG index, CUnknownPtr& element) {
    VARTYPE type = VT_EMPTY;
    HRESULT hr = SafeArrayGetVartype(selection, &type);
    if (FAILED(hr)) return hr;
    if (type == VT_DISPATCH || type == VT_UNKNOWN) {
        IUnknown* raw = nullptr;
        hr = SafeArrayGetElement(selection, &index, &raw);
        if (SUCCEEDED(hr)) element.Attach(raw);
    } else if (type == VT_VARIANT) {
        CVariant value;
        hr = SafeArrayGetElement(selection, &index, value.get());
        if (SUCCEEDED(hr)) {
            VARTYPE held = value.get()->vt;
            IUnknown* raw = held == VT_DISPATCH ? value.get()->pdispVal : held == VT_UNKNOWN ? value.get()->punkVal : nullptr;
            element = raw;
        }
    } else {
        return DISP_E_TYPEMISMATCH;
    }
    if (SUCCEEDED(hr) && !element) hr = E_NOINTERFACE;
    return hr;
}

std::wstring CheckoutErrorMessage(ITesseraDocument* document, HRESULT hr, const std::wstring& fileText) {
    if (hr != TESSERA_E_IN_USE) return VxFormatString(IDS_CHECKOUT_FAILED, static_cast<int>(hr), fileText.c_str());
    std::wstring user = VxLoadString(IDS_UNKNOWN_USER);
    try {
        ITesseraUserPtr holder;
        TesseraCheck(document->get_CheckedOutBy(&holder), __uuidof(ITesseraRecord));
        if (holder) {
            std::wstring name = TesseraGetText(holder.GetInterfacePtr(), &ITesseraUser::get_FullName);
            if (name.empty()) name = TesseraGetText(holder.GetInterfacePtr(), &ITesseraUser::get_UserId);
            user = name;
        }
    } catch (...) {
        // The holder cannot be named; the message still goes out.
    }
    return VxFormatString(IDS_FILE_IN_USE, fileText.c_str(), user.c_str());
}

}  // namespace

DWORD WINAPI CheckoutThreadProc(LPVOID raw) {
    CheckoutThreadParams* params = static_cast<CheckoutThreadParams*>(raw);
    if (!params || !params->selection || !params->items || !params->count || !params->documents) return 1;
    CProgressDlg* dialog = params->dialog;
    if (dialog) WaitForSingleObject(dialog->GetInitEvent(), 10000);

    ASUns16 delivered = 0;
    DWORD exitCode = 1;
    try {
        LONG lowerBound = 0;
        const unsigned total = SelectionCount(params->selection, &lowerBound);
        bool stopped = false;
        for (unsigned k = 0; k < total && !stopped; ++k) {
            if (dialog && dialog->GetWorkerWindow() && dialog->IsCancelRequested()) {
                stopped = true;
                break;
            }
            DmsDocumentPtr holder = std::make_unique<DmsDocumentHolder>();
            CUnknownPtr element;
            HRESULT hr = SelectionElement(params->selection, lowerBound + static_cast<LONG>(k), element);
            if (SUCCEEDED(hr)) hr = element->QueryInterface(__uuidof(ITesseraDocument), reinterpret_cast<void**>(&holder->document));
            if (FAILED(hr)) {
                exitCode = static_cast<DWORD>(hr);
                stopped = true;
                break;
            }
            ITesseraDocumentPtr document = holder->document;

            std::wstring description = TesseraGetText(document.GetInterfacePtr(), &ITesseraDocument::get_Description);
            if (description.empty()) {
                exitCode = 1;
                stopped = true;
                break;
            }
            long number = 0, version = 0;
            TesseraCheck(document->get_Number(&number), __uuidof(ITesseraDocument));
            TesseraCheck(document->get_Version(&version), __uuidof(ITesseraDocument));
            std::wstring extension = TesseraGetText(document.GetInterfacePtr(), &ITesseraDocument::get_Extension);
            std::wstring fileName = FormatTempFileName(number, version, extension);
            VxTrace("Checking out file", fileName.c_str());

            if (HWND window = dialog ? dialog->GetWorkerWindow() : nullptr) {
                std::wstring display = description + L"." + extension;
                std::wstring numberText = VxFormat(L"%d", static_cast<int>(number));
                std::wstring versionText = VxFormat(L"%d", static_cast<int>(version));
                long bytes = 0;
                TesseraCheck(document->get_Size(&bytes), __uuidof(ITesseraDocument));
                std::wstring sizeText = CheckoutSizeText(bytes);
                ITesseraUserPtr author;
                TesseraCheck(document->get_Author(&author), __uuidof(ITesseraDocument));
                std::wstring authorId = UserIdOf(author.GetInterfacePtr());
                ProgressDocumentInfo info = {display.c_str(), author ? authorId.c_str() : nullptr, numberText.c_str(),
                                             versionText.c_str(), sizeText.c_str()};
                SendMessageW(window, WM_SETDOCUMENTINFO, 0, reinterpret_cast<LPARAM>(&info));
            }

            std::wstring folder;
            if (!GetUniqueTempFolder(&folder) || !CreateDirectoryW(folder.c_str(), nullptr)) {
                exitCode = 1;
                stopped = true;
                break;
            }
            std::wstring fullPath = folder + fileName;
            VxTrace("Checking out to:", fullPath.c_str());

            try {
                _bstr_t target = TesseraBstr(fullPath);
                _bstr_t comment = TesseraBstr(L"");
                TesseraCheck(document->CheckOut(target, 1, 0.0, comment), __uuidof(ITesseraDocument));
                ASPathName path = VxPathFromWide(fullPath.c_str());
                if (!path) {
                    // Nobody could open or register this copy: give its lock back before reporting it.
                    VARIANT_BOOL released = VARIANT_FALSE;
                    document->Unlock(&released);
                    TesseraCheck(E_FAIL);
                }
                params->items[delivered++] = path;
                params->documents->AddDocument(nullptr, std::move(holder), path, params->keepCheckedOut);
                if (!params->keepCheckedOut) {
                    VARIANT_BOOL released = VARIANT_FALSE;
                    TesseraCheck(document->Unlock(&released), __uuidof(ITesseraRecord));
                    VxTraceLine("CheckoutThreadProc Unlocking");
                }
            } catch (const _com_error& failure) {
                HRESULT refused = failure.Error();
                std::wstring message = CheckoutErrorMessage(document.GetInterfacePtr(), refused,
                                                            description + L"." + extension);
                if (message.empty())
                    VxTrace("Checkout Error", static_cast<long>(refused));
                else
                    VxTrace("Checkout Error:", message.c_str());
                if (HWND window = dialog ? dialog->GetWorkerWindow() : nullptr) {
                    ProgressErrorInfo info = {message.c_str(), k + 1 >= total};
                    SendMessageW(window, WM_SETERRORTEXT, 0, reinterpret_cast<LPARAM>(&info));
                }
            }
        }
        if (!stopped) exitCode = total == 0 ? 1 : 0;
    } catch (const _com_error& failure) {
        VxTrace("Checkout Main Error:", static_cast<long>(failure.Error()));
        exitCode = static_cast<DWORD>(failure.Error());
    } catch (...) {
        exitCode = static_cast<DWORD>(kUnexpected);
    }

    *params->count = delivered;
    if (HWND window = dialog ? dialog->GetWorkerWindow() : nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
    return exitCode;
}

bool OpenDocuments(TSManager& manager, CDocumentManager& documents, HWND parent, const wchar_t* filter,
                   ASPathName** items, ASUns16* count, bool keepCheckedOut) {
    if (!HasConnectedServer(manager)) return false;
    ITesseraDMS* dms = manager.GetDms();
    if (!items || !count || !dms) return false;

    ASPathName* list = nullptr;
    unsigned selectedCount = 0;
    ASUns16 delivered = 0;
    try {
        if (SessionCount(dms) <= 0) return false;
        ITesseraCommandPtr command;
        ITesseraCommandContextPtr context;
        if (!CreateDmsObject(CLSID_TesseraOpenCommand, command) ||
            !CreateDmsObject(CLSID_TesseraCommandContext, context))
            return false;

        HWND owner = parent ? parent : manager.GetParentWindow();
        AddWindowItem(context, owner);
        AddUnknownItem(context, L"TesseraDMS", dms);
        {
            CSafeArray commands(SafeArrayCreateVector(VT_BSTR, 0, 1));
            if (!commands.get()) TesseraCheck(E_OUTOFMEMORY);
            _bstr_t open = TesseraBstr(L"@1@&Open");
            LONG first = 0;
            TesseraCheck(SafeArrayPutElement(commands.get(), &first, static_cast<BSTR>(open)));
            CVariant value;
            value.get()->vt = VT_ARRAY | VT_BSTR;
            value.get()->parray = commands.Release();
            AddContextItem(context, L"TesseraExt2.CommandList", *value.get());
        }
        {
            CVariant value;
            value.get()->vt = VT_BOOL;
            value.get()->boolVal = VARIANT_TRUE;
            AddContextItem(context, L"TesseraExt2.MultiFileSelection", *value.get());
        }
        if (filter) AddTextItem(context, L"TesseraExt2.FileOpFilterAppType", filter);

        TesseraCheck(command->Initialize(context), __uuidof(ITesseraCommand));
        TesseraCheck(command->Execute(), __uuidof(ITesseraCommand));

        CVariant selected;
        GetContextItem(context, L"SelectedTesseraObjects", &selected);
        SAFEARRAY* selection = nullptr;
        if (selected.get()->vt & VT_ARRAY)
            selection = (selected.get()->vt & VT_BYREF) ? *selected.get()->pparray : selected.get()->parray;
        LONG lowerBound = 0;
        selectedCount = SelectionCount(selection, &lowerBound);
        // An empty browse result never reaches the worker: it would have nothing to close the dialog with.
        if (selectedCount > 0)
            list = static_cast<ASPathName*>(VxMalloc(static_cast<ASUns32>(selectedCount * sizeof(ASPathName))));
        if (list) {
            std::fill(list, list + selectedCount, nullptr);

            CProgressDlg dialog(owner);
            dialog.SetCaption(VxLoadString(IDS_CHECKOUT_CAPTION));
            if (selectedCount == 1) dialog.DisableCancel();

            CheckoutThreadParams params;
            params.selection = selection;
            params.items = list;
            params.count = &delivered;
            params.dialog = &dialog;
            params.keepCheckedOut = keepCheckedOut;
            params.documents = &documents;
            CWorkerThread worker;
            if (worker.Start(CheckoutThreadProc, &params)) {
                dialog.SetWorkerThread(worker.get());
                if (dialog.DoModal() == -1) SetEvent(dialog.GetInitEvent());  // no window: let the worker go at once
                worker.Join();
            }
        }
    } catch (...) {
        // The documents delivered so far stay the caller's.
    }

    if (delivered == 0) {
        if (list) VxFree(list);
        *items = nullptr;
        *count = 0;
        return false;
    }
    if (delivered < selectedCount) {
        // A list the host cannot shrink is still a valid, longer one.
        try {
            if (auto* shorter = static_cast<ASPathName*>(VxRealloc(list, static_cast<ASUns32>(delivered * sizeof(ASPathName)))))
                list = shorter;
        } catch (...) {
        }
    }
    *items = list;
    *count = delivered;
    return true;
}
