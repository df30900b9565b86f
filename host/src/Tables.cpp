// The entries of the host's tables. Each reaches the one Host through Host::Current() and answers
// its documented fallback when there is none.
#include <cstdlib>
#include <cstring>

#include "Objects.h"

namespace vxhost {

namespace {

constexpr size_t kOtherTableSize = 16;
const wchar_t kEmpty[] = L"";

std::string Hex(const void* p) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "%p", p);
    return buffer;
}

template <class T>
void Put(std::vector<void*>& table, int index, T proc) {
    table.at(index) = reinterpret_cast<void*>(proc);
}

HostObject* FindResourceObject(Host* h, ObjectKind kind, ASInt32 resourceId, ExtensionID id, const char* user) {
    Extension* ext = h->FindExtension(id);
    if (!ext || !ext->module) {
        h->Objects().RecordError(std::string(user) + " given unknown extension " + Hex(id));
        return nullptr;
    }
    HRSRC resource = FindResourceW(ext->module, MAKEINTRESOURCEW(resourceId), L"PNG");
    HGLOBAL loaded = resource ? LoadResource(ext->module, resource) : nullptr;
    if (!loaded || !LockResource(loaded)) {
        h->Record(std::string(user) + " missing PNG " + std::to_string(resourceId) + " of " + ext->DisplayName());
        return nullptr;
    }
    size_t size = SizeofResource(ext->module, resource);
    return h->Objects().Add(std::make_unique<ImageObject>(kind, resourceId, size, ext));
}

// The host, with the entry's call recorded against it when it comes from another thread than the
// host's main thread: every entry is for the main thread only.
Host* Current(const char* entry) {
    Host* h = Host::Current();
    if (h) h->CheckThread(entry);
    return h;
}

// The host for an entry that makes or fetches something: while a fault is armed the call counts,
// and the armed one raises instead of answering.
Host* Making(const char* entry) {
    Host* h = Current(entry);
    if (h) h->CountMakingCall(entry);
    return h;
}

// ---- core

ASInt32 VXAPI CoreGetExceptionErrorCode() {
    Host* h = Current("core 4");
    return h ? h->LastError() : 0;
}

ASAtom VXAPI CoreAtomFromString(const char* name) {
    Host* h = Making("core 5");
    if (!h || !name) return 0;
    h->Record(std::string("atom:") + name);
    return h->Atom(name);
}

HFT VXAPI CoreGetHFTByName(ASAtom name, ASUns32* version) {
    Host* h = Making("core 10");
    if (!h) return nullptr;
    return h->GetTable(h->AtomName(name), version);
}

void VXAPI CoreRaise(ASInt32 code, const char* file, ASInt32 line, const char* function) {
    Host* h = Current("core 17");
    std::string where = std::string(function ? function : "?") + " " + (file ? file : "?") + ":" + std::to_string(line);
    if (h) h->Raise(code, where.c_str());
    throw new CVxException{code};
}

void VXAPI CoreLog(const char* text) {
    if (Host* h = Current("core 18")) h->AppendLog(text);
}

// ---- "AS"

void* NewBlock(Host* h, ASUns32 size) {
    void* block = std::malloc(size ? size : 1);
    if (block) h->Objects().Add(block, std::make_unique<BlockObject>(size));
    return block;
}

void* VXAPI ASmalloc(ASUns32 size) {
    Host* h = Making("AS 1");
    return h ? NewBlock(h, size) : nullptr;
}

void* VXAPI ASrealloc(void* block, ASUns32 size) {
    Host* h = Making("AS 2");
    if (!h) return nullptr;
    if (!block) return NewBlock(h, size);
    auto* old = h->Objects().UseAs<BlockObject>(block, ObjectKind::Block, "AS 2");
    if (!old) return nullptr;
    // A fresh block rather than realloc: the old address must leave the ledger before it is freed.
    void* moved = std::malloc(size ? size : 1);
    if (!moved) return nullptr;
    std::memcpy(moved, block, old->size < size ? old->size : size);
    h->Objects().Add(moved, std::make_unique<BlockObject>(size));
    if (h->Objects().Release(block, ObjectKind::Block, "AS 2")) std::free(block);
    return moved;
}

