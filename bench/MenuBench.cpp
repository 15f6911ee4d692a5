#include "BenchHarness.h"

#include "menu/ShellMenuHandler.h"

#include <cstdio>
#include <string>
#include <vector>

namespace
{
const int kLargestSelection = 10000;
// A menu for one file takes well under a millisecond: that measure repeats it.
const int kRepeatsForOneFile = 200;

// kLargestSelection empty files in a folder of their own under the temporary folder, made once and
// removed when the program ends.
class CBenchFiles
{
public:
    CBenchFiles()
    {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        _folder = std::wstring(temp) + L"VantorMenuBench\\";
        CreateDirectoryW(_folder.c_str(), nullptr);
        for (int i = 0; i < kLargestSelection; i++)
        {
            wchar_t name[32];
            wsprintfW(name, L"file%05d.dat", i);
            Names.push_back(_folder + name);
            HANDLE file = CreateFileW(Names.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                std::printf("the benchmark files could not be made\n");
            else
                CloseHandle(file);
        }
    }
    ~CBenchFiles()
    {
        for (const std::wstring& name : Names)
            DeleteFileW(name.c_str());
        RemoveDirectoryW(_folder.c_str());
    }
    CBenchFiles(const CBenchFiles&) = delete;
    CBenchFiles& operator=(const CBenchFiles&) = delete;

    std::vector<std::wstring> Names;

private:
    std::wstring _folder;
};

const CBenchFiles& Files()
{
    static CBenchFiles files;
    return files;
}

// A handler that holds the first `count` files, handed over as the product's file manager does.
class CBenchHandler
{
public:
    explicit CBenchHandler(int count)
    {
        std::vector<const wchar_t*> names;
        for (int i = 0; i < count; i++)
            names.push_back(Files().Names[i].c_str());
        Handler = new CShellMenuHandler;
        Handler->AddRef();
        Handler->InitContextMenu(0, names.data(), static_cast<UINT>(count));
    }
    ~CBenchHandler() { Handler->Release(); }
    CBenchHandler(const CBenchHandler&) = delete;
    CBenchHandler& operator=(const CBenchHandler&) = delete;

    CShellMenuHandler* Handler;
};

void BuildMenu(CShellMenuHandler* handler, int repeats)
{
    for (int i = 0; i < repeats; i++)
    {
        HMENU menu = CreatePopupMenu();
        if (FAILED(handler->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_NORMAL)))
            std::printf("QueryContextMenu failed\n");
        DestroyMenu(menu);
    }
}

// The least any menu for the selection costs: finding each name once.
void LookUpNames(int count, int repeats)
{
    for (int r = 0; r < repeats; r++)
        for (int i = 0; i < count; i++)
        {
            WIN32_FIND_DATAW data;
            HANDLE search = FindFirstFileW(Files().Names[i].c_str(), &data);
            if (search == INVALID_HANDLE_VALUE)
                std::printf("a benchmark file is missing\n");
            else
                FindClose(search);
        }
}

void MenuForOneFile()
{
    static CBenchHandler handler(1);
    BuildMenu(handler.Handler, kRepeatsForOneFile);
}

void LookUpOneFile()
{
    LookUpNames(1, kRepeatsForOneFile);
}

void MenuForThousandFiles()
{
    static CBenchHandler handler(1000);
    BuildMenu(handler.Handler, 1);
}

void LookUpThousandFiles()
{
    LookUpNames(1000, 1);
}

void MenuForTenThousandFiles()
{
    static CBenchHandler handler(kLargestSelection);
    BuildMenu(handler.Handler, 1);
}

void LookUpTenThousandFiles()
{
    LookUpNames(kLargestSelection, 1);
}
} // namespace

VANTOR_BENCH(MenuOneFile, "QueryContextMenu for 1 file (200 times)", MenuForOneFile,
             "FindFirstFileW and FindClose of that file (200 times)", LookUpOneFile);
VANTOR_BENCH(MenuThousandFiles, "QueryContextMenu for 1,000 files", MenuForThousandFiles,
             "FindFirstFileW and FindClose of each of them", LookUpThousandFiles);
VANTOR_BENCH_RUNS(MenuTenThousandFiles, "QueryContextMenu for 10,000 files", MenuForTenThousandFiles,
                  "FindFirstFileW and FindClose of each of them", LookUpTenThousandFiles, 5);
