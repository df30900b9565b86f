// vphost.exe - loads the plug-ins of a folder into the host stand-in, shows what they did to the
// host, unloads them and fails on any leaked or doubly released host object.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <windows.h>
#include <shellapi.h>

#include "vxhost/Host.h"

using vxhost::ToUtf8;

namespace {

const char kUsage[] =
    "usage: vphost.exe --plugins <folder> [--app-name \"Varnel Pro\"] [--log <file>] [--interactive]\n"
    "                  [--idle <count>] [--journal]\n";

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
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
        else return false;
    }
    return !args->plugins.empty();
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

    int exitCode = 0;
    {
        vxhost::Host host(args.options);
        Print("host \"" + host.Options().appName + "\", log " + ToUtf8(host.LogPath()) + "\n");
        auto results = host.LoadPluginFolder(args.plugins);
        Print("plug-ins in " + ToUtf8(args.plugins) + ":\n" + host.DescribeLoad(results));
        Print("ribbon:\n" + host.GetRibbon().Describe());
        Print("notifications:\n" + host.DescribeNotifications());
        Print("idle procedures:\n" + host.DescribeIdleProcs());
        for (int i = 0; i < args.idleRuns; i++) host.RunIdle();
        Print("alerts:\n" + host.DescribeAlerts());
        Print("log:\n" + Indented(host.LogText()));

        host.Shutdown();
        if (args.journal) {
            Print("journal:\n");
            for (auto& entry : host.Journal()) Print("  " + entry + "\n");
        }
        Print("objects: " + host.Objects().CountsText() + "\n");
        auto problems = host.Objects().Problems();
        for (auto& problem : problems) Print("  " + problem + "\n");
        for (auto& violation : host.ThreadViolations()) Print("  thread: " + violation + "\n");
        if (!problems.empty()) exitCode = 1;
        Print(problems.empty() ? "result: clean\n" : "result: " + std::to_string(problems.size()) + " problem(s)\n");
    }
    std::fflush(stdout);
    return exitCode;
}
