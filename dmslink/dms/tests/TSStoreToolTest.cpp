// A store seeded only through tessera-store.exe's command line, then read through TSManager, as an
// admin's seeding and the plug-in meet in real use.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "VxHostedTest.h"
#include "dms/TSManager.h"
#include "Utilities/CAPHandles.h"
#include "dms/TesseraClient.h"
#include "tessera/StandIn.h"

namespace {

// Runs tessera-store.exe (beside this executable) with the arguments; its exit code, or -1.
int RunStoreTool(const std::wstring& arguments) {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring tool(exe);
    tool = tool.substr(0, tool.find_last_of(L'\\')) + L"\\tessera-store.exe";
    std::wstring command = L"\"" + tool + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(tool.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
        return -1;
    CAPHandle thread(process.hThread), child(process.hProcess);
    if (WaitForSingleObject(child.get(), 60000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(child.get(), &code);
    return static_cast<int>(code);
}

class TSStoreToolTest : public VxHostedTest {
protected:
    void SetUp() override {
        VxHostedTest::SetUp();
        ASSERT_EQ(TesseraRegisterClassObjects(), S_OK);
        SetEnvironmentVariableW(L"TESSERA_STORE", store_.path().c_str());
    }
    void TearDown() override {
        TesseraRevokeClassObjects();
        SetEnvironmentVariableW(L"TESSERA_STORE", nullptr);
        VxHostedTest::TearDown();
    }
    std::wstring Store() const { return L"--store \"" + store_.path() + L"\" "; }

    CAPComApartment com_{CoInitialize(nullptr)};
    VxTempFolder store_;
    VxTempFolder files_;
};

TEST_F(TSStoreToolTest, WhatTheToolSeedsThePluginFinds) {
    std::wstring content = files_ / L"Lease.pdf";
    ASSERT_TRUE(VxWriteFile(content, "%PDF-1.4\n% lease\n%%EOF\n"));
    ASSERT_EQ(RunStoreTool(Store() + L"add-server SRV1"), 0);
    ASSERT_EQ(RunStoreTool(Store() + L"add-database SRV1 DOCS"), 0);
    ASSERT_EQ(RunStoreTool(Store() + L"add-user SRV1 jdoe secret --name \"Jane Doe\""), 0);
    ASSERT_EQ(RunStoreTool(Store() + L"add-document SRV1 DOCS \"" + content +
                           L"\" --number 1234 --description Lease --author jdoe"),
              0);
    EXPECT_NE(RunStoreTool(Store() + L"add-database NOSUCH DOCS"), 0);

    TSServerList servers;
    TSManager manager(host().MainWindow(), servers);
    ASSERT_TRUE(manager.IsDmsAvailable());
    servers.AddServer(L"SRV1", L"jdoe", L"secret", false, true);
    EXPECT_EQ(manager.GetDocument(L"SRV1", L"DOCS", 1234, 1), nullptr);  // not connected yet
    TSServerEntry* entry = servers.FindServer(L"SRV1");
    ASSERT_NE(entry, nullptr);
    EXPECT_FALSE(manager.Login(L"SRV1", false, L"jdoe", L"wrong"));
    entry->connected = manager.Login(L"SRV1", false, L"jdoe", L"secret");
    ASSERT_TRUE(entry->connected);

    DmsDocumentPtr found = manager.GetDocument(L"SRV1", L"DOCS", 1234, 1);
    ASSERT_NE(found, nullptr);
    ITesseraDocument* document = found->document;
    long number = 0, version = 0, size = 0;
    ASSERT_EQ(document->get_Number(&number), S_OK);
    ASSERT_EQ(document->get_Version(&version), S_OK);
    ASSERT_EQ(document->get_Size(&size), S_OK);
    EXPECT_EQ(number, 1234);
    EXPECT_EQ(version, 1);
    EXPECT_EQ(size, 23);
    EXPECT_EQ(TesseraGetText(document, &ITesseraDocument::get_Description), L"Lease");
    EXPECT_EQ(TesseraGetText(document, &ITesseraDocument::get_Extension), L"pdf");
    EXPECT_EQ(manager.GetDocument(L"SRV1", L"DOCS", 1234, 2), nullptr);
}

}  // namespace
