// What the process holds, for soak runs: a leak of handles or of GDI/USER objects shows as growth.
#include <windows.h>
#include <winternl.h>

#include <vector>

#include "vxhost/Scenario.h"

namespace vxhost {

namespace {

// The layout of SystemHandleInformation (16): a count, then one entry per open handle of the system.
struct HandleEntry {
    ULONG process;
    BYTE type;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

unsigned long OwnHandles() {
    std::vector<BYTE> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        NTSTATUS status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(),
                                                   static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const HandleList* list = reinterpret_cast<const HandleList*>(buffer.data());
            unsigned long own = 0;
            for (ULONG i = 0; i < list->count; ++i) own += list->entries[i].process == GetCurrentProcessId();
            return own;
        }
        buffer.resize(buffer.size() * 2);
    }
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? count : 0;
}

}  // namespace

ResourceCounts CountResources() {
    ResourceCounts counts;
    counts.handles = OwnHandles();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    counts.gdiProbe = LOWORD(reinterpret_cast<ULONG_PTR>(brush));
    DeleteObject(brush);
    HMENU menu = CreateMenu();
    counts.userProbe = LOWORD(reinterpret_cast<ULONG_PTR>(menu));
    DestroyMenu(menu);
    counts.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    counts.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    return counts;
}

}  // namespace vxhost