void VXAPI ASfree(void* block) {
    Host* h = Current("AS 3");
    if (!h || !block) return;
    // Freed only when it is one of ours and still live: anything else is recorded, never touched.
    if (h->Objects().Release(block, ObjectKind::Block, "AS 3")) std::free(block);
}

HFTServer VXAPI ASNewHFTServer(const char* name, HFTServerProvideProc provider, HFTServerDestroyProc destroy,
                               void* clientData) {
    Host* h = Making("AS 6");
    if (!h) return nullptr;
    if (!name || !provider) {
        h->Objects().RecordError("AS 6 given no name or no provider");
        return nullptr;
    }
    auto* server = h->Objects().Add(std::make_unique<ServerObject>(name, provider, destroy, clientData));
    h->AddServer(server, name);
    h->Record(std::string("server-new:") + name);
    return server;
}

void VXAPI ASDestroyHFTServer(HFTServer handle) {
    Host* h = Current("AS 7");
    if (!h) return;
    auto* server = h->Objects().UseAs<ServerObject>(handle, ObjectKind::Server, "AS 7");
    if (!server) return;
    if (server->destroying) {
        h->Objects().RecordError("AS 7 called again from the destroy procedure of \"" + server->name + "\"");
        return;
    }
    server->destroying = true;
    h->Record("server-destroy:" + server->name);
    h->ForgetServer(handle);
    if (server->destroy) {
        HFTServerDestroyProc destroy = server->destroy;
        void* clientData = server->clientData;
        h->Guarded("server destroy procedure", [&] { destroy(handle, clientData); });
    }
    h->Objects().Release(handle, ObjectKind::Server, "AS 7");
}

HFT VXAPI ASNewHFT(HFTServer handle, ASUns32 entryCount) {
    Host* h = Making("AS 8");
    if (!h) return nullptr;
    auto* server = h->Objects().UseAs<ServerObject>(handle, ObjectKind::Server, "AS 8");
    if (!server) return nullptr;
    auto table = std::make_unique<TableObject>(handle, server->name, entryCount);
    HFT slots = table->slots.data();
    h->Objects().Add(slots, std::move(table));
    h->Record("table-new:" + server->name + " " + std::to_string(entryCount));
    return slots;
}

void VXAPI ASDestroyHFT(HFT table) {
    Host* h = Current("AS 9");
    if (!h) return;
    if (!table) {
        h->Objects().RecordError("AS 9 given null");
        return;
    }
    if (auto* t = h->Objects().UseAs<TableObject>(table, ObjectKind::Table, "AS 9")) {
        h->Record("table-destroy:" + t->serverName);
        h->Objects().Release(table, ObjectKind::Table, "AS 9");
    }
}

ASFileSys VXAPI ASGetDefaultFileSys() {
    Host* h = Making("AS 21");
    return h ? h->DefaultFileSys() : nullptr;
}

PathObject* UsePath(Host* h, ASFileSys fs, ASPathName path, const char* user) {
    if (!h->IsFileSys(fs)) h->Objects().RecordError(std::string(user) + " given unknown file system " + Hex(fs));
    return h->Objects().UseAs<PathObject>(path, ObjectKind::Path, user);
}

ASPathName VXAPI ASFileSysCopyPath(ASFileSys fs, ASPathName path) {
    Host* h = Making("AS 24");
    if (!h) return nullptr;
    PathObject* p = UsePath(h, fs, path, "AS 24");
    return p ? h->Objects().Add(std::make_unique<PathObject>(p->path)) : nullptr;
}

void VXAPI ASFileSysReleasePath(ASFileSys fs, ASPathName path) {
    Host* h = Current("AS 25");
    if (!h || !path) return;
    if (!h->IsFileSys(fs)) h->Objects().RecordError("AS 25 given unknown file system " + Hex(fs));
    h->Objects().Release(path, ObjectKind::Path, "AS 25");
}

ASInt32 VXAPI ASFileSysRemove(ASFileSys fs, ASPathName path) {
    Host* h = Current("AS 27");
    if (!h) return kErrGeneral;
    PathObject* p = UsePath(h, fs, path, "AS 27");
    if (!p) return kErrBadParameter;
    h->Record("remove:" + ToUtf8(p->path));
    if (DeleteFileW(p->path.c_str())) return 0;
    DWORD error = GetLastError();
    return error ? static_cast<ASInt32>(error) : kErrGeneral;
}

