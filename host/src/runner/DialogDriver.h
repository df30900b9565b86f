// The helper thread of a scenario step: while the step's action runs on the main thread (and so
// sits in a dialog's modal loop), it finds the dialogs of the main thread, answers the expected
// ones through their controls, photographs every dialog, confirms the host's alert boxes, and gives
// up on any wait after a timeout.
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
    // `shotNames` name the step's dialog screenshots in the order of their first picture, and
    // `alertShotNames` those of its alert boxes ("-": the usual name); with `alertBoxes` the host's
    // alert boxes are photographed and confirmed.
    DialogDriver(Host& host, std::vector<DialogAnswer> answers, std::vector<std::wstring> shotNames,
                 std::vector<std::wstring> alertShotNames, std::wstring shots, std::string shotPrefix, DWORD timeoutMs,
                 bool alertBoxes);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Ends the helper (pumping sent messages meanwhile) and reports expected dialogs never seen.
    void Stop();
    std::vector<std::string> Problems();
    std::vector<std::wstring> Shots();

    // Called by the message hook on the main thread when a dialog is about to close.
    void OnClosing(HWND dialog);
    // Called by the message hook on the main thread for every message it takes from its queue.
    void OnTaken(const MSG& message);
    // Called on the main thread for every alert the host records, before any box shows it.
    void NoteAlert() { alerts_++; }
    // The helper thread's body.
    void RunLoop();

private:
    struct Seen {
        std::wstring caption;
        ULONGLONG since;
        bool answered = false;
        bool shot = false;
        bool givenUp = false;
        bool alert = false;         // one of the host's alert boxes
        std::wstring file;
    };
    bool Awaits(const DialogAnswer& answer, HWND dialog, const std::wstring& caption) const;
    bool Answer(HWND dialog, const std::wstring& caption, const DialogAnswer& answer);
    void AwaitNextAnswer(HWND dialog);
    bool Choose(HWND dialog, const DialogAnswer& answer);
    bool FillServerForm(HWND dialog, const DialogAnswer& answer);
    // "Kept on this computer": selects entries, or presses a button without waiting for what it does.
    bool KeptSelect(HWND dialog, const DialogAnswer& answer);
    bool KeptPress(HWND dialog, const DialogAnswer& answer);
    void RecordKeptWindow(HWND dialog);
    // Between a press of the window's button and the end of what it does, the window takes no answer.
    bool KeptWindowReady(HWND dialog) const;
    void ConfirmAlert(HWND dialog, const std::wstring& caption);
    bool IsAlertBox(HWND dialog, const std::wstring& caption) const;
    bool AlertBoxShown();
    // Photographs the dialog into its file (a new one when `fresh` or when it has none) and
    // journals it.
    void Shoot(HWND dialog, const std::wstring& caption, bool fresh);
    std::wstring NewShotFile(const std::wstring& caption, bool alert);  // mutex_ held
    void Problem(const std::string& text);

    Host& host_;
    std::vector<DialogAnswer> answers_;
    std::vector<std::wstring> shotNames_, alertShotNames_;
    size_t nextName_ = 0, nextAlertName_ = 0;
    std::wstring shots_;
    std::string prefix_;
    DWORD timeoutMs_;
    bool alertBoxes_;
    std::wstring alertCaption_;
    DWORD mainThread_;
    HHOOK hook_ = nullptr;
    std::atomic<bool> stop_{false};
    // A press of the kept window: posted, taken from the main thread's queue, and done once the main
    // thread takes a message again with the window enabled (it is disabled while its action runs).
    enum { kNoPress, kPressPosted, kPressTaken };
    std::atomic<int> press_{kNoPress};
    std::atomic<HWND> pressWindow_{nullptr};
    std::atomic<int> pressButton_{0};
    std::atomic<unsigned> alerts_{0};
    std::mutex mutex_;  // seen_, problems_, files_, names_, next(Alert)Name_
    std::mutex captureMutex_;  // one picture at a time (the helper's and the closing hook's)
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
