// tessera.dll through its real exports, as regsvr32 and CoCreateInstance use it.
#include "StoreFixture.h"

namespace tessera::test {
namespace {

std::wstring RegistryText(const std::wstring& key, const wchar_t* value) {
    wchar_t text[MAX_PATH * 2] = {};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
        return L"<none>";
    return text;
}

std::wstring ClsidKey(const CLSID& clsid) {
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
}

class ServerTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        comReady_ = true;
        path_ = vxhost::ProgramFolder() + L"\\tessera.dll";
        module_.reset(LoadLibraryW(path_.c_str()));
        ASSERT_TRUE(module_) << "tessera.dll does not load";
    }
    void TearDown() override {
        if (auto unregister = Export("DllUnregisterServer")) unregister();
        module_.reset();
        if (comReady_) CoUninitialize();
        StoreTest::TearDown();
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    Entry Export(const char* name) {
        return module_ ? reinterpret_cast<Entry>(GetProcAddress(module_.get(), name)) : nullptr;
    }

    std::wstring path_;
    UniqueModule module_;
    bool comReady_ = false;
};

TEST_F(ServerTest, RegisteredClassesAreCreatedFromTheDll) {
    Entry registerServer = Export("DllRegisterServer");
    Entry unregisterServer = Export("DllUnregisterServer");
    Entry canUnload = Export("DllCanUnloadNow");
    ASSERT_TRUE(registerServer && unregisterServer && canUnload && Export("DllGetClassObject"));
    ASSERT_EQ(S_OK, registerServer());

    const CLSID* classes[] = {&CLSID_TesseraDMS, &CLSID_TesseraCommandContext, &CLSID_TesseraOpenCommand,
                              &CLSID_TesseraImportCommand};
    for (const CLSID* clsid : classes) {
        EXPECT_EQ(0, _wcsicmp(path_.c_str(), RegistryText(ClsidKey(*clsid), nullptr).c_str()));
        EXPECT_EQ(L"Both", RegistryText(ClsidKey(*clsid), L"ThreadingModel"));
    }

    {
        // mingw's smart pointer creates with CLSCTX_ALL, as the plug-in does.
        ITesseraDMSPtr dms;
        ASSERT_EQ(S_OK, dms.CreateInstance(CLSID_TesseraDMS, nullptr, CLSCTX_ALL));
        ITesseraCommandContextPtr context;
        ASSERT_EQ(S_OK, context.CreateInstance(CLSID_TesseraCommandContext, nullptr, CLSCTX_ALL));
        ITesseraCommandPtr open, import;
        EXPECT_EQ(S_OK, open.CreateInstance(CLSID_TesseraOpenCommand, nullptr, CLSCTX_ALL));
        EXPECT_EQ(S_OK, import.CreateInstance(CLSID_TesseraImportCommand, nullptr, CLSCTX_ALL));

        ITesseraSessionsPtr sessions;
        ASSERT_EQ(S_OK, dms->get_Sessions(&sessions));
        ITesseraSessionPtr session;
        ASSERT_EQ(S_OK, sessions->Add(B(L"DMS1").get(), &session));
        long result = -1;
        EXPECT_EQ(S_OK, session->Login(B(L"jdoe").get(), B(L"secret").get(), &result));
        EXPECT_EQ(0, result) << "the DLL's objects use the store of TESSERA_STORE";
        EXPECT_EQ(S_FALSE, canUnload());
    }
    EXPECT_EQ(S_OK, canUnload());

    ASSERT_EQ(S_OK, unregisterServer());
    EXPECT_EQ(L"<none>", RegistryText(ClsidKey(CLSID_TesseraDMS), nullptr));
    ComRef<ITesseraDMS> gone;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_TesseraDMS, nullptr, CLSCTX_ALL, __uuidof(ITesseraDMS),
                                                    gone.put_void()));
}

}  // namespace
}  // namespace tessera::test
