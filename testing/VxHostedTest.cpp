#include "VxHostedTest.h"

#include "VxPlugin.h"

void VxHostedTest::SetUp() {
    VxResetForTests();
    HostFixture::SetUp();
    extension_ = host().CreateExtension("VARNELPRO:UnderTest");
    extension_->module = GetModuleHandleW(nullptr);
    VxSDKData data = host().MakeSDKData(extension_, kVxHandshakeV2);
    ASSERT_EQ(PISetupSDK(kVxHandshakeV2, &data), 1);
}

void VxHostedTest::TearDown() {
    VxDestroyHFTServer();
    HostFixture::TearDown();
    VxResetForTests();
}

bool VxWriteFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}
