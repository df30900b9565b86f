// Runs a scenario step by step and writes the transcript: what each step did to the host, what the
// plug-ins logged, and which dialogs appeared and how they were answered.
#include <algorithm>

#include "../Objects.h"
#include "DialogDriver.h"
#include "MainWindowWatch.h"
#include "vxhost/HostCalls.h"
#include "vxhost/Scenario.h"

#ifdef VX_WITH_TESSERA
#include "tessera/StandIn.h"
#endif

namespace vxhost {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text;
}

bool EndsWithName(const std::wstring& path, const std::string& ref) {
    std::string p = Lower(ToUtf8(path)), r = Lower(ref);
    if (p == r) return true;
    return p.size() > r.size() && p.compare(p.size() - r.size(), r.size(), r) == 0 &&
           (p[p.size() - r.size() - 1] == '\\' || p[p.size() - r.size() - 1] == '/');
}

std::string NotificationName(const std::string& number) {
    static const std::pair<const char*, const char*> names[] = {
        {"66", "document opened"}, {"1005", "view opened"}, {"38", "will save"}, {"19", "saved"},
        {"55", "closed"}, {"1002", "clear temporary files"}};
    for (auto& n : names)
        if (number == n.first) return n.second;
    return "notification";
}

bool StartsWith(const std::string& text, const char* prefix, std::string* rest) {
    size_t n = strlen(prefix);
    if (text.compare(0, n, prefix) != 0) return false;
    *rest = text.substr(n);
    return true;
}

// A journal entry as a transcript line; empty for the bookkeeping a reader does not need.
std::string Describe(const std::string& entry) {
    std::string r;
    if (StartsWith(entry, "notify:", &r)) {
        std::string number = r.substr(0, r.find(' '));
        std::string flags = r.size() > number.size() ? " (" + r.substr(number.size() + 1) + ")" : "";
        return "notification " + number + " " + NotificationName(number) + flags;
    }
    if (StartsWith(entry, "notify-register:", &r)) return "registered for notification " + r;
    if (StartsWith(entry, "doc-open:", &r)) return "document opened: " + r;
    if (StartsWith(entry, "doc-open-again:", &r)) return "document already open: " + r;
    if (StartsWith(entry, "doc-open-failed:", &r)) return "document could not be opened: " + r;
    if (StartsWith(entry, "doc-save:", &r)) return "saving " + r;
    if (StartsWith(entry, "doc-save-as:", &r)) return "saving as " + r;
    if (StartsWith(entry, "doc-save-copy:", &r)) return "saving a copy as " + r;
    if (StartsWith(entry, "doc-save-failed:", &r)) return "save failed: " + r;
    if (StartsWith(entry, "doc-close:", &r)) return "closing " + r;
    if (StartsWith(entry, "doc-rename:", &r)) return "renaming " + r;
    if (StartsWith(entry, "alert:", &r)) return "alert: \"" + r + "\"";
    if (StartsWith(entry, "command:", &r)) return "host command " + r;
    if (StartsWith(entry, "ribbon-click:", &r)) return "ribbon item clicked: " + r;
    if (StartsWith(entry, "ribbon-add:", &r)) return "ribbon item added beside " + r;
    if (StartsWith(entry, "ribbon-remove-panel:", &r)) return "ribbon panel removed: " + r;
    if (StartsWith(entry, "ribbon-remove-button:", &r)) return "ribbon button removed: " + r;
    if (StartsWith(entry, "ribbon-absent:", &r)) return "ribbon has no " + r;
    if (StartsWith(entry, "remove:", &r)) return "file removed: " + r;
    if (StartsWith(entry, "idle-register:", &r)) return "idle procedure registered: " + r;
    if (StartsWith(entry, "idle-unregister:", &r)) return "idle procedure unregistered: " + r;
    if (StartsWith(entry, "file-dialog:", &r)) return "host file dialog (" + r + ")";
    if (StartsWith(entry, "open:", &r)) {
        if (r == "tessera") return "Open goes to Tessera (entry 1 answered true): entry 7";
        if (r == "dialog") return "Open uses the host's file dialog";
        if (r == "tessera-none") return "Tessera returned no documents";
        if (StartsWith(r, "tessera-chose ", &r)) return "Tessera returned " + r + " document(s)";
        return "Open: " + r;
    }
    if (StartsWith(entry, "save-as:", &r)) {
        if (r == "tessera") return "Save As goes to Tessera (entry 2 answered true): entry 12";
        if (r == "dialog") return "Save As uses the host's file dialog";
        return "Save As: " + r;
    }
    if (StartsWith(entry, "dialog:", &r)) {
        std::string what;
        if (StartsWith(r, "shown ", &what)) return "dialog \"" + what + "\" appeared";
        if (StartsWith(r, "closing ", &what)) return "dialog \"" + what + "\" closes";
        if (StartsWith(r, "shot ", &what)) return "  screenshot " + what;
        if (StartsWith(r, "chose ", &what)) return "  chose " + what;
        if (StartsWith(r, "description ", &what)) return "  description \"" + what + "\"";
        if (StartsWith(r, "filled ", &what)) return "  filled in: " + what;
        if (StartsWith(r, "stays ", &what)) return "  the dialog \"" + what + "\" stays open";
        if (StartsWith(r, "kept-row ", &what)) return "  | " + what;
        if (StartsWith(r, "kept-buttons ", &what)) return "  buttons: " + what;
        if (StartsWith(r, "press ", &what)) return "  pressed " + what;
        if (StartsWith(r, "problem ", &what)) return "  problem: " + what;
        return "dialog " + r;
    }
    if (StartsWith(entry, "plugin-", &r)) {
        std::string step = r.substr(0, r.find(':'));
        if (step == "init" || step == "unload" || step == "free" || step == "open")
            return "plug-in " + step + ": " + r.substr(r.find(':') + 1);
        return "";
    }
    if (StartsWith(entry, "raise:", &r)) return "host error raised: " + r;
    if (StartsWith(entry, "escaped-", &r)) return "an exception escaped a plug-in: " + r;
    if (entry == "restart") return "plug-ins unloaded, ribbon reset, loading again";
    if (StartsWith(entry, "main-window-failed:", &r)) return "the main window could not be created: " + r;
    return "";
}

