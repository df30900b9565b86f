// VxTrace.h - diagnostic trace lines: a label, one blank and a value. The sink records nothing in a
// shipped module; tests install their own to look at the lines.
#pragma once

#include <string>

typedef void (*VxTraceSink)(const char* line);
VxTraceSink VxSetTraceSink(VxTraceSink sink);  // returns the previous sink; null restores the silent one

void VxTrace(const char* label, long value);                 // "%s %d"
void VxTrace(const char* label, const char* text);           // "%s %s"
void VxTrace(const char* label, const wchar_t* text);        // "%s %s", text in the thread's ANSI code page
void VxTraceLine(const char* line);
