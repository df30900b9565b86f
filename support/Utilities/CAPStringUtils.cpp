#include "Utilities/CAPStringUtils.h"

#include <wchar.h>

#include "VxGuard.h"
#include "VxHFT.h"

namespace {
const char kSite[] = "Utilities\\CAPStringUtils";
}  // namespace

CASText2CT::CASText2CT(ASText text) {
    if (!text) return;
    VX_TRY {
        const wchar_t* wide = VxTextGetWide(text);
        if (!wide) wide = L"";
        size_t length = wcslen(wide);
        wchar_t* copy = new wchar_t[length + 1]();
        wmemcpy(copy, wide, length + 1);
        text_ = copy;
    }
    VX_CATCH(kSite, "CASText2CT::CASText2CT")
}

CASText2CT::~CASText2CT() { delete[] text_; }

CCT2ASText::CCT2ASText(const wchar_t* text) {
    if (!text) return;
    VX_TRY { text_ = VxTextFromWide(text); }
    VX_CATCH(kSite, "CCT2ASText::CCT2ASText")
}

CCT2ASText::~CCT2ASText() {
    if (!text_) return;
    ASText text = text_;
    text_ = nullptr;
    VX_TRY { VxTextDestroy(text); }
    VX_CATCH(kSite, "CCT2ASText::~CCT2ASText")
}

ASText CCT2ASText::Detach() {
    ASText text = text_;
    text_ = nullptr;
    return text;
}
