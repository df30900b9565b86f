// A plug-in whose table entries fail in known ways under the framework's guard, so that tests can
// watch a host error cross from the host's module into this one.
#include <stdexcept>

#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxPlugin.h"

namespace {

// Returns 1 when the guard caught the error and the procedure went on to its fallback.
ASBool VXAPI RaiseHostError(ASInt32 code) {
    VX_MANAGE_STATE();
    VX_TRY {
        VxRaise(code, "GuardProbe.cpp", __LINE__, "RaiseHostError");
        return 0;
    }
    VX_CATCH("GuardProbe", "RaiseHostError")
    return 1;
}

ASBool VXAPI ThrowStandard(void) {
    VX_MANAGE_STATE();
    VX_TRY {
        throw std::runtime_error("probe");
    }
    VX_CATCH("GuardProbe", "ThrowStandard")
    return 1;
}

void FillProbeTable(HFT table) {
    table[1] = reinterpret_cast<void*>(RaiseHostError);
    table[2] = reinterpret_cast<void*>(ThrowStandard);
}

ASBool VXAPI ProbeInit(void) { return 1; }
ASBool VXAPI ProbeUnload(void) {
    VxDestroyHFTServer();
    return 1;
}

}  // namespace

const VxModuleDef gVxModule = {
    "VARNELPRO:GuardProbe", "GuardProbe", 3, FillProbeTable, VxAlwaysTrue, ProbeInit, ProbeUnload, VxAlwaysTrue,
};
