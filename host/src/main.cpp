// vphost.exe - the host stand-in as a program. Without a script it loads the plug-ins of a folder,
// shows what they did to the host, unloads them and fails on any leaked or doubly released host
// object. With --script it runs a scenario of user actions and writes its transcript; with
// --interactive it shows the main window for a person.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <windows.h>
#include <shellapi.h>

#include "vxhost/Host.h"
#include "vxhost/Scenario.h"

using vxhost::ToUtf8;

namespace {

const char kUsage[] =
    "usage: vphost.exe --plugins <folder> [--app-name \"Varnel Pro\"] [--log <file>] [--interactive]\n"
    "                  [--idle <count>] [--journal]\n"
    "                  [--script <file> [--shots <folder>] [--transcript <file>] [--timeout <seconds>]]\n";

FILE* gTranscript = nullptr;

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (gTranscript) {
        std::fwrite(text.data(), 1, text.size(), gTranscript);
        std::fflush(gTranscript);
    }
}

std::string Indented(const std::string& text) {
    if (text.empty()) return "  (empty)\n";
    std::string out = "  ";
    for (size_t i = 0; i < text.size(); i++) {
        out += text[i];
        if (text[i] == '\n' && i + 1 < text.size()) out += "  ";
    }
    if (out.back() != '\n') out += '\n';
    return out;
}

struct Arguments {
    std::wstring plugins;
    vxhost::HostOptions options;
    int idleRuns = 0;
    bool journal = false;
    std::wstring script;
    std::wstring shots;
    std::wstring transcript;
    int timeoutSeconds = 30;
};

bool Parse(int argc, wchar_t** argv, Arguments* args) {
    for (int i = 1; i < argc; i++) {
        std::wstring a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == L"--plugins" && hasValue) args->plugins = argv[++i];
        else if (a == L"--app-name" && hasValue) args->options.appName = ToUtf8(argv[++i]);
        else if (a == L"--log" && hasValue) args->options.logPath = argv[++i];
        else if (a == L"--idle" && hasValue) args->idleRuns = _wtoi(argv[++i]);
        else if (a == L"--interactive") args->options.interactive = true;
        else if (a == L"--journal") args->journal = true;
        else if (a == L"--script" && hasValue) args->script = argv[++i];
        else if (a == L"--shots" && hasValue) args->shots = argv[++i];
        else if (a == L"--transcript" && hasValue) args->transcript = argv[++i];
        else if (a == L"--timeout" && hasValue) args->timeoutSeconds = _wtoi(argv[++i]);
        else return false;
    }
    if (args->timeoutSeconds <= 0) return false;
    if (args->options.interactive && !args->script.empty()) return false;
    return !args->plugins.empty();
}

bool ReadFile(const std::wstring& path, std::string* text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) text->append(buffer, read);
    CloseHandle(file);
    return true;
}

// Runs the script; 0 when every step passed.
int RunScript(vxhost::Host& host, const Arguments& args) {
    std::string text;
    if (!ReadFile(args.script, &text)) {
        Print("cannot read the script " + ToUtf8(args.script) + "\n");
        return 2;
    }
    vxhost::Scenario scenario;
    auto errors = vxhost::ParseScenario(text, &scenario);
    if (!errors.empty()) {
        for (auto& error : errors) Print(ToUtf8(args.script) + ": " + error + "\n");
        return 2;
    }
    vxhost::RunnerOptions options;
    options.plugins = args.plugins;
    options.shots = args.shots;
    // A guide's pictures show the alerts too: as message boxes, photographed and confirmed.
    options.alertBoxes = !args.shots.empty();
    options.timeoutMs = static_cast<DWORD>(args.timeoutSeconds) * 1000;
    options.output = [](const std::string& line) { Print(line + "\n"); };
    vxhost::ScenarioRunner runner(host, options);
    runner.Start();
    runner.Run(scenario);
    Print("\n== end: " + std::to_string(scenario.steps.size()) + " step(s), " + std::to_string(runner.Failures()) +
          " failed\n");
    if (!args.shots.empty()) {
        Print("screenshots: " + std::to_string(runner.Shots().size()) + " PNG file(s) of the dialogs shown, in " +
              ToUtf8(args.shots) + "\n");
        for (auto& shot : runner.Shots()) Print("  " + ToUtf8(shot.substr(shot.find_last_of(L'\\') + 1)) + "\n");
    }
    return runner.Failures() ? 1 : 0;
}

}  // namespace

int main() {
    // Plain "\n" line ends whatever the console, so that tools and tests read the same text.
    _setmode(_fileno(stdout), _O_BINARY);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Arguments args;
    bool parsed = argv && Parse(argc, argv, &args);
    if (argv) LocalFree(argv);
    if (!parsed) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!args.transcript.empty()) gTranscript = _wfopen(args.transcript.c_str(), L"wb");

    int exitCode = 0;
    {
        vxhost::Host host(args.options);
        Print("host \"" + host.Options().appName + "\", log " + ToUtf8(host.LogPath()) + "\n");
        if (!args.script.empty()) {
            exitCode = RunScript(host, args);
        } else if (args.options.interactive) {
            exitCode = vxhost::RunInteractive(host, args.plugins);
        } else {
            auto results = host.LoadPluginFolder(args.plugins);
            Print("plug-ins in " + ToUtf8(args.plugins) + ":\n" + host.DescribeLoad(results));
            Print("ribbon:\n" + host.GetRibbon().Describe());
            Print("notifications:\n" + host.DescribeNotifications());
            Print("idle procedures:\n" + host.DescribeIdleProcs());
            for (int i = 0; i < args.idleRuns; i++) host.RunIdle();
            Print("alerts:\n" + host.DescribeAlerts());
            Print("log:\n" + Indented(host.LogText()));
        }

        size_t logSeen = host.LogText().size();
        host.Shutdown();
        if (!args.script.empty() && host.LogText().size() > logSeen)
            Print("log at unload:\n" + Indented(host.LogText().substr(logSeen)));
        if (args.journal) {
            Print("journal:\n");
            for (auto& entry : host.Journal()) Print("  " + entry + "\n");
        }
        Print("objects: " + host.Objects().CountsText() + "\n");
        auto problems = host.Objects().Problems();
        for (auto& violation : host.ThreadViolations()) problems.push_back("thread: " + violation);
        for (auto& problem : problems) Print("  " + problem + "\n");
        if (!problems.empty() && exitCode == 0) exitCode = 1;
        Print(problems.empty() ? "result: clean\n" : "result: " + std::to_string(problems.size()) + " problem(s)\n");
    }
    if (gTranscript) fclose(gTranscript);
    std::fflush(stdout);
    return exitCode;
}
