#pragma once

#include "base/WideString.h"

#include <windows.h>

// HH_DISPLAY_TOPIC of the HTML Help control.
const UINT kHtmlHelpDisplayTopic = 0;

// The HTML Help control ("hhctrl.ocx"), found and loaded the first time help is asked for.
// The module never links it: Windows 98 may lack it, and then Help simply does nothing.
class CHtmlHelpControl
{
public:
    // `classKey` is the control's class key under HKEY_CLASSES_ROOT, whose InprocServer32
    // default value names the control's file; when that fails, `fallbackName` is loaded from the
    // system folder.
    CHtmlHelpControl(const char* classKey, const char* fallbackName) : _classKey(classKey), _fallbackName(fallbackName)
    {
    }
    CHtmlHelpControl(const CHtmlHelpControl&) = delete;
    CHtmlHelpControl& operator=(const CHtmlHelpControl&) = delete;

    // The control's HtmlHelpA result, or null when the control is not available. Once loading
    // failed it is never tried again in this process.
    HWND Call(HWND caller, const char* file, UINT command, DWORD_PTR data);

    // The control's file as the registry names it; false when the value cannot be read or does
    // not fit a path.
    bool FindControlPath(CNarrowString& path) const;

    // Calls of LoadLibraryA made so far, and whether loading has failed for good.
    int LoadAttempts() const { return _loadAttempts; }
    bool LoadFailed() const { return _loadFailed; }
    HMODULE Module() const { return _module; }

    // The fallback name in the system folder; false when the folder cannot be obtained.
    bool FindFallbackPath(CNarrowString& path) const;

private:
    HMODULE LoadControl(const char* name);

    const char* _classKey;
    const char* _fallbackName;
    // Never freed: a help window the control opened may outlive every call.
    HMODULE _module = nullptr;
    bool _loadFailed = false;
    FARPROC _entry = nullptr;
    int _loadAttempts = 0;
};

// "CLSID\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}", the control's registered class.
extern const char kHtmlHelpClassKey[];
// The process-wide control that ShowHelpTopic uses.
extern CHtmlHelpControl g_HtmlHelpControl;

HWND CallHtmlHelp(HWND caller, const char* file, UINT command, DWORD_PTR data);
// Shows a topic of "Vantor.chm" beside the module, e.g. "fm/plugins/Vantor/options.htm#system".
void ShowHelpTopic(const CWideString& topic);
