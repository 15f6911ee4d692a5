// VNTXFM.exe, the stand-in file manager. Started by "Open archive" it records the command line it
// received (README.md of the stand-in archiver describes the record); started with /options it
// hosts the module's options plug-in instead.

#include "PluginHost.h"
#include "RecordLog.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

namespace
{
const wchar_t kLogVariable[] = L"VANTOR_FILEMANAGER_LOG";
const wchar_t kDefaultLog[] = L"VNTXFM-received.txt";
const wchar_t kOptionsSwitch[] = L"/options";

// "/options" may be followed by the decimal handle of the window that owns the sheet.
HWND ParentWindow(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() < 2 || arguments[1].empty())
        return nullptr;
    wchar_t* end = nullptr;
    const unsigned long value = wcstoul(arguments[1].c_str(), &end, 10);
    if (*end != 0)
        return nullptr;
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
}
} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::vector<std::wstring> arguments = SplitArguments(GetCommandLineW());
    if (!arguments.empty() && _wcsicmp(arguments[0].c_str(), kOptionsSwitch) == 0)
        return RunPluginHost(ParentWindow(arguments));

    std::wstring record = L"[VNTXFM]\r\nCommandLine=";
    record += GetCommandLineW();
    record += L"\r\n";
    return AppendRecord(kLogVariable, kDefaultLog, record) ? 0 : 1;
}
