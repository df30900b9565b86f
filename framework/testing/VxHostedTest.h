// VxHostedTest.h - a fixture that runs the test executable's own copy of the framework inside a
// host stand-in: the host is made, this executable gets an extension identity, PISetupSDK imports the
// host's tables, and the test calls module code directly with real host objects. TearDown fails the
// test on any leaked or doubly released host object.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "vxhost/Host.h"

class VxHostedTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    vxhost::Host& host() { return *host_; }
    vxhost::Extension* extension() { return extension_; }

    // Options of the host made in SetUp; override to change them.
    virtual vxhost::HostOptions MakeHostOptions();
    // Host objects the test is about to leave for the host to reclaim on purpose (rare).
    void ExpectLeaks(size_t count) { expectedLeaks_ = count; }

private:
    std::unique_ptr<vxhost::Host> host_;
    vxhost::Extension* extension_ = nullptr;
    size_t expectedLeaks_ = 0;
};

// A folder under %TEMP% made for one test and removed with everything in it.
class VxTempFolder {
public:
    VxTempFolder();
    ~VxTempFolder();
    VxTempFolder(const VxTempFolder&) = delete;
    VxTempFolder& operator=(const VxTempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Writes bytes to a file; true on success.
bool VxWriteFile(const std::wstring& path, const std::string& bytes);
std::string VxReadFile(const std::wstring& path);
