// helptrim: in the host named "Varnel Pro", removes a fixed set of items from the Help ribbon.
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxPlugin.h"

namespace {

ASBool VXAPI HelpTrimLoadCheck(void) {
    VX_MANAGE_STATE();
    ASAtom wanted = VxAtom("Varnel Pro");
    return VxAppGetName() == wanted ? 1 : 0;
}

ASBool VXAPI HelpTrimInit(void) {
    VX_MANAGE_STATE();
    VX_TRY {
        AVRibbon ribbon = VxRibbon();
        ASAtom category = VxAtom("AVRibbon:Category:Help");
        ASAtom onlineSupport = VxAtom("AVRibbon:Panel:Help:OnlineSupport");
        ASAtom product = VxAtom("AVRibbon:Panel:Help:Product");
        ASAtom help = VxAtom("AVRibbon:Panel:Help:Help");

        VxRemovePanel(ribbon, category, onlineSupport);
        VxRemoveButton(ribbon, category, product, VxAtom("AVRibbon:Help:CheckForUpdates:Btn"));
        VxRemoveButton(ribbon, category, product, VxAtom("AVRibbon:Help:ImprovementProgram:Btn"));
        VxRemoveButton(ribbon, category, product, VxAtom("AVRibbon:Help:SupportTools:Btn"));
        VxRemoveButton(ribbon, category, help, VxAtom("AVRibbon:Help:ContactSupport:Btn"));
    }
    VX_CATCH("HelpTrim", "HelpTrimInit")
    return 1;
}

ASBool VXAPI HelpTrimUnload(void) {
    VX_MANAGE_STATE();
    VxDestroyHFTServer();
    return 1;
}

}  // namespace

const VxModuleDef gVxModule = {
    "VARNELPRO:Customize", "Customize", 1, nullptr, HelpTrimLoadCheck, HelpTrimInit, HelpTrimUnload, VxAlwaysTrue,
};
