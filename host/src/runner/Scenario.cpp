// The script language: one step per line; dialog answers belong to the action line above them.
#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>

#include "vxhost/Scenario.h"

namespace vxhost {

namespace {

enum class Shape { Action, Answer, Other };

struct CommandRule {
    Shape shape;
    size_t minArgs;
    size_t maxArgs;  // counted in tokens; SIZE_MAX: free text
    const char* usage;
};

const size_t kText = static_cast<size_t>(-1);

const std::map<std::string, CommandRule>& Rules() {
    static const std::map<std::string, CommandRule> rules = {
        {"click", {Shape::Action, 1, 1, "click <ribbon item> | click <title>@<Open|SaveAs|item>"}},
        {"open", {Shape::Action, 1, kText, "open <path>"}},
        {"open-unkept", {Shape::Action, 0, 0, "open-unkept"}},
        {"save", {Shape::Action, 1, 1, "save <doc>"}},
        {"saveas", {Shape::Action, 1, 2, "saveas <doc> [path]"}},
        {"close", {Shape::Action, 1, 1, "close <doc>"}},
        {"checkin", {Shape::Action, 1, 2, "checkin <doc> [keep]"}},
        {"save-on-server", {Shape::Action, 1, 3, "save-on-server <doc> [keep] [release]"}},
        {"rename", {Shape::Action, 2, 2, "rename <doc> <new path>"}},
        {"idle", {Shape::Action, 0, 1, "idle [count]"}},
        {"settle", {Shape::Action, 0, 0, "settle"}},
        {"restart", {Shape::Action, 0, 0, "restart"}},
        {"kill", {Shape::Other, 0, 0, "kill"}},
        {"clear-temp", {Shape::Action, 0, 0, "clear-temp"}},
        {"reopen", {Shape::Action, 1, 1, "reopen <doc seen earlier>"}},
        {"edit-server", {Shape::Action, 0, 1, "edit-server [<server>]"}},
        {"kept", {Shape::Action, 0, 0, "kept"}},
        {"dms-fault", {Shape::Other, 1, 4,
                       "dms-fault <operation> <hresult|refuse|kill|kill-after|pass> [count] | dms-fault <operation> hang "
                       "<seconds> [count] | dms-fault clear"}},
        {"resources", {Shape::Other, 0, 0, "resources"}},
        {"shift", {Shape::Other, 1, 1, "shift down|up"}},
        {"edit", {Shape::Other, 2, kText, "edit <doc> <text>"}},
        {"note", {Shape::Other, 0, kText, "note <text>"}},
        {"expect-alert", {Shape::Other, 1, kText, "expect-alert <text>"}},
        {"expect-open", {Shape::Other, 1, 1, "expect-open <count>"}},
        {"files", {Shape::Other, 1, 1, "files <doc>"}},
        {"dms-list", {Shape::Other, 0, 0, "dms-list"}},
        {"servers", {Shape::Other, 0, 0, "servers"}},
        {"touch", {Shape::Other, 1, kText, "touch <path>"}},
        {"wait-file", {Shape::Other, 1, kText, "wait-file <path>"}},
        {"choose", {Shape::Answer, 1, 1000, "choose <number>[.<version>] ..."}},
        {"profile", {Shape::Answer, 1, kText, "profile <description>"}},
        {"cancel", {Shape::Answer, 1, kText, "cancel <dialog caption>"}},
        {"stop-waiting", {Shape::Answer, 0, kText, "stop-waiting [<dialog caption>]"}},
        {"file", {Shape::Answer, 1, kText, "file <path>"}},
        {"server-form", {Shape::Answer, 0, 6,
                         "server-form [server=<name>] [user=<id>] [password=<text>] [trusted=on|off] [auto=on|off] [cancel]"}},
        {"kept-select", {Shape::Answer, 1, 1000, "kept-select <number>[.<version>] ... | kept-select all"}},
        {"kept-press", {Shape::Answer, 1, 1, "kept-press checkin|open|new|show|discard|close"}},
        {"kept-confirm", {Shape::Answer, 1, 1, "kept-confirm discard|cancel"}},
        {"shot", {Shape::Answer, 1, 1, "shot <name>|-"}},
        {"shot-alert", {Shape::Answer, 1, 1, "shot-alert <name>|-"}},
    };
    return rules;
}

struct Token {
    std::string text;
    size_t start;
};

// Blank-separated tokens; "double quotes" keep blanks inside one token.
bool Tokenize(const std::string& line, std::vector<Token>* tokens, std::string* error) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isspace(static_cast<unsigned char>(line[i]))) i++;
        if (i >= line.size()) break;
        Token token{"", i};
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                *error = "unclosed quote";
                return false;
            }
            token.text = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && !isspace(static_cast<unsigned char>(line[i]))) token.text += line[i++];
        }
        tokens->push_back(token);
    }
    return true;
}

