// Open from the DMS: the browse command, the check-out worker and the hand-over of each copy to the
// main thread, which registers it before the worker starts on the next.
#include <algorithm>

#include "Files/CAPPathText.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "dms/TesseraClient.h"
#include "documents/TempWorkspace.h"
#include "dialogs/CProgressDlg.h"
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
        _variant_t value;
        hr = SafeArrayGetElement(selection, &index, &value);
        if (SUCCEEDED(hr)) {
            VARTYPE held = value.vt;
            element = held == VT_DISPATCH ? value.pdispVal : held == VT_UNKNOWN ? value.punkVal : nullptr;
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
    } catch (const _com_error&) {
        // The holder cannot be named; the message still goes out.
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION("TSCheckout", "CheckoutThreadProc");
    }
    return VxFormatString(IDS_FILE_IN_USE, fileText.c_str(), user.c_str());
}

void SendDocumentInfo(HWND window, ITesseraDocument* document, const std::wstring& display) {
    long number = 0, version = 0, bytes = 0;
    TesseraCheck(document->get_Number(&number), __uuidof(ITesseraDocument));
    TesseraCheck(document->get_Version(&version), __uuidof(ITesseraDocument));
    TesseraCheck(document->get_Size(&bytes), __uuidof(ITesseraDocument));
    std::wstring numberText = VxFormat(L"%d", static_cast<int>(number));
    std::wstring versionText = VxFormat(L"%d", static_cast<int>(version));
    std::wstring sizeText = CheckoutSizeText(bytes);
    ITesseraUserPtr author;
    TesseraCheck(document->get_Author(&author), __uuidof(ITesseraDocument));
    std::wstring authorId = UserIdOf(author.GetInterfacePtr());
    ProgressDocumentInfo info = {display.c_str(), author ? authorId.c_str() : nullptr, numberText.c_str(),
                                 versionText.c_str(), sizeText.c_str()};
    SendMessageW(window, WM_SETDOCUMENTINFO, 0, reinterpret_cast<LPARAM>(&info));
}

void GiveBack(ITesseraDocument* document) {
    VARIANT_BOOL released = VARIANT_FALSE;
    document->Unlock(&released);
}

// The DMS writes the copy; with keep-checked-out its record file is there before the copy is, so a
// host that dies at any moment leaves every copy it made recoverable. The main thread registers
// the copy before this returns.
void CheckOutTo(const CProgressLink& dialog, CheckedOutDocument& copy, bool keepCheckedOut) {
    ITesseraDocument* document = copy.document->document;
    const std::wstring recordFile = RecordFileOf(copy.path);
    if (keepCheckedOut) {
        copy.recordClaim = WriteFileData(recordFile, DescribeForRecord(document));
        if (!copy.recordClaim) TesseraCheck(E_FAIL);
    }
    HRESULT hr = document->CheckOut(TesseraBstr(copy.path), 1, 0.0, TesseraBstr(L""));
    if (FAILED(hr)) {
        copy.recordClaim.Reset();
        if (keepCheckedOut) DeleteFileW(recordFile.c_str());
        TesseraCheck(hr, __uuidof(ITesseraDocument));
    }
    ITesseraDocumentPtr keep = document;  // the registry takes the holder
    HWND window = dialog.Window();
    if (!window || !SendMessageW(window, WM_CHECKEDOUTDOCUMENT, 0, reinterpret_cast<LPARAM>(&copy))) {
        copy.recordClaim.Reset();
        // Nobody waits for this check-out any more: a copy with its record is a leftover the next
        // start checks in; one without goes back at once.
        if (dialog.Abandoned() && keepCheckedOut) return;
        // Nobody could open or register this copy: its lock goes back, and it is no one's to recover.
        if (!keepCheckedOut) DeleteFileW(copy.path.c_str());
        if (keepCheckedOut) DeleteFileW(recordFile.c_str());
        GiveBack(keep);
        TesseraCheck(E_FAIL);
    }
    if (!keepCheckedOut) {
        VARIANT_BOOL released = VARIANT_FALSE;
        TesseraCheck(keep->Unlock(&released), __uuidof(ITesseraRecord));
        VxTraceLine("CheckoutThreadProc Unlocking");
    }
}

void ReportFailure(HWND window, ITesseraDocument* document, HRESULT refused, const std::wstring& fileText, bool last) {
    std::wstring message = CheckoutErrorMessage(document, refused, fileText);
    if (message.empty())
        VxTrace("Checkout Error", static_cast<long>(refused));
    else
        VxTrace("Checkout Error:", message.c_str());
    if (!window) return;
    ProgressErrorInfo info = {message.c_str(), last};
    SendMessageW(window, WM_SETERRORTEXT, 0, reinterpret_cast<LPARAM>(&info));
}

