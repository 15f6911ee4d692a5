#include <windows.h>

#include <cstdio>

// One line per call, "caller|file|command|data": handle and data whole also in the 64-bit build.
extern "C" HWND WINAPI HtmlHelpA(HWND caller, LPCSTR file, UINT command, DWORD_PTR data)
{
    char logPath[MAX_PATH + 1] = {};
    GetEnvironmentVariableA("VANTOR_FAKE_HELP_LOG", logPath, MAX_PATH);
    if (FILE* log = std::fopen(logPath, "ab"))
    {
        std::fprintf(log, "%llu|%s|%u|%llu\n", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(caller)),
                     file != nullptr ? file : "(null)", command, static_cast<unsigned long long>(data));
        std::fclose(log);
    }
    return nullptr;
}