ASPathName VXAPI ASFileGetPath(ASFile file) {
    Host* h = Making("AS 37");
    if (!h) return nullptr;
    Document* doc = h->FindDocumentByFile(file);
    if (!doc) {
        h->Objects().RecordError("AS 37 given unknown file " + Hex(file));
        return nullptr;
    }
    return h->Objects().Add(std::make_unique<PathObject>(doc->Path()));
}

ASFileSys VXAPI ASFileGetFileSys(ASFile file) {
    Host* h = Making("AS 38");
    if (!h) return nullptr;
    if (!h->FindDocumentByFile(file)) {
        h->Objects().RecordError("AS 38 given unknown file " + Hex(file));
        return nullptr;
    }
    return h->DefaultFileSys();
}

ASPathName VXAPI ASFileSysCreatePath(ASFileSys fs, ASAtom type, const void* pathText, const void* zero) {
    Host* h = Making("AS 52");
    if (!h) return nullptr;
    if (!h->IsFileSys(fs)) {
        h->Objects().RecordError("AS 52 given unknown file system " + Hex(fs));
        return nullptr;
    }
    if (type != h->Atom("Wstring")) {
        h->Record("path-refused:type " + h->AtomName(type));
        return nullptr;
    }
    auto* text = static_cast<const wchar_t*>(pathText);
    if (!text || !*text) return nullptr;
    DWORD needed = GetFullPathNameW(text, 0, nullptr, nullptr);
    if (needed == 0) return nullptr;
    std::wstring full(needed, L'\0');
    DWORD written = GetFullPathNameW(text, needed, &full[0], nullptr);
    if (written == 0 || written >= needed) return nullptr;
    full.resize(written);
    return h->Objects().Add(std::make_unique<PathObject>(full));
}

ASInt32 VXAPI ASFileSysDisplayText(ASFileSys fs, ASPathName path, ASText out) {
    Host* h = Making("AS 99");
    if (!h) return kErrGeneral;
    PathObject* p = UsePath(h, fs, path, "AS 99");
    auto* text = h->Objects().UseAs<TextObject>(out, ObjectKind::Text, "AS 99");
    if (!p || !text) return kErrBadParameter;
    text->value = p->path;
    return 0;
}

// ---- "ASExtra"

ASText VXAPI ASTextNew() {
    Host* h = Making("ASExtra 3");
    return h ? h->Objects().Add(std::make_unique<TextObject>(L"")) : nullptr;
}

ASText VXAPI ASTextFromUnicode(const wchar_t* text, ASInt32 format) {
    Host* h = Making("ASExtra 4");
    return h ? h->Objects().Add(std::make_unique<TextObject>(text ? text : L"")) : nullptr;
}

void VXAPI ASTextDestroy(ASText text) {
    Host* h = Current("ASExtra 12");
    if (h && text) h->Objects().Release(text, ObjectKind::Text, "ASExtra 12");
}

const wchar_t* VXAPI ASTextGetUnicode(ASText text) {
    Host* h = Making("ASExtra 21");
    if (!h) return kEmpty;
    auto* t = h->Objects().UseAs<TextObject>(text, ObjectKind::Text, "ASExtra 21");
    return t ? t->value.c_str() : kEmpty;
}

void VXAPI ASTextSetUnicode(ASText text, const wchar_t* value) {
    Host* h = Making("ASExtra 36");
    if (!h) return;
    if (auto* t = h->Objects().UseAs<TextObject>(text, ObjectKind::Text, "ASExtra 36")) t->value = value ? value : L"";
}

// ---- "PDModel"

ASFile VXAPI PDDocGetFile(PDDoc doc) {
    Host* h = Making("PDModel 79");
    if (!h) return nullptr;
    Document* d = h->FindDocument(doc);
    if (!d) {
        h->Objects().RecordError("PDModel 79 given unknown document " + Hex(doc));
        return nullptr;
    }
    return d->asFile();
}

// ---- "AppView"

ASAtom VXAPI AVAppGetName() {
    Host* h = Making("AppView 9");
    if (!h) return 0;
    h->Record("app-name");
    return h->Atom(h->Options().appName);
}

AVDoc VXAPI AVAppGetActiveDoc() {
    Host* h = Making("AppView 12");
    if (!h) return nullptr;
    Document* doc = h->ActiveDocument();
    return doc ? doc->avDoc() : nullptr;
}

