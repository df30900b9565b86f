// TSPreferences.h - the plug-in's preferences: six on/off flags and the patience read at start-up from
// HKLM\SOFTWARE\Varnel\Pro\11.0\Settings\Tessera, three flags set by the host through the "Tessera"
// table. The flags are false until set.
#pragma once

#include <windows.h>

struct TSPreferences {
    bool enableOpen = false;           // "TesseraEnableOpen"
    bool enableSave = false;           // "TesseraEnableSave"
    bool openShortcutInvert = false;   // "TesseraOpenShortcutInvert": Shift inverts the Open decision
    bool saveShortcutInvert = false;   // "TesseraSaveShortcutInvert": Shift inverts the Save decision
    bool openDefaultLocation = false;  // "TesseraOpenDefaultLocation": the host's Open goes to the DMS
    bool saveDefaultLocation = false;  // "TesseraSaveDefaultLocation": the host's Save As goes to the DMS
    bool defaultsSuppressed = false;   // kTesseraSetDefaultsSuppressed
    bool explicitSaveOnly = false;     // kTesseraSetExplicitSaveOnly
    bool saveButtonActive = false;     // while kTesseraFileSaveAsBtnExecuteProc runs
    // "TesseraPatienceSeconds": how long a DMS call may go unanswered before the user may stop waiting.
    DWORD patienceSeconds = kDefaultPatienceSeconds;

    static constexpr DWORD kDefaultPatienceSeconds = 20;
    static constexpr DWORD kLongestPatienceSeconds = 3600;
};

// Reads the six registry flags; false, with nothing read, when the key does not open.
bool ReadPreferences(TSPreferences* preferences);
// One preference value: true exactly when it is a string "1"; a value that cannot be read as a
// string of at most 260 characters leaves *flag as it was.
bool ReadPreferenceFlag(HKEY key, const wchar_t* name, bool* flag);
// A number of seconds, as decimal text, from 1 to `longest`; anything else leaves *seconds as it was.
bool ReadPreferenceSeconds(HKEY key, const wchar_t* name, DWORD longest, DWORD* seconds);
