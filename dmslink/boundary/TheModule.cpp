// The one module-wide variable of dmslink: its module object, apart from the start-up code so that
// test programs carrying a module definition of their own can reach the boundary without it.
#include <utility>

#include "boundary/Boundary.h"

namespace {
std::unique_ptr<CDmslinkModule> sModule;
}  // namespace

CDmslinkModule* TheModule() { return sModule.get(); }

void AdoptModule(std::unique_ptr<CDmslinkModule> module) { sModule = std::move(module); }

std::unique_ptr<CDmslinkModule> ReleaseModule() { return std::move(sModule); }