void VXAPI AVAppRegisterIdleProc(AVIdleProc proc, void* clientData, ASUns32 period) {
    Host* h = Making("AppView 39");
    if (!h) return;
    if (proc) h->RegisterIdle(proc, clientData, period);
}

void VXAPI AVAppUnregisterIdleProc(AVIdleProc proc, void* clientData) {
    Host* h = Current("AppView 41");
    if (!h) return;
    h->UnregisterIdle(proc, clientData);
}

void VXAPI AVAppRegisterNotification(ASInt32 notification, ExtensionID owner, void* proc, void* clientData) {
    Host* h = Making("AppView 43");
    if (!h) return;
    if (proc) h->RegisterNotification(notification, owner, proc, clientData);
}

PDDoc VXAPI AVDocGetPDDoc(AVDoc view) {
    Host* h = Making("AppView 50");
    if (!h) return nullptr;
    Document* doc = h->FindDocumentByView(view);
    if (!doc) {
        h->Objects().RecordError("AppView 50 given unknown view " + Hex(view));
        return nullptr;
    }
    return doc->pdDoc();
}

ASUns32 VXAPI AVSysGetModifiers() {
    Host* h = Making("AppView 166");
    return h ? h->Modifiers() : 0;
}

AVDoc VXAPI AVDocOpenFromFile(ASPathName path, ASFileSys fs, void* zero) {
    Host* h = Making("AppView 497");
    if (!h) throw new CVxException{kErrGeneral};
    PathObject* p = UsePath(h, fs, path, "AppView 497");
    if (!p) h->Raise(kErrBadParameter, "AppView 497 without a path");
    return h->OpenDocumentOrRaise(p->path)->avDoc();
}

AVRibbon VXAPI AVAppGetRibbon() {
    Host* h = Making("AppView 559");
    if (!h) return nullptr;
    return &h->GetRibbon();
}

HWND VXAPI AVAppGetMainWindow() {
    Host* h = Making("AppView 567");
    return h ? h->MainWindow() : nullptr;
}

ASInt32 VXAPI AVAppQuery(ASInt32 selector) {
    Host* h = Making("AppView 663");
    if (h) h->Record("query:" + std::to_string(selector));
    return 0;
}

void* VXAPI AVAppTakeImageStrip(ASInt32 resourceId, ASInt32 zero, ExtensionID ext) {
    Host* h = Making("AppView 665");
    if (!h) return nullptr;
    h->Record("strip-take:" + std::to_string(resourceId));
    return FindResourceObject(h, ObjectKind::ImageStrip, resourceId, ext, "AppView 665");
}

void VXAPI AVAppReturnImageStrip(void* strip) {
    Host* h = Current("AppView 667");
    if (!h || !strip) return;
    h->Record("strip-return");
    h->Objects().Release(strip, ObjectKind::ImageStrip, "AppView 667");
}

bool IsRibbon(Host* h, AVRibbon ribbon, const char* user) {
    if (ribbon == &h->GetRibbon()) return true;
    h->Objects().RecordError(std::string(user) + " given unknown ribbon " + Hex(ribbon));
    return false;
}

ASBool VXAPI AVRibbonRemovePanel(AVRibbon ribbon, ASAtom category, ASAtom panel) {
    Host* h = Current("AppView 733");
    if (!h) return 0;
    std::string names = h->AtomName(category) + " " + h->AtomName(panel);
    h->Record("ribbon-remove-panel:" + names);
    if (!IsRibbon(h, ribbon, "AppView 733")) return 0;
    if (h->GetRibbon().RemovePanel(h->AtomName(category), h->AtomName(panel))) return 1;
    h->Record("ribbon-absent:" + names);
    return 0;
}

ASBool VXAPI AVRibbonRemoveButton(AVRibbon ribbon, ASAtom category, ASAtom panel, ASAtom button) {
    Host* h = Current("AppView 740");
    if (!h) return 0;
    std::string names = h->AtomName(category) + " " + h->AtomName(panel) + " " + h->AtomName(button);
    h->Record("ribbon-remove-button:" + names);
    if (!IsRibbon(h, ribbon, "AppView 740")) return 0;
    if (h->GetRibbon().RemoveButton(h->AtomName(category), h->AtomName(panel), h->AtomName(button))) return 1;
    h->Record("ribbon-absent:" + names);
    return 0;
}

