// Scenario.h - scripted user sessions for the host: a plain-text script of actions, a runner that
// performs them on the main thread while a helper thread answers the dialogs they open, and the
// transcript of what the host saw. The language is described in host/README.md.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vxhost/Host.h"

namespace vxhost {

// What the helper thread does with one dialog that an action opens. Shot and AlertShot are no
// dialogs of their own: they name the action's next screenshot of a dialog or of an alert box.
struct DialogAnswer {
    // KeptSelect, KeptPress and KeptConfirm work the plug-in's window "Kept on this computer" (known by
    // its list, in any language) and its confirmation of a discard; the window stays for the next.
    enum class Kind { Choose, Profile, Cancel, StopWaiting, File, ServerForm, Shot, AlertShot, KeptSelect, KeptPress,
                      KeptConfirm };
    Kind kind = Kind::Choose;
    int line = 0;
    std::wstring caption;           // the dialog waited for (empty for File: the host's own dialog, and
                                    // for ServerForm: the plug-in's server dialog, known by its fields)
    struct Pick { long number; long version; };  // version 0: the highest listed
    std::vector<Pick> picks;        // Choose; KeptSelect (none: every entry)
    std::wstring text;              // Profile: description; File: path; (Alert)Shot: name without ".png";
                                    // KeptPress: the button (checkin, open, new, show, discard, close)
    bool confirm = false;           // KeptConfirm: discard (else cancel)
    // ServerForm: the fields and boxes to set (unset ones stay as the dialog shows them), then OK or
    // Cancel.
    struct Form {
        std::optional<std::wstring> server, user, password;
        std::optional<bool> trusted, autoLogin;
        bool cancel = false;
    } form;
};

struct ScenarioStep {
    int line = 0;
    std::string source;             // the line as written
    std::string command;
    std::vector<std::string> args;  // tokens after the command
    std::string rest;               // the text after the command (quotes removed when it is one quoted text)
    std::vector<DialogAnswer> answers;
};

struct Scenario {
    std::vector<ScenarioStep> steps;
};

// Parses a script; every bad line gives one "line N: ..." error and the scenario is not to be run.
std::vector<std::string> ParseScenario(const std::string& text, Scenario* out);

// Saves the pixels of a window (as a person sees it, caption included where the window system
// draws one) as a PNG file.
bool CaptureWindowPng(HWND window, const std::wstring& file, std::string* error);
// 24-bit RGB rows, top first; used by the capture and by tests.
bool WritePng(const std::wstring& file, int width, int height, const std::vector<unsigned char>& rgb);

// What the process holds: kernel handles (from the system's handle list, since Wine's
// GetProcessHandleCount answers 0), the highest handle slot a batch of fresh GDI and USER objects
// takes (it climbs when objects leak, as freed slots are reused first), and what GetGuiResources
// reports (0 under Wine).
struct ResourceCounts {
    unsigned long handles = 0;
    unsigned long gdiProbe = 0;
    unsigned long userProbe = 0;
    unsigned long gdi = 0;
    unsigned long user = 0;
    std::string handleTypes;  // "<object type>:<count>" for each type of handle held, to tell what grew
};
ResourceCounts CountResources();

struct RunnerOptions {
    std::wstring plugins;           // folder loaded at start and at "restart"; empty: none
    std::wstring shots;             // folder for dialog screenshots; empty: none taken
    DWORD timeoutMs = 30000;        // for every wait on a dialog or a wait-file
    // Alerts also shown as message boxes, which the dialog helper photographs and confirms (OK)
    // (vphost --shots); otherwise they are only recorded.
    bool alertBoxes = false;
    std::function<void(const std::string&)> output;  // transcript sink (one call per line, no "\n")
};

class DialogDriver;
class MainWindowWatch;

class ScenarioRunner {
public:
    ScenarioRunner(Host& host, RunnerOptions options);
    ~ScenarioRunner();
    ScenarioRunner(const ScenarioRunner&) = delete;
    ScenarioRunner& operator=(const ScenarioRunner&) = delete;

    // Loads the plug-ins and reports the start-up. Returns false when a step failed.
    bool Start();
    // Runs every step; a failed step is reported and the run goes on. True when all passed. Ends
    // with the longest time the main window went unanswered since the runner was made (as "kill"
    // does before it ends the process from inside).
    bool Run(const Scenario& scenario);
    // One step (Run calls this); true when it passed.
    bool RunStep(const ScenarioStep& step, int index);
    int Failures() const { return failures_; }
    const std::vector<std::wstring>& Shots() const { return shots_; }

private:
    void Say(const std::string& line);
    void ReportJournalSince(size_t mark);
    bool Execute(const ScenarioStep& step, std::string* problem);
    bool ExecuteHostStep(const ScenarioStep& step, std::string* problem, bool* handled);
    bool ExecuteCheckStep(const ScenarioStep& step, std::string* problem, bool* handled);
    bool ExecuteDocumentStep(const ScenarioStep& step, std::string* problem);
    bool ClickStep(const std::string& reference, std::string* problem);
    bool WaitFileStep(const std::string& file, std::string* problem);
    bool SettleStep(std::string* problem);
    bool DmsFaultStep(const ScenarioStep& step, std::string* problem);
    bool EditServerStep(const std::string& server, std::string* problem);
    bool KeptStep(std::string* problem);
    bool CheckinStep(const ScenarioStep& step, Document* doc, std::string* problem);
    void ReportResources();
    void ReportMainWindow();
    Document* FindDoc(const std::string& ref, std::string* problem) const;
    std::wstring FindPathEverSeen(const std::string& ref) const;
    void DescribeFolder(const std::wstring& path);
    void ListDms();
    void ListServers();
    void Remember(Document* doc);

    Host& host_;
    RunnerOptions options_;
    int failures_ = 0;
    size_t logMark_ = 0;
    size_t alertMark_ = 0;
    std::vector<std::wstring> shots_;
    std::vector<std::wstring> seenPaths_;
    std::vector<DialogAnswer> pendingFiles_;
    DialogDriver* driver_ = nullptr;  // the helper of the step running now
    std::unique_ptr<MainWindowWatch> watch_;
    std::vector<std::pair<int, std::string>> lines_;  // the steps run: line and source
};

// The host for a person: loads the folder's plug-ins and shows the main window with menus for the
// host's commands, the ribbon's items and the open documents, until the window is closed.
int RunInteractive(Host& host, const std::wstring& plugins);

}  // namespace vxhost