std::string Trim(const std::string& text) {
    size_t a = text.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    size_t b = text.find_last_not_of(" \t\r");
    return text.substr(a, b - a + 1);
}

// The text from a token on, as one value: one quoted text loses its quotes.
std::string TextFrom(const std::string& line, const std::vector<Token>& tokens, size_t first) {
    if (first >= tokens.size()) return "";
    std::string text = Trim(line.substr(tokens[first].start));
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"' && text.find('"', 1) == text.size() - 1)
        text = text.substr(1, text.size() - 2);
    return text;
}

// Paths may name environment variables (%TEMP%\a.pdf); other texts are taken as they stand.
std::string ExpandPath(const std::string& path) {
    std::wstring wide = FromUtf8(path);
    DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::wstring out(needed, L'\0');
    DWORD written = ExpandEnvironmentStringsW(wide.c_str(), &out[0], needed);
    if (written == 0 || written > needed) return path;
    out.resize(written - 1);
    return ToUtf8(out);
}

// The server-form's settings; false with *error for a token it does not take.
bool ParseServerForm(const std::vector<std::string>& args, DialogAnswer::Form* form, std::string* error) {
    for (const std::string& arg : args) {
        if (arg == "cancel") {
            form->cancel = true;
            continue;
        }
        size_t equals = arg.find('=');
        std::string key = arg.substr(0, equals);
        std::string value = equals == std::string::npos ? std::string() : arg.substr(equals + 1);
        if (value == "\"\"") value.clear();
        if (equals != std::string::npos && (key == "server" || key == "user" || key == "password")) {
            (key == "server" ? form->server : key == "user" ? form->user : form->password) = FromUtf8(value);
        } else if (equals != std::string::npos && (key == "trusted" || key == "auto") && (value == "on" || value == "off")) {
            (key == "trusted" ? form->trusted : form->autoLogin) = value == "on";
        } else {
            *error = "\"" + arg + "\" is not a setting of server-form (server=, user=, password=, trusted=on|off, "
                     "auto=on|off, cancel)";
            return false;
        }
    }
    return true;
}

// A screenshot's name: letters, digits, '.', '_' and '-', or "-" alone.
bool IsShotName(const std::string& name) {
    if (name.empty() || name.size() > 80 || name[0] == '.') return false;
    for (char c : name)
        if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') return false;
    return true;
}

bool ParseNumber(const std::string& text, long* value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!isdigit(static_cast<unsigned char>(c))) return false;
    *value = std::stol(text);
    return *value > 0;
}

}  // namespace

