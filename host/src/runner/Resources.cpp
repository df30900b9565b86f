// What the process holds, for soak runs: a leak of handles or of GDI/USER objects shows as growth.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <string>
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

unsigned long OwnHandles(std::string* types) {
    std::vector<BYTE> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        NTSTATUS status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(),
                                                   static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const HandleList* list = reinterpret_cast<const HandleList*>(buffer.data());
            unsigned long own = 0, byType[256] = {};
            for (ULONG i = 0; i < list->count; ++i) {
                if (list->entries[i].process != GetCurrentProcessId()) continue;
                ++own;
                ++byType[list->entries[i].type];
            }
            for (int type = 0; type < 256; ++type)
                if (byType[type]) *types += (types->empty() ? "" : " ") + std::to_string(type) + ":" + std::to_string(byType[type]);
            return own;
        }
        buffer.resize(buffer.size() * 2);
    }
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? count : 0;
}

}  // namespace

// The highest slot that a batch of fresh objects takes: freed slots are filled first, so the batch
// reaches above every slot in use, and it climbs only while objects leak.
template <class Make, class Free>
unsigned long HighestSlot(Make make, Free free) {
    const int kBatch = 256;
    std::vector<void*> made;
    unsigned long highest = 0;
    for (int i = 0; i < kBatch; ++i) {
        void* object = make();
        if (!object) break;
        made.push_back(object);
        highest = std::max<unsigned long>(highest, LOWORD(reinterpret_cast<ULONG_PTR>(object)));
    }
    for (void* object : made) free(object);
    return highest;
}

ResourceCounts CountResources() {
    ResourceCounts counts;
    counts.handles = OwnHandles(&counts.handleTypes);
    counts.gdiProbe = HighestSlot([] { return static_cast<void*>(CreateSolidBrush(RGB(1, 2, 3))); },
                                  [](void* brush) { DeleteObject(static_cast<HBRUSH>(brush)); });
    counts.userProbe = HighestSlot([] { return static_cast<void*>(CreateMenu()); },
                                   [](void* menu) { DestroyMenu(static_cast<HMENU>(menu)); });
    counts.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    counts.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    return counts;
}

}  // namespace vxhost
