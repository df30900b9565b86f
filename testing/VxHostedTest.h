// VxHostedTest.h - runs the test executable's own copy of the framework inside a host stand-in: the
// host fixture makes the host, this executable gets an extension identity, PISetupSDK imports the
// host's tables, and the test calls module code directly with real host objects. TearDown (the host
// fixture's) fails the test on any leaked or doubly released host object.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "vxhost/HostFixture.h"

class VxHostedTest : public vxhost::HostFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    vxhost::Extension* extension() { return extension_; }

private:
    vxhost::Extension* extension_ = nullptr;
};

// A folder under %TEMP% made for one test and removed with everything in it.
class VxTempFolder : public vxhost::TempFolder {
public:
    const std::wstring& path() const { return Path(); }
    std::wstring operator/(const std::wstring& name) const { return File(name); }
};

bool VxWriteFile(const std::wstring& path, const std::string& bytes);
inline std::string VxReadFile(const std::wstring& path) { return vxhost::TempFolder::Read(path); }
