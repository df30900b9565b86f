#include "Utilities/CAPSettings.h"

namespace {

struct Segments {
    std::wstring software = L"SOFTWARE\\", company = L"Varnel\\", product = L"Pro\\", version = L"11.0\\",
                 settings = L"Settings\\", bcg = L"BCG\\", preferences = L"Preferences\\",
                 accelerators = L"Accelerators\\", qat = L"QAT\\", ui = L"UI\\", ribbon = L"Ribbon\\",
                 tools = L"Tools\\";
};

// Built once, on first use, and kept until the module unloads.
const Segments& TheSegments() {
    static const Segments segments;
    return segments;
}

}  // namespace

std::wstring GetVersionString() { return L"11.0"; }

std::wstring GetSettingsKeyPath(int kind) {
    const Segments& s = TheSegments();
    const std::wstring version = s.software + s.company + s.product + s.version;
    std::wstring path;
    switch (kind) {
        case Company: path = s.software + s.company; break;
        case Product: path = s.software + s.company + s.product; break;
        case Version: path = version; break;
        case Settings: path = version + s.settings; break;
        case BCG: path = version + s.bcg; break;
        case Preferences: path = version + s.settings + s.preferences; break;
        case Accelerators: path = version + s.settings + s.accelerators; break;
        case QAT: path = version + s.settings + s.qat; break;
        case Ribbon: path = version + s.settings + s.ui + s.ribbon; break;
        case Tools: path = version + s.settings + s.tools; break;
        default: return std::wstring();
    }
    path.pop_back();
    return path;
}
