// The module definition of a test executable that carries the framework but no plug-in of its own.
#include "VxPlugin.h"

namespace {
ASBool VXAPI TestInit(void) { return 1; }
ASBool VXAPI TestUnload(void) {
    VxDestroyHFTServer();
    return 1;
}
void VXAPI TestEntry(void) {}
void FillTestTable(HFT table) {
    table[1] = reinterpret_cast<void*>(TestEntry);
    table[2] = reinterpret_cast<void*>(TestEntry);
}
}  // namespace

const VxModuleDef gVxModule = {
    "VARNELPRO:FrameworkTest", "FrameworkTest", 3, FillTestTable, VxAlwaysTrue, TestInit, TestUnload, VxAlwaysTrue,
};