void VXAPI AVAlert(ASText text) {
    Host* h = Making("AppView 824");
    if (!h) return;
    if (auto* t = h->Objects().UseAs<TextObject>(text, ObjectKind::Text, "AppView 824")) h->AddAlert(t->value);
}

AVRibbonItem VXAPI AVRibbonAddItem(AVRibbon ribbon, ASAtom at, AVIcon image, ASText title, ASInt32 mode) {
    Host* h = Making("AppView 885");
    if (!h) return nullptr;
    if (!IsRibbon(h, ribbon, "AppView 885")) return nullptr;
    ImageObject* icon = image ? h->Objects().UseAs<ImageObject>(image, ObjectKind::Icon, "AppView 885") : nullptr;
    TextObject* text = title ? h->Objects().UseAs<TextObject>(title, ObjectKind::Text, "AppView 885") : nullptr;
    std::wstring titleText = text ? text->value : std::wstring();
    std::string atName = h->AtomName(at);
    h->Record("ribbon-add:" + atName + " " + ToUtf8(titleText));
    RibbonItem* item = h->GetRibbon().AddItemBeside(atName, titleText);
    if (!item) {
        h->Record("ribbon-absent:" + atName);
        return nullptr;
    }
    item->mode = mode;
    if (icon) {
        item->iconResource = icon->resourceId;
        item->iconBytes = icon->bytes;
    }
    return item;
}

void VXAPI AVRibbonItemSetProc(AVRibbonItem handle, AVRibbonProc proc, ASUns32 clientData) {
    Host* h = Making("AppView 886");
    if (!h) return;
    if (!h->GetRibbon().OwnsItem(handle)) {
        h->Objects().RecordError("AppView 886 given unknown ribbon item " + Hex(handle));
        return;
    }
    auto* item = static_cast<RibbonItem*>(handle);
    item->proc = proc;
    item->clientData = clientData;
    item->owner = h->ExtensionOfAddress(reinterpret_cast<const void*>(proc));
    char cd[16];
    snprintf(cd, sizeof cd, "0x%x", clientData);
    h->Record("ribbon-set-proc:" + item->name + " " + cd);
}

void VXAPI AVRibbonBeforeCommand(AVRibbon ribbon) {
    Host* h = Current("AppView 888");
    if (!h) return;
    h->Record("ribbon-before-command");
    IsRibbon(h, ribbon, "AppView 888");
}

AVIcon VXAPI AVIconLoadPNG(ASInt32 resourceId, ExtensionID ext) {
    Host* h = Making("AppView 889");
    if (!h) return nullptr;
    h->Record("icon-load:" + std::to_string(resourceId));
    return FindResourceObject(h, ObjectKind::Icon, resourceId, ext, "AppView 889");
}

