// CAPStringUtils.h - host text objects to wide C strings and back. Neither class throws: a failure
// is logged as an exception block and leaves the result null.
#pragma once

#include "VarnelSDK.h"

// A heap copy of a host text's wide string; null for a null text.
class CASText2CT {
public:
    explicit CASText2CT(ASText text);
    ~CASText2CT();
    CASText2CT(const CASText2CT&) = delete;
    CASText2CT& operator=(const CASText2CT&) = delete;

    const wchar_t* Get() const { return text_; }
    operator const wchar_t*() const { return text_; }

private:
    wchar_t* text_ = nullptr;
};

// A host text made from a wide C string, destroyed with this object unless detached; null for a
// null string.
class CCT2ASText {
public:
    explicit CCT2ASText(const wchar_t* text);
    ~CCT2ASText();
    CCT2ASText(const CCT2ASText&) = delete;
    CCT2ASText& operator=(const CCT2ASText&) = delete;

    ASText Get() const { return text_; }
    operator ASText() const { return text_; }
    // Hands the text to the caller (for example to return it to the host), who destroys it.
    ASText Detach();

private:
    ASText text_ = nullptr;
};