// One document of the selection; false stops the loop with *exitCode.
bool CheckOutElement(const CheckoutThreadParams& params, LONG index, bool last, DWORD* exitCode) {
    const CProgressLink* dialog = params.dialog;
    HWND window = dialog ? dialog->Window() : nullptr;
    // Without the dialog's window nothing could register a copy.
    if (!window || dialog->CancelRequested()) return false;
    CheckedOutDocument copy;
    copy.document = std::make_unique<DmsDocumentHolder>();
    CUnknownPtr element;
    HRESULT hr = SelectionElement(params.selection, index, element);
    if (SUCCEEDED(hr)) hr = element->QueryInterface(__uuidof(ITesseraDocument), reinterpret_cast<void**>(&copy.document->document));
    if (FAILED(hr)) {
        *exitCode = static_cast<DWORD>(hr);
        return false;
    }
    ITesseraDocumentPtr document = copy.document->document;
    std::wstring description = TesseraGetText(document.GetInterfacePtr(), &ITesseraDocument::get_Description);
    if (description.empty()) return false;
    long number = 0, version = 0;
    TesseraCheck(document->get_Number(&number), __uuidof(ITesseraDocument));
    TesseraCheck(document->get_Version(&version), __uuidof(ITesseraDocument));
    std::wstring extension = TesseraGetText(document.GetInterfacePtr(), &ITesseraDocument::get_Extension);
    std::wstring fileName = FormatTempFileName(number, version, extension);
    VxTrace("Checking out file", fileName.c_str());
    SendDocumentInfo(window, document, description + L"." + extension);

    std::wstring folder;
    if (!ClaimTempFolder(&folder, &copy.folderClaim)) return false;
    copy.path = folder + fileName;
    VxTrace("Checking out to:", copy.path.c_str());
    try {
        CheckOutTo(*dialog, copy, params.keepCheckedOut);
    } catch (const _com_error& failure) {
        ReportFailure(dialog->Window(), document, failure.Error(), description + L"." + extension, last);
    }
    // A folder that got no copy goes; one whose copy nobody registered (the user stopped waiting)
    // is a leftover for the recovery once its claim is let go of.
    if (copy.folderClaim.Held() && !CAPPathExists(copy.path)) copy.folderClaim.DeleteFolder();
    return true;
}

}  // namespace

void CCheckoutHandover::Attach(CProgressDlg& dialog) {
    dialog.SetHandover([this](LPARAM copy) { return Take(reinterpret_cast<CheckedOutDocument*>(copy)); });
}

void CCheckoutHandover::Forget() {
    for (ASUns16 i = 0; i < count_; ++i) {
        VX_TRY { sink_.Forget(paths_[i]); }
        VX_CATCH("CDocumentManager", "CDocumentManager::RemoveDoc")
        CAPHostPath released(items_[i]);
        items_[i] = nullptr;
    }
    count_ = 0;
    paths_.clear();
}

LRESULT CCheckoutHandover::Take(CheckedOutDocument* copy) {
    if (!copy || count_ >= capacity_) return 0;
    VX_TRY {
        CAPHostPath path = CAPMakeHostPath(copy->path);
        // Nothing may fail once the copy is registered: the worker would give back a registered lock.
        paths_.reserve(capacity_);
        std::wstring text = copy->path;
        if (!path || !sink_.Register(*copy)) return 0;
        paths_.push_back(std::move(text));
        items_[count_++] = path.Release();
        return 1;
    }
    VX_CATCH("CDocumentManager", "CDocumentManager::AddDocument")
    return 0;
}

DWORD WINAPI CheckoutThreadProc(LPVOID raw) {
    const VxSite site = VX_SITE("TSCheckout", "CheckoutThreadProc");
    return VxWorkerBoundary(site, static_cast<DWORD>(kUnexpected), [&]() -> DWORD {
        CheckoutThreadParams* params = static_cast<CheckoutThreadParams*>(raw);
        if (!params || !params->selection) return 1;
        return WorkBehindDialog(site, params->dialog, "Checkout Main Error:", [&]() -> DWORD {
            DWORD exitCode = 1;
            LONG lowerBound = 0;
            const unsigned total = SelectionCount(params->selection, &lowerBound);
            bool stopped = false;
            for (unsigned k = 0; k < total && !stopped; ++k)
                stopped = !CheckOutElement(*params, lowerBound + static_cast<LONG>(k), k + 1 >= total, &exitCode);
            return stopped ? exitCode : total == 0 ? 1 : 0;
        });
    });
}

