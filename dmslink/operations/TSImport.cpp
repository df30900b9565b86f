// The DMS's import command: a new DMS document for a file (Save to the DMS).
#include <wchar.h>

#include "Files/CAPFileSpecifier.h"
#include "dms/TesseraClient.h"
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

struct ImportDescription {
    std::wstring text;
    bool known = true;            // false: the file's name could not be read (a null description)
    const wchar_t* type = nullptr;
};

ImportDescription DescribeForImport(const std::wstring& path) {
    ImportDescription description;
    if (path.empty()) return description;
    CAPFileSpecifier file(path.c_str());
    wchar_t name[kCAPMaxPath] = {};
    if (!file.GetFileName(name, kCAPMaxPath)) {
        description.known = false;
        return description;
    }
    wchar_t extension[kCAPMaxPath] = {};
    if (!file.GetExtension(extension, kCAPMaxPath)) {
        description.text = name;
        return description;
    }
    size_t nameLength = wcslen(name), extensionLength = wcslen(extension);
    description.text = std::wstring(name, nameLength >= extensionLength ? nameLength - extensionLength : 0);
    if (extension[0]) description.type = ApplicationType(extension);
    return description;
}

}  // namespace

bool CImportCommand::Execute(TSManager& manager, const std::wstring& path, ITesseraDocument* original,
                             const std::wstring* text) {
    if (!HasConnectedServer(manager)) return false;
    ITesseraDMS* dms = manager.GetDms();
    if (!dms || SessionCount(dms) <= 0) return false;
    if (!CreateDmsObject(CLSID_TesseraCommandContext, context_) || !CreateDmsObject(CLSID_TesseraImportCommand, command_))
        return false;

    ImportDescription description = DescribeForImport(path);
    if (text) {
        description.text = *text;
        description.known = true;
    }
    LONG saveAsType = 29;
    AddArrayItem(context_, L"TesseraExt2.SaveAsOptionCmd.SaveAsTypesArray", VT_I4, &saveAsType);
    AddTextItem(context_, L"TesseraExt.Import.DocDescription", description.known ? description.text.c_str() : nullptr);
    AddTextItem(context_, L"TesseraExt.Import.DocType", description.type);
    AddWindowItem(context_, manager.GetParentWindow());
    AddUnknownItem(context_, L"TesseraDMS", dms);
    if (original) AddUnknownItem(context_, L"TesseraExt.Import.OriginalDocument", original);

    ITesseraCommandPtr command = command_;
    ITesseraCommandContextPtr context = context_;
    HRESULT executed = S_OK;
    abandoned_ = !manager.Call([command, context]() -> HRESULT {
        TesseraCheck(command->Initialize(context), __uuidof(ITesseraCommand));
        TesseraCheck(command->Update(), __uuidof(ITesseraCommand));
        return command->Execute();
    }, &executed);
    if (abandoned_) return false;
    TesseraCheck(executed, __uuidof(ITesseraCommand));
    return executed == S_OK;
}

DmsDocumentPtr CImportCommand::TakeImportedDocument() {
    _variant_t imported = GetContextItem(context_, L"ImportedDocument");
    IUnknown* object = imported.vt == VT_DISPATCH ? imported.pdispVal : imported.vt == VT_UNKNOWN ? imported.punkVal : nullptr;
    DmsDocumentPtr holder = std::make_unique<DmsDocumentHolder>();
    if (object) object->QueryInterface(__uuidof(ITesseraDocument), reinterpret_cast<void**>(&holder->document));
    return holder->document ? std::move(holder) : nullptr;
}
