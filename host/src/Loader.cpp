// Plug-in loading: the host's side of the call order in VarnelSDK.h.
#include <algorithm>

#include "Objects.h"

namespace vxhost {

const char* LoadFailureText(LoadFailure failure) {
    switch (failure) {
    case LoadFailure::None: return "loaded";
    case LoadFailure::LoadLibrary: return "LoadLibraryW failed";
    case LoadFailure::NoPlugInMain: return "no export \"VarnelPlugInMain\"";
    case LoadFailure::NoSetupSDK: return "no export \"PISetupSDK\"";
    case LoadFailure::PlugInMainFailed: return "VarnelPlugInMain failed";
    case LoadFailure::SetupSDKFailed: return "PISetupSDK failed";
    case LoadFailure::LoadCheckRefused: return "refused by its load check";
    }
    return "?";
}

std::string LoadResult::Message() const {
    std::string text = LoadFailureText(failure);
    if (failure == LoadFailure::None && extension) text += " as " + extension->DisplayName();
    if (win32Error) text += " (error " + std::to_string(win32Error) + ")";
    return text;
}

namespace {
std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}
}  // namespace

Extension* Host::OpenPlugin(const std::wstring& path, LoadResult* result) {
    CheckThread("OpenPlugin");
    LoadResult local;
    LoadResult& r = result ? *result : local;
    r.path = path;
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, &full[0], nullptr);
    full.resize(n && n < MAX_PATH ? n : 0);
    if (full.empty()) full = path;
    std::wstring folder = full.substr(0, full.size() - FileNameOf(full).size());
    Record("plugin-open:" + ToUtf8(FileNameOf(full)));

    // The plug-in's own imports resolve beside it (and beside the host executable).
    SetDllDirectoryW(folder.c_str());
    HMODULE module = LoadLibraryW(full.c_str());
    if (!module) {
        r.failure = LoadFailure::LoadLibrary;
        r.win32Error = GetLastError();
        return nullptr;
    }
    auto plugInMain = reinterpret_cast<VarnelPlugInMainProc>(GetProcAddress(module, "VarnelPlugInMain"));
    auto setupSDK = reinterpret_cast<PISetupSDKProc>(GetProcAddress(module, "PISetupSDK"));
    if (!plugInMain || !setupSDK) {
        r.failure = plugInMain ? LoadFailure::NoSetupSDK : LoadFailure::NoPlugInMain;
        FreeLibrary(module);
        return nullptr;
    }
    auto ext = std::make_unique<Extension>();
    ext->path = full;
    ext->fileName = FileNameOf(full);
    ext->module = module;
    ext->plugInMain = plugInMain;
    ext->setupSDK = setupSDK;
    extensions_.push_back(std::move(ext));
    return extensions_.back().get();
}

VxSDKData Host::MakeSDKData(Extension* extension, ASUns32 handshakeVersion) {
    VxSDKData data{};
    data.word0 = 0x5658;  // the host's own words: nothing reads them back
    data.word1 = handshakeVersion;
    if (handshakeVersion == kVxHandshakeV1) {
        data.coreOrLegacy = reinterpret_cast<VxWord>(legacy_);
    } else {
        data.coreOrLegacy = reinterpret_cast<VxWord>(core_.data());
        data.coreVersion = 0x60000;
    }
    data.extensionID = reinterpret_cast<VxWord>(extension);
    return data;
}

LoadResult Host::AdmitPlugin(const std::wstring& path, const LoadOptions& options) {
    LoadResult result;
    Extension* ext = OpenPlugin(path, &result);
    if (!ext) return result;
    const std::string file = ToUtf8(ext->fileName);

    ASBool ok = 0;
    Record("plugin-main:" + file);
    Guarded("VarnelPlugInMain", [&] { ok = ext->plugInMain(&ext->handshake); });
    if (!ok) {
        result.failure = LoadFailure::PlugInMainFailed;
        FreeExtension(ext);
        return result;
    }

    ext->handshakeVersion = options.handshakeVersion;
    ext->sdkData = MakeSDKData(ext, options.handshakeVersion);
    ok = 0;
    Record("plugin-setup:" + file);
    Guarded("PISetupSDK", [&] { ok = ext->setupSDK(options.handshakeVersion, &ext->sdkData); });
    if (!ok) {
        result.failure = LoadFailure::SetupSDKFailed;
        FreeExtension(ext);
        return result;
    }

    ok = 0;
    Record("plugin-loadcheck:" + file);
    if (ext->handshake.loadCheck) Guarded("load check", [&] { ok = ext->handshake.loadCheck(); });
    if (!ok) {
        result.failure = LoadFailure::LoadCheckRefused;
        FreeExtension(ext);
        return result;
    }

    Record("plugin-name:" + file);
    if (ext->handshake.pluginName) Guarded("plug-in name", [&] { ext->nameAtom = ext->handshake.pluginName(); });
    ext->name = AtomName(ext->nameAtom);
    ext->stage = Extension::Stage::Admitted;
    result.extension = ext;
    return result;
}

