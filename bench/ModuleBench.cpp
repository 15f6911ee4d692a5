#include "BenchHarness.h"

#include <cstdio>
#include <string>

namespace
{
// A load takes well under a millisecond: the measure repeats it.
const int kLoadRepeats = 50;

// The module built beside this program.
const std::wstring& ModulePath()
{
    static const std::wstring path = []
    {
        wchar_t own[MAX_PATH + 1] = {};
        GetModuleFileNameW(nullptr, own, MAX_PATH);
        std::wstring folder(own);
        return folder.substr(0, folder.rfind(L'\\') + 1) + L"Vantor.dll";
    }();
    return path;
}

// As a host loads and unloads it: imports bound, static objects built, the entry point run.
void LoadModule()
{
    for (int i = 0; i < kLoadRepeats; i++)
    {
        HMODULE module = LoadLibraryW(ModulePath().c_str());
        if (module == nullptr)
            std::printf("Vantor.dll did not load\n");
        else
            FreeLibrary(module);
    }
}

// The same file mapped as data: what the loader does before any of the module's own work.
void MapModule()
{
    for (int i = 0; i < kLoadRepeats; i++)
    {
        HMODULE module = LoadLibraryExW(ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module == nullptr)
            std::printf("Vantor.dll could not be mapped\n");
        else
            FreeLibrary(module);
    }
}
} // namespace

VANTOR_BENCH(ModuleLoad, "LoadLibraryW and FreeLibrary of Vantor.dll (50 times)", LoadModule,
             "the same file mapped as data and unmapped (50 times)", MapModule);