std::vector<std::string> ParseScenario(const std::string& text, Scenario* out) {
    std::vector<std::string> errors;
    out->steps.clear();
    int lineNumber = 0;
    // Index of the action step that answers attach to; -1 none, -2 an action line that was rejected
    // (its answers are dropped without a second error).
    long owner = -1;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() + 1 : end + 1;
        lineNumber++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        auto fail = [&](const std::string& why) { errors.push_back("line " + std::to_string(lineNumber) + ": " + why); };

        std::vector<Token> tokens;
        std::string error;
        if (!Tokenize(trimmed, &tokens, &error)) {
            fail(error);
            continue;
        }
        const std::string& command = tokens[0].text;
        auto rule = Rules().find(command);
        if (rule == Rules().end()) {
            fail("unknown command \"" + command + "\"");
            owner = -1;
            continue;
        }
        size_t args = tokens.size() - 1;
        if (args < rule->second.minArgs || (rule->second.maxArgs != kText && args > rule->second.maxArgs)) {
            fail("usage: " + std::string(rule->second.usage));
            if (rule->second.shape != Shape::Answer) owner = rule->second.shape == Shape::Action ? -2 : -1;
            continue;
        }

        ScenarioStep step;
        step.line = lineNumber;
        step.source = trimmed;
        step.command = command;
        for (size_t i = 1; i < tokens.size(); i++) step.args.push_back(tokens[i].text);
        step.rest = TextFrom(trimmed, tokens, 1);

        if (rule->second.shape == Shape::Answer) {
            if (owner == -1) {
                fail("\"" + command + "\" answers a dialog and must follow the action that opens it");
                continue;
            }
            DialogAnswer answer;
            answer.line = lineNumber;
            if (command == "choose" || command == "kept-select") {
                answer.kind = command == "choose" ? DialogAnswer::Kind::Choose : DialogAnswer::Kind::KeptSelect;
                if (command == "choose") answer.caption = L"Tessera - Open";
                bool good = true;
                for (const std::string& pick : step.args) {
                    if (command == "kept-select" && pick == "all" && step.args.size() == 1) break;
                    size_t dot = pick.find('.');
                    DialogAnswer::Pick p{0, 0};
                    if (!ParseNumber(pick.substr(0, dot), &p.number) ||
                        (dot != std::string::npos && !ParseNumber(pick.substr(dot + 1), &p.version))) {
                        fail("\"" + pick + "\" is not a document number (1001 or 1001.2)");
                        good = false;
                        break;
                    }
                    answer.picks.push_back(p);
                }
                if (!good) continue;
            } else if (command == "profile") {
                answer.kind = DialogAnswer::Kind::Profile;
                answer.caption = L"Tessera - Import";
                answer.text = FromUtf8(step.rest);
            } else if (command == "cancel" || command == "stop-waiting") {
                answer.kind = command == "cancel" ? DialogAnswer::Kind::Cancel : DialogAnswer::Kind::StopWaiting;
                answer.caption = FromUtf8(step.rest);
            } else if (command == "server-form") {
                answer.kind = DialogAnswer::Kind::ServerForm;
                std::string why;
                if (!ParseServerForm(step.args, &answer.form, &why)) {
                    fail(why);
                    continue;
                }
            } else if (command == "kept-press") {
                static const char* const buttons[] = {"checkin", "open", "new", "show", "discard", "close"};
                if (std::find(std::begin(buttons), std::end(buttons), step.args[0]) == std::end(buttons)) {
                    fail("usage: " + std::string(rule->second.usage));
                    continue;
                }
                answer.kind = DialogAnswer::Kind::KeptPress;
                answer.text = FromUtf8(step.args[0]);
            } else if (command == "kept-confirm") {
                if (step.args[0] != "discard" && step.args[0] != "cancel") {
                    fail("usage: " + std::string(rule->second.usage));
                    continue;
                }
                answer.kind = DialogAnswer::Kind::KeptConfirm;
                answer.confirm = step.args[0] == "discard";
            } else if (command == "shot" || command == "shot-alert") {
                if (!IsShotName(step.args[0])) {
                    fail("\"" + step.args[0] + "\" is no screenshot name (letters, digits, '.', '_', '-')");
                    continue;
                }
                answer.kind = command == "shot" ? DialogAnswer::Kind::Shot : DialogAnswer::Kind::AlertShot;
                answer.text = FromUtf8(step.args[0]);
            } else {
                answer.kind = DialogAnswer::Kind::File;
                answer.text = FromUtf8(ExpandPath(step.rest));
            }
            if (owner >= 0) out->steps[static_cast<size_t>(owner)].answers.push_back(answer);
            continue;
        }

        if (command == "idle" && !step.args.empty()) {
            long count = 0;
            if (!ParseNumber(step.args[0], &count) || count > 10000) {
                fail("idle count must be a number from 1 to 10000");
                owner = -2;
                continue;
            }
        }
        if (command == "expect-open") {
            long count = 0;
            if (step.args[0] != "0" && !ParseNumber(step.args[0], &count)) {
                fail("expect-open needs a count");
                continue;
            }
        }
        if (command == "shift" && step.args[0] != "down" && step.args[0] != "up") {
            fail("usage: shift down|up");
            continue;
        }
        if (command == "edit") step.rest = TextFrom(trimmed, tokens, 2);
        if (command == "open" || command == "touch" || command == "wait-file") step.rest = ExpandPath(step.rest);
        if (command == "rename") step.args[1] = ExpandPath(step.args[1]);
        if (command == "saveas" && step.args.size() == 2) {
            DialogAnswer answer;
            answer.kind = DialogAnswer::Kind::File;
            answer.line = lineNumber;
            answer.text = FromUtf8(ExpandPath(step.args[1]));
            step.answers.push_back(answer);
        }
        out->steps.push_back(step);
        owner = rule->second.shape == Shape::Action ? static_cast<long>(out->steps.size()) - 1 : -1;
    }
    return errors;
}

}  // namespace vxhost