void Host::CallPluginBool(Extension* ext, VxBoolProc proc, const char* field) {
    Record(std::string("plugin-") + field + ":" + ext->DisplayName());
    if (!proc) {
        Record(std::string("plugin-") + field + "-missing:" + ext->DisplayName());
        return;
    }
    ASBool ok = 0;
    Guarded(field, [&] { ok = proc(); });
    if (!ok) Record(std::string("plugin-") + field + "-false:" + ext->DisplayName());
}

void Host::StartPlugins() {
    CheckThread("StartPlugins");
    std::vector<Extension*> admitted;
    for (auto& ext : extensions_)
        if (ext->stage == Extension::Stage::Admitted && ext->module) admitted.push_back(ext.get());
    for (Extension* ext : admitted) CallPluginBool(ext, ext->handshake.publishHFT, "publish");
    for (Extension* ext : admitted) CallPluginBool(ext, ext->handshake.init, "init");
    for (Extension* ext : admitted) CallPluginBool(ext, ext->handshake.fifth, "fifth");
    for (Extension* ext : admitted) ext->stage = Extension::Stage::Started;
}

std::vector<LoadResult> Host::LoadPlugins(const std::vector<std::wstring>& paths, const LoadOptions& options) {
    std::vector<LoadResult> results;
    for (auto& path : paths) results.push_back(AdmitPlugin(path, options));
    StartPlugins();
    return results;
}

std::vector<LoadResult> Host::LoadPluginFolder(const std::wstring& folder, const LoadOptions& options) {
    std::vector<std::wstring> names;
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((base + L"*.dll").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
    std::vector<std::wstring> paths;
    for (auto& name : names) paths.push_back(base + name);
    return LoadPlugins(paths, options);
}

void Host::FreeExtension(Extension* ext) {
    if (!ext->module) return;
    Record("plugin-free:" + ext->DisplayName());
    // Nothing of the module may be called once it is gone.
    notifications_.erase(std::remove_if(notifications_.begin(), notifications_.end(),
                                        [ext](auto& n) { return n.owner == ext->id(); }),
                         notifications_.end());
    for (auto& idle : idle_)
        if (idle.owner == ext) idle.active = false;
    if (idleDepth_ == 0)
        idle_.erase(std::remove_if(idle_.begin(), idle_.end(), [](auto& e) { return !e.active; }), idle_.end());
    for (auto& category : ribbon_.Categories())
        for (auto& panel : category->panels)
            for (RibbonItem* item : panel->items)
                if (item->owner == ext) item->proc = nullptr;
    FreeLibrary(ext->module);
    ext->module = nullptr;
    ext->stage = Extension::Stage::Unloaded;
}

void Host::UnloadPlugins() {
    CheckThread("UnloadPlugins");
    std::vector<Extension*> loaded;
    for (auto& ext : extensions_)
        if (ext->module && ext->stage != Extension::Stage::Unloaded) loaded.push_back(ext.get());
    for (Extension* ext : loaded) CallPluginBool(ext, ext->handshake.unload, "unload");
    for (Extension* ext : loaded) FreeExtension(ext);
}

Extension* Host::CreateExtension(const std::string& name) {
    auto ext = std::make_unique<Extension>();
    ext->name = name;
    ext->nameAtom = Atom(name);
    ext->stage = Extension::Stage::Started;
    extensions_.push_back(std::move(ext));
    return extensions_.back().get();
}

std::vector<Extension*> Host::Plugins() const {
    std::vector<Extension*> out;
    for (auto& ext : extensions_)
        if (ext->module) out.push_back(ext.get());
    return out;
}

Extension* Host::FindExtension(ExtensionID id) const {
    for (auto& ext : extensions_)
        if (ext.get() == id) return ext.get();
    return nullptr;
}

Extension* Host::FindPlugin(const std::string& name) const {
    for (auto& ext : extensions_)
        if (ext->module && ext->name == name) return ext.get();
    return nullptr;
}

Extension* Host::ExtensionOfAddress(const void* address) const {
    HMODULE module = nullptr;
    if (!address || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        static_cast<LPCWSTR>(address), &module))
        return nullptr;
    for (auto& ext : extensions_)
        if (ext->module == module) return ext.get();
    return nullptr;
}

std::string Host::DescribeLoad(const std::vector<LoadResult>& results) const {
    std::string text;
    for (auto& r : results) text += "  " + ToUtf8(FileNameOf(r.path)) + ": " + r.Message() + "\n";
    return text.empty() ? "  (none)\n" : text;
}

}  // namespace vxhost
