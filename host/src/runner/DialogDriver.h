// The helper thread of a scenario step: while the step's action runs on the main thread (and so
// sits in a dialog's modal loop), it finds the dialogs of the main thread, answers the expected
// ones through their controls, photographs every dialog, and gives up on any wait after a timeout.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "vxhost/Scenario.h"

namespace vxhost {

class DialogDriver {
public:
    // Starts on the main thread (the thread whose dialogs it watches).
    DialogDriver(Host& host, std::vector<DialogAnswer> answers, std::wstring shots, std::string shotPrefix,
                 DWORD timeoutMs);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Ends the helper (pumping sent messages meanwhile) and reports expected dialogs never seen.
    void Stop();
    std::vector<std::string> Problems();
    std::vector<std::wstring> Shots();

    // Called by the message hook on the main thread when a dialog is about to close.
    void OnClosing(HWND dialog);
    // The helper thread's body.
    void RunLoop();

private:
    struct Seen {
        std::wstring caption;
        ULONGLONG since;
        bool answered = false;
        bool shot = false;
        bool givenUp = false;
        std::wstring file;
    };
    bool Answer(HWND dialog, const DialogAnswer& answer);
    bool Choose(HWND dialog, const DialogAnswer& answer);
    // Photographs the dialog into *file (a new name when empty) and journals it.
    void Shoot(HWND dialog, const std::wstring& caption, std::wstring* file);
    std::wstring ShotFile(const std::wstring& caption);
    void Problem(const std::string& text);

    Host& host_;
    std::vector<DialogAnswer> answers_;
    std::wstring shots_;
    std::string prefix_;
    DWORD timeoutMs_;
    DWORD mainThread_;
    HHOOK hook_ = nullptr;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;  // seen_, problems_, files_
    std::map<HWND, Seen> seen_;
    std::vector<std::string> problems_;
    std::vector<std::wstring> files_;
    std::set<std::wstring> names_;
    size_t next_ = 0;
    HANDLE thread_ = nullptr;
    bool stopped_ = false;
};

// The caption of a window ("" when it has none).
std::wstring WindowCaption(HWND window);

}  // namespace vxhost
