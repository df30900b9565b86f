#include <wchar.h>

#include "Files/CAPFileSpecifier.h"
#include "VxHFT.h"
#include "documents/CDocumentManager.h"
#include "dms/TesseraClient.h"
#include "operations/TSHandles.h"
#include "operations/TSOperations.h"
#include "operations/TSOperationsInternal.h"

using namespace tsops;

namespace {

const struct {
    const wchar_t* extension;
    const wchar_t* type;
} kApplicationTypes[] = {
    {L".pdf", L"PDF"},   {L".doc", L"WORD"},  {L".docx", L"WORDX"},  {L".ppt", L"PPT"},
    {L".pptx", L"PPTX"}, {L".xls", L"EXCEL"}, {L".xlsx", L"EXCELX"}, {L".txt", L"ANSI"},
};

const wchar_t* ApplicationType(const wchar_t* extension) {
    for (const auto& entry : kApplicationTypes)
        if (_wcsicmp(entry.extension, extension) == 0) return entry.type;
    return nullptr;
}

// The import's description and type for the document's file; a null description stands for a name
// that could not be read.
void DescribeForImport(ASPathName path, std::wstring* description, bool* haveDescription, const wchar_t** type) {
    *type = nullptr;
    *haveDescription = true;
    description->clear();
    if (!path) return;
    CAPFileSpecifier file(path);
    wchar_t name[kCAPMaxPath] = {};
    if (!file.GetFileName(name, kCAPMaxPath)) {
        *haveDescription = false;
        return;
    }
    wchar_t extension[kCAPMaxPath] = {};
    if (!file.GetExtension(extension, kCAPMaxPath)) {
        *description = name;
        return;
    }
    size_t nameLength = wcslen(name), extensionLength = wcslen(extension);
    *description = std::wstring(name, nameLength >= extensionLength ? nameLength - extensionLength : 0);
    if (extension[0]) *type = ApplicationType(extension);
}

}  // namespace

ASPathName SaveDocumentAs(TSManager& manager, CDocumentManager& documents, ASPathName path, bool rename) {
    if (!HasConnectedServer(manager)) return nullptr;
    TrackedDocument* source = path ? documents.FindASPathName(path) : nullptr;

    ASPathName result = nullptr;
    try {
        ITesseraDMS* dms = manager.GetDms();
        if (!dms || SessionCount(dms) <= 0) return nullptr;
        ITesseraCommandContextPtr context;
        ITesseraCommandPtr command;
        if (!CreateDmsObject(CLSID_TesseraCommandContext, context) ||
            !CreateDmsObject(CLSID_TesseraImportCommand, command))
            return nullptr;

        std::wstring description;
        bool haveDescription = true;
        const wchar_t* type = nullptr;
        DescribeForImport(path, &description, &haveDescription, &type);

        {
            CSafeArray types(SafeArrayCreateVector(VT_I4, 0, 1));
            if (!types.get()) TesseraCheck(E_OUTOFMEMORY);
            LONG first = 0, saveAsType = 29;
            TesseraCheck(SafeArrayPutElement(types.get(), &first, &saveAsType));
            CVariant value;
            value.get()->vt = VT_ARRAY | VT_I4;
            value.get()->parray = types.Release();
            AddContextItem(context, L"TesseraExt2.SaveAsOptionCmd.SaveAsTypesArray", *value.get());
        }
        AddTextItem(context, L"TesseraExt.Import.DocDescription", haveDescription ? description.c_str() : nullptr);
        AddTextItem(context, L"TesseraExt.Import.DocType", type);
        AddWindowItem(context, manager.GetParentWindow());
        AddUnknownItem(context, L"TesseraDMS", dms);
        if (source && source->dmsDocument)
            AddUnknownItem(context, L"TesseraExt.Import.OriginalDocument", source->dmsDocument->document);

        TesseraCheck(command->Initialize(context), __uuidof(ITesseraCommand));
        TesseraCheck(command->Update(), __uuidof(ITesseraCommand));
        HRESULT executed = command->Execute();
        TesseraCheck(executed, __uuidof(ITesseraCommand));
        if (executed != S_OK) return nullptr;

        if (source && source->dmsDocument) {
            const ITesseraDocumentPtr& original = source->dmsDocument->document;
            if (source->saved)
                CheckinDocument(manager, documents, source->pathName, NewReference(original), false);
            else
                UnlockDocument(manager, NewReference(original));
        }

        CVariant imported;
        GetContextItem(context, L"ImportedDocument", &imported);
        IUnknown* object = imported.get()->vt == VT_DISPATCH  ? imported.get()->pdispVal
                           : imported.get()->vt == VT_UNKNOWN ? imported.get()->punkVal
                                                              : nullptr;
        DmsDocumentPtr holder = std::make_unique<DmsDocumentHolder>();
        if (object) object->QueryInterface(__uuidof(ITesseraDocument), reinterpret_cast<void**>(&holder->document));
        // A record without its DMS document could never be checked in.
        if (!holder->document) return nullptr;

        PDDoc pdDoc = source ? source->pdDoc : nullptr;
        if (rename) {
            long number = 0, version = 0;
            TesseraCheck(holder->document->get_Number(&number), __uuidof(ITesseraDocument));
            TesseraCheck(holder->document->get_Version(&version), __uuidof(ITesseraDocument));
            std::wstring extension =
                TesseraGetText(holder->document.GetInterfacePtr(), &ITesseraDocument::get_Extension);
            std::wstring fileName = FormatTempFileName(number, version, extension);
            CHostPath target;
            {
                CHostPath bare(VxPathFromWide(fileName.c_str()));
                if (!bare) return nullptr;
                target.Reset(documents.AcquireTempPathNameForPath(bare.get()));
            }
            if (!target) return nullptr;
            if (source) documents.SetPendingDocument(source);
            documents.AddDocument(pdDoc, std::move(holder), target.get(), true);
            result = VxCopyPath(VxDefaultFileSys(), target.get());
            documents.SetLastSaveAsPath(result);
        } else {
            // Without a path there is no file to bind the new document to.
            if (!path) return nullptr;
            if (source) documents.SetPendingDocument(source);
            documents.AddDocument(pdDoc, std::move(holder), path, true);
            result = VxCopyPath(VxDefaultFileSys(), path);
            documents.SetLastSaveAsPath(result);
        }
    } catch (...) {
        // The result reached so far stands.
    }
    return result;
}
