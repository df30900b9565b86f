#include "CAPError.h"

#include <stdarg.h>

#include "VxApp.h"
#include "VxGuard.h"

CAPError::~CAPError() { Clear(); }

void CAPError::Clear() {
    while (!records_.empty()) records_.pop_back();
}

bool CAPError::Add(int severity, UINT stringId, va_list args) {
    try {
        auto record = std::make_unique<CAPErrorData>();
        record->stringId = stringId;
        record->severity = severity;
        record->text = VxFormatV(VxLoadString(stringId).c_str(), args);
        records_.push_back(std::move(record));
        return true;
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION("CAPError", "CAPError::Add");
        return false;
    }
}

// NOLINTNEXTLINE(cert-dcl50-cpp): the string table's texts are printf formats, formatted by VxFormatV
void CAPError::AddError(UINT stringId, ...) {
    va_list args;
    va_start(args, stringId);
    Add(kCAPError, stringId, args);
    va_end(args);
}

// NOLINTNEXTLINE(cert-dcl50-cpp): as AddError
void CAPError::AddWarning(UINT stringId, ...) {
    va_list args;
    va_start(args, stringId);
    Add(kCAPWarning, stringId, args);
    va_end(args);
}

// NOLINTNEXTLINE(cert-dcl50-cpp): as AddError
CAPErrorData* CAPError::AddErrorWithValue(DWORD value, UINT stringId, ...) {
    va_list args;
    va_start(args, stringId);
    bool added = Add(kCAPError, stringId, args);
    va_end(args);
    if (!added) return nullptr;
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
        if ((*it)->severity == kCAPError) {
            (*it)->value = value;
            return it->get();
        }
    }
    return nullptr;
}

const CAPErrorData* CAPError::GetLastError() const {
    for (auto it = records_.rbegin(); it != records_.rend(); ++it)
        if ((*it)->severity == kCAPError) return it->get();
    return nullptr;
}

const CAPErrorData* CAPError::GetAt(int index) const {
    return index >= 0 && index < GetCount() ? records_[static_cast<size_t>(index)].get() : nullptr;
}

CAPError& CAPError::Instance() {
    static CAPError list;
    return list;
}