std::string YesNo(ASBool value) { return value ? "yes" : "no"; }

}  // namespace

ScenarioRunner::ScenarioRunner(Host& host, RunnerOptions options)
    : host_(host), options_(std::move(options)), watch_(std::make_unique<MainWindowWatch>(host.MainWindow())) {
    if (!options_.shots.empty()) CreateDirectoryW(options_.shots.c_str(), nullptr);
    host_.SetFileDialogHandler([this](FileDialogKind kind, const std::wstring&, std::wstring* chosen) {
        if (pendingFiles_.empty()) {
            host_.Record("dialog:problem the host's file dialog appeared with no \"file\" answer in the script");
            return false;
        }
        *chosen = pendingFiles_.front().text;
        pendingFiles_.erase(pendingFiles_.begin());
        return true;
    });
    // Between steps no helper could close a box: the alert is only recorded then.
    host_.SetAlertHandler([this](const std::wstring& text) {
        if (!driver_) return;
        driver_->NoteAlert();
        if (options_.alertBoxes) host_.ShowAlertBox(text);
    });
}

ScenarioRunner::~ScenarioRunner() {
    host_.SetFileDialogHandler(nullptr);
    host_.SetAlertHandler(nullptr);
}

void ScenarioRunner::Say(const std::string& line) {
    if (options_.output) options_.output(line);
}

void ScenarioRunner::ReportJournalSince(size_t mark) {
    const auto& journal = host_.Journal();
    for (size_t i = mark; i < journal.size(); i++) {
        std::string r;
        if (StartsWith(journal[i], "doc-open:", &r) || StartsWith(journal[i], "doc-save-as:", &r)) {
            std::wstring path = FromUtf8(r);
            if (std::find(seenPaths_.begin(), seenPaths_.end(), path) == seenPaths_.end()) seenPaths_.push_back(path);
        }
        std::string line = Describe(journal[i]);
        if (!line.empty()) Say("    " + line);
    }
    std::string log = host_.LogText();
    if (log.size() > logMark_) {
        Say("    host log:");
        std::string added = log.substr(logMark_);
        size_t start = 0;
        while (start < added.size()) {
            size_t end = added.find('\n', start);
            if (end == std::string::npos) end = added.size();
            std::string line = added.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            Say("      | " + line);
            start = end + 1;
        }
        logMark_ = log.size();
    }
}

