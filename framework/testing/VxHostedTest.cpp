#include "VxHostedTest.h"

#include <shellapi.h>

#include <fstream>
#include <sstream>

#include "VxPlugin.h"

vxhost::HostOptions VxHostedTest::MakeHostOptions() { return vxhost::HostOptions{}; }

void VxHostedTest::SetUp() {
    VxResetForTests();
    host_ = std::make_unique<vxhost::Host>(MakeHostOptions());
    extension_ = host_->CreateExtension("VARNELPRO:UnderTest");
    extension_->module = GetModuleHandleW(nullptr);
    VxSDKData data = host_->MakeSDKData(extension_, kVxHandshakeV2);
    ASSERT_EQ(PISetupSDK(kVxHandshakeV2, &data), 1);
}

void VxHostedTest::TearDown() {
    VxDestroyHFTServer();
    host_->Shutdown();
    std::vector<std::string> problems = host_->Objects().Problems();
    if (problems.size() != expectedLeaks_) {
        std::string all;
        for (const std::string& problem : problems) all += "  " + problem + "\n";
        ADD_FAILURE() << "host objects leaked or misused:\n" << all;
    }
    host_.reset();
    VxResetForTests();
}

VxTempFolder::VxTempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter;
    for (;;) {
        wchar_t name[64];
        _snwprintf(name, 64, L"vxtest-%lu-%u", GetCurrentProcessId(), ++counter);
        path_ = std::wstring(temp) + name;
        if (CreateDirectoryW(path_.c_str(), nullptr)) break;
    }
}

VxTempFolder::~VxTempFolder() {
    std::wstring list = path_ + L'\0';
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;
    SHFileOperationW(&op);
}

bool VxWriteFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string VxReadFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}
