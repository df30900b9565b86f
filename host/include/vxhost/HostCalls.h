// HostCalls.h - a few of the current host's table entries called as a plug-in calls them, for code
// that holds host objects of its own beside a plug-in (fixtures, fake tables, the fault sweep).
#pragma once

#include <string>

#include "vxhost/Host.h"

namespace vxhost {

struct HostCalls {
    static HFT Table(const char* name) { return Host::Current()->HostTable(name); }

    static ASPathName MakePath(const std::wstring& path) {
        return VxEntry<ASFileSysCreatePathProc>(Table("AS"), kASFileSysCreatePath)(
            nullptr, Host::Current()->Atom("Wstring"), path.c_str(), nullptr);
    }
    static void ReleasePath(ASPathName path) {
        if (path) VxEntry<ASFileSysReleasePathProc>(Table("AS"), kASFileSysReleasePath)(nullptr, path);
    }
    static std::wstring PathText(ASPathName path) {
        ASText text = MakeText(L"");
        VxEntry<ASFileSysDisplayTextProc>(Table("AS"), kASFileSysDisplayText)(nullptr, path, text);
        std::wstring value = TextValue(text);
        DestroyText(text);
        return value;
    }
    static ASText MakeText(const std::wstring& value) {
        return VxEntry<ASTextFromUnicodeProc>(Table("ASExtra"), kASTextFromUnicode)(value.c_str(), 1);
    }
    static std::wstring TextValue(ASText text) {
        return VxEntry<ASTextGetUnicodeProc>(Table("ASExtra"), kASTextGetUnicode)(text);
    }
    static void DestroyText(ASText text) {
        if (text) VxEntry<ASTextDestroyProc>(Table("ASExtra"), kASTextDestroy)(text);
    }
    // A list of paths a plug-in handed out: every path, then the block.
    static void FreeList(ASPathName* items, ASUns16 count) {
        if (!items) return;
        for (ASUns16 i = 0; i < count; ++i) ReleasePath(items[i]);
        VxEntry<ASfreeProc>(Table("AS"), kASfree)(items);
    }
};

}  // namespace vxhost