bool ScenarioRunner::Start() {
    Say("== start: host \"" + host_.Options().appName + "\", plug-ins from " + ToUtf8(options_.plugins));
    size_t mark = host_.Journal().size();
    std::vector<std::string> problems;
    {
        DialogDriver driver(host_, {}, {}, {}, options_.shots, "00-start", options_.timeoutMs, options_.alertBoxes);
        driver_ = &driver;
        if (!options_.plugins.empty()) {
            auto results = host_.LoadPluginFolder(options_.plugins);
            std::string load = host_.DescribeLoad(results);
            size_t start = 0;
            for (size_t end; (end = load.find('\n', start)) != std::string::npos; start = end + 1)
                Say("  " + load.substr(start, end - start));
        }
        driver.Stop();
        driver_ = nullptr;
        problems = driver.Problems();
        for (auto& shot : driver.Shots()) shots_.push_back(shot);
    }
    ReportJournalSince(mark);
    for (auto& problem : problems) Say("  FAILED: " + problem);
    if (!problems.empty()) failures_++;
    return problems.empty();
}

bool ScenarioRunner::Run(const Scenario& scenario) {
    bool all = true;
    for (size_t i = 0; i < scenario.steps.size(); i++) all = RunStep(scenario.steps[i], static_cast<int>(i) + 1) && all;
    ReportMainWindow();
    return all;
}

void ScenarioRunner::ReportMainWindow() {
    MainWindowWatch::Longest longest = watch_->Result();
    if (!longest.watched) {
        Say("main window: not watched (the host has none)");
        return;
    }
    std::string during = "the start-up";
    for (const auto& line : lines_)
        if (line.first == longest.line) during = "line " + std::to_string(line.first) + ": " + line.second;
    Say("main window: longest unanswered " + std::to_string(longest.ms) + " ms, during " + during);
}

bool ScenarioRunner::RunStep(const ScenarioStep& step, int index) {
    if (step.command == "note") {
        Say("");
        Say("## " + step.rest);
        return true;
    }
    char number[16];
    snprintf(number, sizeof number, "%02d", index);
    Say("[" + std::string(number) + "] line " + std::to_string(step.line) + ": " + step.source);
    watch_->SetLine(step.line);
    lines_.emplace_back(step.line, step.source);
    size_t mark = host_.Journal().size();

    std::vector<DialogAnswer> dialogs;
    std::vector<std::wstring> shotNames, alertShotNames;
    pendingFiles_.clear();
    for (const DialogAnswer& answer : step.answers) {
        if (answer.kind == DialogAnswer::Kind::Shot) shotNames.push_back(answer.text);
        else if (answer.kind == DialogAnswer::Kind::AlertShot) alertShotNames.push_back(answer.text);
        else (answer.kind == DialogAnswer::Kind::File ? pendingFiles_ : dialogs).push_back(answer);
    }

    std::vector<std::string> problems;
    std::string problem;
    {
        DialogDriver driver(host_, dialogs, shotNames, alertShotNames, options_.shots,
                            std::string(number) + "-" + step.command, options_.timeoutMs, options_.alertBoxes);
        driver_ = &driver;
        if (!Execute(step, &problem)) problems.push_back(problem);
        driver.Stop();
        driver_ = nullptr;
        for (auto& p : driver.Problems()) problems.push_back(p);
        for (auto& shot : driver.Shots()) shots_.push_back(shot);
    }
    for (const DialogAnswer& answer : pendingFiles_)
        problems.push_back("line " + std::to_string(answer.line) + ": the host's file dialog never appeared");
    pendingFiles_.clear();
    const auto& journal = host_.Journal();
    for (size_t i = mark; i < journal.size(); i++)
        if (journal[i] == "dialog:problem the host's file dialog appeared with no \"file\" answer in the script")
            problems.push_back("the host's file dialog appeared with no \"file\" answer in the script");

    ReportJournalSince(mark);
    if (problems.empty()) {
        Say("  ok");
        return true;
    }
    for (auto& p : problems) Say("  FAILED: " + p);
    failures_++;
    return false;
}

void ScenarioRunner::Remember(Document* doc) {
    if (doc && std::find(seenPaths_.begin(), seenPaths_.end(), doc->Path()) == seenPaths_.end())
        seenPaths_.push_back(doc->Path());
}