namespace {

// The DMS's browse dialog with the open command's context items, the command's work on a worker;
// false when the user stopped waiting. *selected: the value of "SelectedTesseraObjects" (raises when
// the browse ended without one).
bool Browse(TSManager& manager, HWND owner, const wchar_t* filter, _variant_t* selected) {
    ITesseraCommandPtr command;
    ITesseraCommandContextPtr context;
    if (!CreateDmsObject(CLSID_TesseraOpenCommand, command) || !CreateDmsObject(CLSID_TesseraCommandContext, context))
        TesseraCheck(E_FAIL);
    AddWindowItem(context, owner);
    AddUnknownItem(context, L"TesseraDMS", manager.GetDms());
    _bstr_t open = TesseraBstr(L"@1@&Open");
    AddArrayItem(context, L"TesseraExt2.CommandList", VT_BSTR, static_cast<BSTR>(open));
    _variant_t multiple(VARIANT_TRUE, VT_BOOL);
    AddContextItem(context, L"TesseraExt2.MultiFileSelection", multiple);
    if (filter) AddTextItem(context, L"TesseraExt2.FileOpFilterAppType", filter);
    HRESULT status = S_OK;
    if (!manager.Call([command, context]() -> HRESULT {
            TesseraCheck(command->Initialize(context), __uuidof(ITesseraCommand));
            return command->Execute();
        }, &status))
        return false;
    TesseraCheck(status, __uuidof(ITesseraCommand));
    *selected = GetContextItem(context, L"SelectedTesseraObjects");
    return true;
}

SAFEARRAY* SelectionOf(const _variant_t& selected) {
    if (!(selected.vt & VT_ARRAY)) return nullptr;
    return (selected.vt & VT_BYREF) ? *selected.pparray : selected.parray;
}

// The check-out worker's own copy of the selection, kept as long as the worker runs.
class CCheckoutTask : public CWorkerTask {
public:
    CCheckoutTask(const _variant_t& selection, bool keepCheckedOut) : selection_(selection), keep_(keepCheckedOut) {}
    DWORD Work(const CProgressLink& dialog) override {
        CheckoutThreadParams params;
        params.selection = SelectionOf(selection_);
        params.dialog = &dialog;
        params.keepCheckedOut = keep_;
        return CheckoutThreadProc(&params);
    }

private:
    _variant_t selection_;
    bool keep_;
};

// The worker behind the progress dialog; the copies it hands over are registered and listed. Once
// the user stops waiting, the copies registered so far are forgotten again: nothing opens.
void CheckOutSelection(TSManager& manager, HWND owner, const _variant_t& selection, unsigned selected,
                       bool keepCheckedOut, CCheckoutHandover& handover) {
    CProgressDlg dialog(owner);
    dialog.SetCaption(VxLoadString(IDS_CHECKOUT_CAPTION));
    if (selected == 1) dialog.DisableCancel();
    dialog.SetPatience(manager.Patience());
    handover.Attach(dialog);
    if (!dialog.RunWorker(std::make_shared<CCheckoutTask>(selection, keepCheckedOut)).answered) handover.Forget();
}

}  // namespace

bool OpenDocuments(TSManager& manager, CheckoutSink& sink, HWND parent, const wchar_t* filter, ASPathName** items,
                   ASUns16* count, bool keepCheckedOut) {
    if (!HasConnectedServer(manager)) return false;
    ITesseraDMS* dms = manager.GetDms();
    if (!items || !count || !dms) return false;

    ASPathName* list = nullptr;
    unsigned selected = 0;
    CCheckoutHandover handover(sink);
    try {
        if (SessionCount(dms) <= 0) return false;
        HWND owner = parent ? parent : manager.GetParentWindow();
        _variant_t selection;
        if (!Browse(manager, owner, filter, &selection)) return false;
        LONG lowerBound = 0;
        selected = SelectionCount(SelectionOf(selection), &lowerBound);
        // An empty browse result never reaches the worker: it would have nothing to close the dialog with.
        if (selected > 0) list = static_cast<ASPathName*>(VxMalloc(static_cast<ASUns32>(selected * sizeof(ASPathName))));
        if (list) {
            std::fill(list, list + selected, nullptr);
            handover.Into(list, selected);
            CheckOutSelection(manager, owner, selection, selected, keepCheckedOut, handover);
        }
    } catch (const _com_error&) {
        // The documents delivered so far stay the caller's.
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION("TSCheckout", "Tessera_OpenDialog_Internal");
    }

    const ASUns16 delivered = handover.Count();
    if (delivered == 0) {
        if (list) VxFree(list);
        *items = nullptr;
        *count = 0;
        return false;
    }
    if (delivered < selected) {
        // A list the host cannot shrink is still a valid, longer one.
        try {
            if (auto* shorter = static_cast<ASPathName*>(VxRealloc(list, static_cast<ASUns32>(delivered * sizeof(ASPathName)))))
                list = shorter;
        } catch (...) {
            VX_LOG_CURRENT_EXCEPTION("TSCheckout", "Tessera_OpenDialog_Internal");
        }
    }
    *items = list;
    *count = delivered;
    return true;
}
