#include "VxTrace.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "VxApp.h"

namespace {
void SilentSink(const char*) {}
VxTraceSink sSink = SilentSink;

// The line goes into a heap buffer sized to fit, as the sink may keep nothing of it.
void Emit(const char* label, const char* separatorValue) {
    size_t size = strlen(label) + 1 + strlen(separatorValue) + 1;
    char* line = static_cast<char*>(malloc(size));
    if (!line) return;
    _snprintf(line, size, "%s %s", label, separatorValue);
    line[size - 1] = '\0';
    sSink(line);
    free(line);
}
}  // namespace

VxTraceSink VxSetTraceSink(VxTraceSink sink) {
    VxTraceSink previous = sSink;
    sSink = sink ? sink : SilentSink;
    return previous;
}

void VxTrace(const char* label, long value) {
    char number[16];
    _snprintf(number, sizeof number, "%d", static_cast<int>(value));
    number[sizeof number - 1] = '\0';
    Emit(label, number);
}

void VxTrace(const char* label, const char* text) { Emit(label, text ? text : ""); }

void VxTrace(const char* label, const wchar_t* text) { Emit(label, VxToAnsi(text).c_str()); }

void VxTraceLine(const char* line) { sSink(line); }