Document* ScenarioRunner::FindDoc(const std::string& ref, std::string* problem) const {
    auto docs = host_.Documents();
    if (ref.size() > 1 && ref[0] == '#') {
        size_t n = static_cast<size_t>(atoi(ref.c_str() + 1));
        if (n >= 1 && n <= docs.size()) return docs[n - 1];
        *problem = "there is no document " + ref + " (" + std::to_string(docs.size()) + " open)";
        return nullptr;
    }
    Document* found = nullptr;
    for (Document* doc : docs) {
        if (!EndsWithName(doc->Path(), ref)) continue;
        if (found) {
            *problem = "\"" + ref + "\" names more than one open document";
            return nullptr;
        }
        found = doc;
    }
    if (!found) *problem = "no open document is \"" + ref + "\"";
    return found;
}

std::wstring ScenarioRunner::FindPathEverSeen(const std::string& ref) const {
    for (auto it = seenPaths_.rbegin(); it != seenPaths_.rend(); ++it)
        if (EndsWithName(*it, ref)) return *it;
    return FromUtf8(ref);
}

void ScenarioRunner::DescribeFolder(const std::wstring& path) {
    std::wstring folder = path.substr(0, path.find_last_of(L"\\/"));
    std::wstring name = path.substr(folder.size() + 1);
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Say("    folder " + ToUtf8(folder) + ": gone");
        return;
    }
    Say("    folder " + ToUtf8(folder) + ":");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    bool any = false;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring child = found.cFileName;
            if (child == L"." || child == L"..") continue;
            any = true;
            ULONGLONG size = (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            Say("      " + ToUtf8(child) +
                (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? " (folder)" : "  " + std::to_string(size) + " bytes"));
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (!any) Say("      (empty)");
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) Say("      (" + ToUtf8(name) + " is gone)");
}

void ScenarioRunner::ListDms() {
#ifdef VX_WITH_TESSERA
    std::vector<tessera::DocumentInfo> docs;
    HRESULT hr = tessera::ListDocuments(L"", &docs);
    Say("    DMS store " + ToUtf8(tessera::ResolveStoreFolder()) + ":");
    if (FAILED(hr)) {
        char code[16];
        snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
        Say("      cannot be read (" + std::string(code) + ")");
        return;
    }
    if (docs.empty()) Say("      (no documents)");
    for (const auto& d : docs) {
        std::string lock = d.lockedBy.empty() ? "not checked out"
                                              : "checked out by " + ToUtf8(d.lockedBy) + " (version " +
                                                    std::to_string(d.lockedVersion) + ")";
        Say("      " + ToUtf8(d.server) + "/" + ToUtf8(d.database) + " " + std::to_string(d.number) + " version " +
            std::to_string(d.version) + "  " + (d.size < 0 ? std::string("no content") : std::to_string(d.size) + " bytes") +
            "  ." + ToUtf8(d.extension) + "  \"" + ToUtf8(d.description) + "\"  " + lock);
    }
#else
    Say("    (this host was built without the DMS stand-in)");
#endif
}

void ScenarioRunner::ListServers() {
    HFT tessera = host_.TesseraTable();
    if (!tessera || !tessera[kTesseraGetServerName] || !tessera[kTesseraGetServerDetails]) {
        Say("    no plug-in publishes a \"Tessera\" table");
        return;
    }
    HFT extra = host_.HostTable("ASExtra");
    auto destroy = VxEntry<ASTextDestroyProc>(extra, kASTextDestroy);
    auto value = VxEntry<ASTextGetUnicodeProc>(extra, kASTextGetUnicode);
    int shown = 0;
    for (ASInt32 i = 0; i < 100; i++) {
        ASText name = nullptr;
        ASBool got = 0;
        host_.Guarded("Tessera 27", [&] { got = VxEntry<TesseraGetServerNameProc>(tessera, kTesseraGetServerName)(i, &name); });
        if (!got || !name) break;
        ASText user = nullptr, password = nullptr;
        ASBool trusted = 0, autoConnect = 0, connected = 0, machineWide = 0;
        host_.Guarded("Tessera 28", [&] {
            VxEntry<TesseraGetServerDetailsProc>(tessera, kTesseraGetServerDetails)(name, &user, &password, &trusted, &autoConnect, &connected,
                                                              &machineWide);
        });
        std::string passwordState = password && *value(password) ? "password set" : "no password";
        Say("    " + ToUtf8(value(name)) + ": user " + (user ? ToUtf8(value(user)) : std::string("?")) + ", " +
            passwordState + ", trusted " + YesNo(trusted) + ", auto-connect " + YesNo(autoConnect) + ", connected " +
            YesNo(connected) + ", machine-wide " + YesNo(machineWide));
        for (ASText text : {name, user, password})
            if (text) destroy(text);
        shown++;
    }
    if (!shown) Say("    (no servers)");
}