void VXAPI AVIconRelease(AVIcon icon) {
    Host* h = Current("AppView 890");
    if (!h || !icon) return;
    h->Record("icon-release");
    h->Objects().Release(icon, ObjectKind::Icon, "AppView 890");
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void Host::BuildTables() {
    core_.assign(kCoreTableSize, nullptr);
    Put(core_, kCoreGetExceptionErrorCode, CoreGetExceptionErrorCode);
    Put(core_, kCoreAtomFromString, CoreAtomFromString);
    Put(core_, kCoreGetHFTByName, CoreGetHFTByName);
    Put(core_, kCoreRaise, CoreRaise);
    Put(core_, kCoreLog, CoreLog);

    auto& as = tables_["AS"];
    as.assign(kASTableSize, nullptr);
    Put(as, kASmalloc, ASmalloc);
    Put(as, kASrealloc, ASrealloc);
    Put(as, kASfree, ASfree);
    Put(as, kASNewHFTServer, ASNewHFTServer);
    Put(as, kASDestroyHFTServer, ASDestroyHFTServer);
    Put(as, kASNewHFT, ASNewHFT);
    Put(as, kASDestroyHFT, ASDestroyHFT);
    Put(as, kASGetDefaultFileSys, ASGetDefaultFileSys);
    Put(as, kASFileSysCopyPath, ASFileSysCopyPath);
    Put(as, kASFileSysReleasePath, ASFileSysReleasePath);
    Put(as, kASFileSysRemove, ASFileSysRemove);
    Put(as, kASFileGetPath, ASFileGetPath);
    Put(as, kASFileGetFileSys, ASFileGetFileSys);
    Put(as, kASFileSysCreatePath, ASFileSysCreatePath);
    Put(as, kASFileSysDisplayText, ASFileSysDisplayText);

    auto& extra = tables_["ASExtra"];
    extra.assign(kASExtraTableSize, nullptr);
    Put(extra, kASTextNew, ASTextNew);
    Put(extra, kASTextFromUnicode, ASTextFromUnicode);
    Put(extra, kASTextDestroy, ASTextDestroy);
    Put(extra, kASTextGetUnicode, ASTextGetUnicode);
    Put(extra, kASTextSetUnicode, ASTextSetUnicode);

    auto& pd = tables_["PDModel"];
    pd.assign(kPDModelTableSize, nullptr);
    Put(pd, kPDDocGetFile, PDDocGetFile);

    auto& av = tables_["AppView"];
    av.assign(kAppViewTableSize, nullptr);
    Put(av, kAVAppGetName, AVAppGetName);
    Put(av, kAVAppGetActiveDoc, AVAppGetActiveDoc);
    Put(av, kAVAppRegisterIdleProc, AVAppRegisterIdleProc);
    Put(av, kAVAppUnregisterIdleProc, AVAppUnregisterIdleProc);
    Put(av, kAVAppRegisterNotification, AVAppRegisterNotification);
    Put(av, kAVDocGetPDDoc, AVDocGetPDDoc);
    Put(av, kAVSysGetModifiers, AVSysGetModifiers);
    Put(av, kAVDocOpenFromFile, AVDocOpenFromFile);
    Put(av, kAVAppGetRibbon, AVAppGetRibbon);
    Put(av, kAVAppGetMainWindow, AVAppGetMainWindow);
    Put(av, kAVAppQuery, AVAppQuery);
    Put(av, kAVAppTakeImageStrip, AVAppTakeImageStrip);
    Put(av, kAVAppReturnImageStrip, AVAppReturnImageStrip);
    Put(av, kAVRibbonRemovePanel, AVRibbonRemovePanel);
    Put(av, kAVRibbonRemoveButton, AVRibbonRemoveButton);
    Put(av, kAVAlert, AVAlert);
    Put(av, kAVRibbonAddItem, AVRibbonAddItem);
    Put(av, kAVRibbonItemSetProc, AVRibbonItemSetProc);
    Put(av, kAVRibbonBeforeCommand, AVRibbonBeforeCommand);
    Put(av, kAVIconLoadPNG, AVIconLoadPNG);
    Put(av, kAVIconRelease, AVIconRelease);

    for (const char* name : {"COS", "PDFEditRead", "PDFEditWrite", "PDSysFont", "PageContent", "AVExtra", "WIN", "FDF",
                             "PDSRead", "PDSWrite"})
        tables_[name].assign(kOtherTableSize, nullptr);

    // Handshake 0x10000: the plug-in copies the tables from these indices.
    static const struct { int index; const char* name; } legacy[] = {
        {1, "AS"}, {2, "COS"}, {3, "PDModel"}, {4, "PDFEditRead"}, {5, "PDFEditWrite"}, {6, "PDSysFont"},
        {7, "PageContent"}, {8, "AppView"}, {10, "ASExtra"}, {11, "WIN"}, {24, "PDSRead"}, {25, "PDSWrite"},
    };
    legacy_[0] = core_.data();
    for (auto& slot : legacy) legacy_[slot.index] = tables_[slot.name].data();
}

HFT Host::HostTable(const std::string& name) {
    auto it = tables_.find(name);
    return it == tables_.end() ? nullptr : it->second.data();
}

HFT Host::GetTable(const std::string& name, ASUns32* version) {
    Record("hft:" + name);
    if (HFT table = HostTable(name)) return table;
    HFTServer handle = FindServer(name);
    auto* server = handle ? ledger_.UseAs<ServerObject>(handle, ObjectKind::Server, "core 10") : nullptr;
    if (!server) return nullptr;
    Record("provider:" + name);
    HFT table = nullptr;
    HFTServerProvideProc provider = server->provider;
    void* clientData = server->clientData;
    ASUns32 wanted = version ? *version : 0;
    Guarded("server provider", [&] { table = provider(handle, wanted, clientData); });
    return table;
}

}  // namespace vxhost
