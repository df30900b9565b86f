// HostFixture.h - a GoogleTest fixture with a fresh Host per test. TearDown closes the documents,
// unloads the plug-ins and fails the test for every leaked host object and every double or
// unknown release.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "vxhost/Host.h"
#include "vxhost/HostCalls.h"

namespace vxhost {

// A new folder under %TEMP%, removed with its contents when the object goes.
class TempFolder {
public:
    TempFolder() {
        wchar_t temp[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        std::wstring base(temp, n > MAX_PATH ? 0 : n);
        static LONG counter = 0;
        for (int attempt = 0; attempt < 1000 && path_.empty(); attempt++) {
            std::wstring candidate = base + L"vxtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                     std::to_wstring(InterlockedIncrement(&counter));
            if (CreateDirectoryW(candidate.c_str(), nullptr)) path_ = candidate;
        }
    }
    ~TempFolder() {
        if (!path_.empty()) RemoveTree(path_);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }
    // Writes a file in the folder and returns its path.
    std::wstring Write(const std::wstring& name, const std::string& bytes) const {
        std::wstring path = File(name);
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            CloseHandle(file);
        }
        return path;
    }
    static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
    static std::string Read(const std::wstring& path) {
        std::string bytes;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return bytes;
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) bytes.append(buffer, read);
        CloseHandle(file);
        return bytes;
    }

    // Deletes a folder with everything in it.
    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring child = folder + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
                else DeleteFileW(child.c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }

private:
    std::wstring path_;
};

// The running program's folder, where the build puts everything a test loads or starts.
inline std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    std::wstring exe(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return exe.substr(0, exe.find_last_of(L'\\'));
}

// Runs a command line to its end (a minute at most): its exit code, with what it wrote to its
// standard output and error in *output.
inline DWORD RunProgram(const std::wstring& commandLine, std::string* output) {
    DWORD code = static_cast<DWORD>(-1);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return code;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    output->clear();
    if (started) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read) output->append(buffer, read);
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return code;
}

class HostFixture : public ::testing::Test, protected HostCalls {
protected:
    // Override to change the host's options; the default logs into the test's temporary folder.
    virtual HostOptions MakeOptions() {
        HostOptions options;
        options.logPath = temp_.File(L"host.log");
        return options;
    }

    void SetUp() override { host_ = std::make_unique<Host>(MakeOptions()); }

    void TearDown() override {
        if (!host_) return;
        host_->Shutdown();
        for (const std::string& problem : host_->Objects().Problems()) ADD_FAILURE() << "host objects: " << problem;
        for (const std::string& call : host_->ThreadViolations()) ADD_FAILURE() << "host entry off the main thread: " << call;
        host_.reset();
    }

    Host& host() { return *host_; }

    HFT Core() { return host_->CoreTable(); }
    HFT AS() { return host_->HostTable("AS"); }
    HFT ASExtra() { return host_->HostTable("ASExtra"); }
    HFT PDModel() { return host_->HostTable("PDModel"); }
    HFT AppView() { return host_->HostTable("AppView"); }

    TempFolder temp_;               // declared first: outlives the host
    std::unique_ptr<Host> host_;
};

}  // namespace vxhost
