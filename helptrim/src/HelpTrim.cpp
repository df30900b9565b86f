// helptrim: in the host named "Varnel Pro", removes a fixed set of items from the Help ribbon.
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxPlugin.h"

namespace {

const char kSite[] = "HelpTrim";

ASBool VXAPI HelpTrimLoadCheck(void) {
    return VxBoundary(VX_SITE(kSite, "HelpTrimLoadCheck"), ASBool(0), [] {
        ASAtom wanted = VxAtom("Varnel Pro");
        return ASBool(VxAppGetName() == wanted ? 1 : 0);
    });
}

ASBool VXAPI HelpTrimInit(void) {
    // Trimming the Help ribbon is all this plug-in does; a host that refuses it still loads it.
    VxBoundary(VX_SITE(kSite, "HelpTrimInit"), [] {
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
    });
    return 1;
}

ASBool VXAPI HelpTrimUnload(void) {
    VxBoundary(VX_SITE(kSite, "HelpTrimUnload"), [] { VxDestroyHFTServer(); });
    return 1;
}

}  // namespace

const VxModuleDef gVxModule = {
    "VARNELPRO:Customize", "Customize", 1, nullptr, HelpTrimLoadCheck, HelpTrimInit, HelpTrimUnload, VxAlwaysTrue,
};
