#include "Server.h"

#include <TesseraDMS.h>

#include <mutex>
#include <string>

#include "Objects.h"
#include "tessera/StandIn.h"

namespace tessera {
namespace {

std::atomic<long> serverLocks{0};

using Creator = HRESULT (*)(REFIID iid, void** out);

template <typename T>
HRESULT Create(REFIID iid, void** out) {
    auto object = MakeObject<T>(ResolveStoreFolder());
    return object->QueryInterface(iid, out);
}

template <>
HRESULT Create<CommandContext>(REFIID iid, void** out) {
    return MakeObject<CommandContext>()->QueryInterface(iid, out);
}

// Lives as long as the module: its counts only keep the module loaded.
class ClassFactory final : public IClassFactory {
public:
    ClassFactory(const CLSID& clsid, const wchar_t* name, Creator create)
        : clsid_(clsid), name_(name), create_(create) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++serverLocks + 1); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--serverLocks + 1); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++serverLocks : --serverLocks;
        return S_OK;
    }

    const CLSID& Clsid() const { return clsid_; }
    const wchar_t* Name() const { return name_; }

private:
    const CLSID& clsid_;
    const wchar_t* name_;
    Creator create_;
};

ClassFactory* Factories() {
    static ClassFactory factories[] = {
        {CLSID_TesseraDMS, L"Tessera DMS", &Create<Dms>},
        {CLSID_TesseraCommandContext, L"Tessera command context", &Create<CommandContext>},
        {CLSID_TesseraOpenCommand, L"Tessera open command", &Create<OpenCommand>},
        {CLSID_TesseraImportCommand, L"Tessera import command", &Create<ImportCommand>},
    };
    return factories;
}
constexpr size_t kFactoryCount = 4;

std::wstring ClsidText(const CLSID& clsid) {
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, ARRAYSIZE(text));
    return text;
}

LSTATUS SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
    // The byte count includes the terminating NUL.
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::mutex registrationMutex;
DWORD cookies[kFactoryCount] = {};

}  // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (size_t i = 0; i < kFactoryCount; ++i)
        if (clsid == Factories()[i].Clsid()) return Factories()[i].QueryInterface(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() { return LiveObjects() == 0 && serverLocks == 0 ? S_OK : S_FALSE; }

HRESULT RegisterServer(HMODULE module) {
    wchar_t path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(module, path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path)) return E_FAIL;
    for (size_t i = 0; i < kFactoryCount; ++i) {
        std::wstring keyPath = L"CLSID\\" + ClsidText(Factories()[i].Clsid());
        UniqueKey classKey, serverKey;
        LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                         classKey.put(), nullptr);
        if (status == ERROR_SUCCESS) status = SetText(classKey.get(), nullptr, Factories()[i].Name());
        if (status == ERROR_SUCCESS)
            status = RegCreateKeyExW(classKey.get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr,
                                     serverKey.put(), nullptr);
        if (status == ERROR_SUCCESS) status = SetText(serverKey.get(), nullptr, path);
        // Free-threaded objects: callers on any apartment or none get them without a proxy.
        if (status == ERROR_SUCCESS) status = SetText(serverKey.get(), L"ThreadingModel", L"Both");
        if (status != ERROR_SUCCESS) {
            UnregisterServer();
            return HRESULT_FROM_WIN32(status);
        }
    }
    return S_OK;
}

HRESULT UnregisterServer() {
    HRESULT result = S_OK;
    for (size_t i = 0; i < kFactoryCount; ++i) {
        std::wstring keyPath = L"CLSID\\" + ClsidText(Factories()[i].Clsid());
        LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, keyPath.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) result = HRESULT_FROM_WIN32(status);
    }
    return result;
}

}  // namespace tessera

HRESULT TesseraRegisterClassObjects() {
    std::lock_guard<std::mutex> hold(tessera::registrationMutex);
    for (size_t i = 0; i < tessera::kFactoryCount; ++i) {
        if (tessera::cookies[i]) continue;
        HRESULT hr = CoRegisterClassObject(tessera::Factories()[i].Clsid(), &tessera::Factories()[i],
                                           CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &tessera::cookies[i]);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void TesseraRevokeClassObjects() {
    std::lock_guard<std::mutex> hold(tessera::registrationMutex);
    for (auto& cookie : tessera::cookies) {
        if (cookie) CoRevokeClassObject(cookie);
        cookie = 0;
    }
}
