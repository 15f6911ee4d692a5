#include <windows.h>

#include <cstdio>

// Stands in for the HTML Help control's HtmlHelpA: one line per call, "caller|file|command|data".
extern "C" HWND WINAPI HtmlHelpA(HWND caller, LPCSTR file, UINT command, DWORD_PTR data)
{
    char logPath[MAX_PATH + 1] = {};
    if (GetEnvironmentVariableA("VANTOR_FAKE_HELP_LOG", logPath, MAX_PATH) == 0)
        return nullptr;
    HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return nullptr;
    char line[1024];
    // Handle and data whole, also in the 64-bit build.
    const int length = std::snprintf(line, sizeof(line), "%llu|%s|%u|%llu\n",
                                     static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(caller)),
                                     file != nullptr ? file : "(null)", command, static_cast<unsigned long long>(data));
    DWORD written = 0;
    WriteFile(log, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(log);
    return nullptr;
}