bool ScenarioRunner::ClickStep(const std::string& reference, std::string* problem) {
    std::string name = reference;
    size_t at = name.find('@');
    if (at != std::string::npos) {
        std::wstring title = FromUtf8(name.substr(0, at));
        std::string anchor = name.substr(at + 1);
        if (anchor.find(':') == std::string::npos) anchor = "AVRibbon:Main:" + anchor + ":Btn";
        name.clear();
        for (RibbonItem* item : host_.GetRibbon().FindItemsTitled(title))
            if (item->name.compare(0, anchor.size() + 1, anchor + "+") == 0) name = item->name;
        if (name.empty()) {
            *problem = "the ribbon has no item titled \"" + ToUtf8(title) + "\" beside " + anchor;
            return false;
        }
    }
    if (host_.ClickRibbonItem(name)) return true;
    *problem = "the ribbon has no item " + name;
    return false;
}

bool ScenarioRunner::SettleStep(std::string* problem) {
    // Idle moments as the host has them, messages handled in between, until the plug-ins keep no
    // idle procedure (work that waits for a worker's answer, such as the start-up's recovery after
    // the automatic logins, is done then).
    const DWORD start = GetTickCount();
    while (!host_.IdleProcs().empty()) {
        if (GetTickCount() - start > options_.timeoutMs) {
            *problem = "idle procedures still registered after " + std::to_string(options_.timeoutMs / 1000) + " s";
            return false;
        }
        // RunIdle handles the messages that came meanwhile before it runs the procedures.
        host_.RunIdle();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return true;
}

bool ScenarioRunner::WaitFileStep(const std::string& file, std::string* problem) {
    // Waits for another process's signal like a host waiting for its user: messages are handled,
    // idle procedures do not run.
    std::wstring path = FromUtf8(file);
    DWORD start = GetTickCount();
    while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > options_.timeoutMs) {
            *problem = file + " did not appear within " + std::to_string(options_.timeoutMs / 1000) + " s";
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

bool ScenarioRunner::DmsFaultStep(const ScenarioStep& step, std::string* problem) {
#ifdef VX_WITH_TESSERA
    const std::string& operation = step.args[0];
    if (operation == "clear") return SUCCEEDED(tessera::ClearFaults(L""));
    std::string what = step.args.size() > 1 ? step.args[1] : std::string();
    bool hang = what == "hang";
    size_t counted = hang ? 4 : 3;  // the arguments with a count
    long count = step.args.size() == counted ? atol(step.args[counted - 1].c_str()) : 0;
    std::wstring name = FromUtf8(operation);
    HRESULT hr = E_INVALIDARG;
    if (step.args.size() > counted || (hang && step.args.size() < 3)) {
        hr = E_INVALIDARG;
    } else if (hang) {
        hr = tessera::AddHang(L"", name, atol(step.args[2].c_str()), count);
    } else if (what == "refuse") {
        hr = tessera::AddRefusal(L"", name, count);
    } else if (what == "pass") {
        hr = tessera::AddPass(L"", name, count);
    } else if (what == "kill" || what == "kill-after") {
        hr = tessera::AddKill(L"", name, what == "kill-after", count ? count : 1);
    } else {
        long code = static_cast<long>(strtoul(what.c_str(), nullptr, 0));
        hr = tessera::AddFault(L"", name, static_cast<HRESULT>(code), count);
    }
    if (SUCCEEDED(hr)) return true;
    *problem = "the DMS stand-in took no fault \"" + step.source + "\"";
    return false;
#else
    *problem = "this host was built without the DMS stand-in";
    return false;
#endif
}

bool ScenarioRunner::EditServerStep(const std::string& server, std::string* problem) {
    HFT tessera = host_.TesseraTable();
    if (!tessera || !tessera[kTesseraEditServer]) {
        *problem = "no plug-in publishes a \"Tessera\" table with entry 29";
        return false;
    }
    HFT extra = host_.HostTable("ASExtra");
    std::wstring name = FromUtf8(server);
    ASText text = VxEntry<ASTextFromUnicodeProc>(extra, kASTextFromUnicode)(name.c_str(), 0);
    ASBool accepted = 0;
    host_.Guarded("Tessera 29", [&] { accepted = VxEntry<TesseraServerNameProc>(tessera, kTesseraEditServer)(text); });
    VxEntry<ASTextDestroyProc>(extra, kASTextDestroy)(text);
    Say(std::string("    the server configuration of ") + (server.empty() ? "a new server" : "\"" + server + "\"") +
        " ended with " + (accepted ? "OK" : "Cancel"));
    return true;
}

// The item a plug-in added that opens "Kept on this computer" (its procedure's client data is the
// atom "Kept"), whatever its title's language.
bool ScenarioRunner::KeptStep(std::string* problem) {
    const ASUns32 kept = static_cast<ASUns32>(host_.Atom("Kept"));
    for (const auto& category : host_.GetRibbon().Categories())
        for (const auto& panel : category->panels)
            for (RibbonItem* item : panel->items)
                if (item->added && item->proc && item->clientData == kept) return host_.ClickRibbonItem(item->name);
    *problem = "the ribbon has no item for \"Kept on this computer\"";
    return false;
}

// The host's own check-in of a document: entry 16, or entry 17 (which saves it to the DMS first).
bool ScenarioRunner::CheckinStep(const ScenarioStep& step, Document* doc, std::string* problem) {
    const bool checkin = step.command == "checkin";
    const int entry = checkin ? kTesseraCheckinDocument : kTesseraSaveDocumentOnServer;
    ASBool keep = 0, release = 0;
    for (size_t i = 1; i < step.args.size(); i++) {
        if (step.args[i] == "keep") keep = 1;
        else if (step.args[i] == "release" && !checkin) release = 1;
        else {
            *problem = "unknown flag " + step.args[i];
            return false;
        }
    }
    HFT tessera = host_.TesseraTable();
    if (!tessera || !tessera[entry]) {
        *problem = "no plug-in publishes a \"Tessera\" table with entry " + std::to_string(entry);
        return false;
    }
    ASPathName path = HostCalls::MakePath(doc->Path());
    ASBool result = 0;
    const std::string name = "Tessera " + std::to_string(entry);
    host_.Guarded(name.c_str(), [&] {
        if (checkin)
            result = VxEntry<TesseraCheckinProc>(tessera, kTesseraCheckinDocument)(path, keep);
        else
            result = VxEntry<TesseraSaveOnServerProc>(tessera, kTesseraSaveDocumentOnServer)(path, keep, release);
    });
    HostCalls::ReleasePath(path);
    Say("    entry " + std::to_string(entry) + " (keep checked out " + (keep ? "yes" : "no") +
        (checkin ? std::string() : std::string(", release record ") + (release ? "yes" : "no")) + ") answered " +
        (result ? "true" : "false"));
    return true;
}

void ScenarioRunner::ReportResources() {
    ResourceCounts counts = CountResources();
    Say("    resources: handles " + std::to_string(counts.handles) + ", GDI probe " + std::to_string(counts.gdiProbe) +
        ", USER probe " + std::to_string(counts.userProbe) + ", GetGuiResources " + std::to_string(counts.gdi) + "/" +
        std::to_string(counts.user) + (counts.handleTypes.empty() ? "" : "; handle types " + counts.handleTypes));
}

// Steps that act on the host itself; false with *handled false when the step is not one of them.
bool ScenarioRunner::ExecuteHostStep(const ScenarioStep& step, std::string* problem, bool* handled) {
    const std::string& c = step.command;
    *handled = true;
    if (c == "click") return ClickStep(step.args[0], problem);
    if (c == "open") {
        if (host_.OpenDocument(FromUtf8(step.rest))) return true;
        *problem = "cannot open " + step.rest;
        return false;
    }
    if (c == "open-unkept") {
        host_.RunOpenCommand(false);
        return true;
    }
    if (c == "idle") {
        int count = step.args.empty() ? 1 : atoi(step.args[0].c_str());
        for (int i = 0; i < count; i++) host_.RunIdle();
        return true;
    }
    if (c == "settle") return SettleStep(problem);
    if (c == "restart") {
        std::string load = host_.DescribeLoad(host_.RestartPlugins(options_.plugins));
        size_t start = 0;
        for (size_t end; (end = load.find('\n', start)) != std::string::npos; start = end + 1)
            Say("  " + load.substr(start, end - start));
        return true;
    }
    if (c == "kill") {
        Say("  killed with " + std::to_string(host_.Documents().size()) +
            " document(s) open; nothing closed, no plug-in unloaded");
        ReportMainWindow();
        if (options_.output) options_.output("");
        TerminateProcess(GetCurrentProcess(), failures_ ? 1 : 0);
    }
    if (c == "shift") {
        host_.SetModifiers(step.args[0] == "down" ? (host_.Modifiers() | 1u) : (host_.Modifiers() & ~1u));
        return true;
    }
    if (c == "edit-server") return EditServerStep(step.args.empty() ? std::string() : step.args[0], problem);
    if (c == "kept") return KeptStep(problem);
    if (c == "clear-temp") {
        host_.SendClearTempFiles();
        return true;
    }
    if (c == "reopen") {
        // As from the host's list of recent files.
        std::wstring path = FindPathEverSeen(step.args[0]);
        if (host_.OpenDocument(path)) return true;
        *problem = "cannot open " + ToUtf8(path) + " again";
        return false;
    }
    *handled = false;
    return false;
}

// Checks, listings and signals.
bool ScenarioRunner::ExecuteCheckStep(const ScenarioStep& step, std::string* problem, bool* handled) {
    const std::string& c = step.command;
    *handled = true;
    if (c == "expect-alert") {
        const auto& alerts = host_.Alerts();
        std::wstring wanted = FromUtf8(step.rest);
        for (size_t i = alertMark_; i < alerts.size(); i++) {
            if (alerts[i].find(wanted) == std::wstring::npos) continue;
            alertMark_ = i + 1;
            return true;
        }
        *problem = "no alert containing \"" + step.rest + "\" (" + std::to_string(alerts.size() - alertMark_) +
                   " new alert(s))";
        return false;
    }
    if (c == "expect-open") {
        size_t open = host_.Documents().size();
        if (open == static_cast<size_t>(atoi(step.args[0].c_str()))) return true;
        *problem = std::to_string(open) + " document(s) open, not " + step.args[0];
        return false;
    }
    if (c == "dms-list") ListDms();
    else if (c == "servers") ListServers();
    else if (c == "resources") ReportResources();
    else if (c == "dms-fault") return DmsFaultStep(step, problem);
    else if (c == "wait-file") return WaitFileStep(step.rest, problem);
    else if (c == "touch") {
        // A signal to another process running a script (see wait-file).
        HANDLE file = CreateFileW(FromUtf8(step.rest).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            *problem = "cannot create " + step.rest + " (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        CloseHandle(file);
    } else if (c == "files") {
        std::string unused;
        Document* doc = FindDoc(step.args[0], &unused);
        DescribeFolder(doc ? doc->Path() : FindPathEverSeen(step.args[0]));
    } else {
        *handled = false;
        return false;
    }
    return true;
}

// Steps that act on one open document.
bool ScenarioRunner::ExecuteDocumentStep(const ScenarioStep& step, std::string* problem) {
    const std::string& c = step.command;
    Document* doc = FindDoc(step.args.empty() ? std::string() : step.args[0], problem);
    if (!doc) return false;
    if (c == "edit") {
        // As a PDF comment after the end, so that the file stays readable.
        host_.EditDocument(doc, "\n%" + step.rest + "\n");
        return true;
    }
    if (c == "save") {
        if (host_.SaveDocument(doc)) return true;
        *problem = "the save failed";
        return false;
    }
    if (c == "saveas") {
        host_.SetActiveDocument(doc);
        SendMessageW(host_.MainWindow(), WM_COMMAND, MAKEWPARAM(kVxCmdSaveAs, 0), 0);
        Remember(doc);
        return true;
    }
    if (c == "close") {
        host_.CloseDocument(doc);
        return true;
    }
    if (c == "checkin" || c == "save-on-server") return CheckinStep(step, doc, problem);
    if (c == "rename") {
        if (host_.RenameDocumentFile(doc, FromUtf8(step.args[1]))) return true;
        *problem = "the rename failed";
        return false;
    }
    *problem = "unknown command " + c;
    return false;
}

bool ScenarioRunner::Execute(const ScenarioStep& step, std::string* problem) {
    bool handled = false;
    bool passed = ExecuteHostStep(step, problem, &handled);
    if (handled) return passed;
    passed = ExecuteCheckStep(step, problem, &handled);
    if (handled) return passed;
    return ExecuteDocumentStep(step, problem);
}

}  // namespace vxhost
