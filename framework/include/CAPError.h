// CAPError.h - the process-wide list of error records of the support library's file operations.
#pragma once

#include <windows.h>
#include <memory>
#include <string>
#include <vector>

enum CAPErrorSeverity { kCAPError = 1, kCAPWarning = 2 };

struct CAPErrorData {
    DWORD value = 0;         // the system's last-error code, when the add-with-value operation set it
    UINT stringId = 0;       // string-table entry of the module
    std::wstring text;       // that entry, formatted with the caller's arguments
    int severity = kCAPError;
};

class CAPError {
public:
    CAPError() = default;
    ~CAPError();  // destroys the records, newest first
    CAPError(const CAPError&) = delete;
    CAPError& operator=(const CAPError&) = delete;

    // Each add catches every failure of its own and returns normally.
    void AddError(UINT stringId, ...);
    void AddWarning(UINT stringId, ...);
    // Appends a severity-1 record, then stores the value in the most recent severity-1 record and
    // returns it; null when the append failed.
    CAPErrorData* AddErrorWithValue(DWORD value, UINT stringId, ...);

    const CAPErrorData* GetLastError() const;  // newest record of severity 1, or null
    int GetCount() const { return static_cast<int>(records_.size()); }
    const CAPErrorData* GetAt(int index) const;
    void Clear();

    static CAPError& Instance();  // the process-wide list

private:
    bool Add(int severity, UINT stringId, va_list args);
    std::vector<std::unique_ptr<CAPErrorData>> records_;
};
