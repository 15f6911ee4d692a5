#include "BenchHarness.h"

#include "menu/ShellMenuHandler.h"
#include "settings/RegistryKey.h"
#include "settings/Settings.h"

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

const char kOptionsSubKey[] = "Options";
const char kCascadedMenuValue[] = "CascadedMenu";

// The "CascadedMenu" setting the program found, put back when it ends: the prefix belongs to the
// build tree, whose tests use it too.
class CSavedMenuForm
{
public:
    CSavedMenuForm()
    {
        CRegistryKey key;
        _stored = key.Open(HKEY_CURRENT_USER, MakeSettingsKeyPath(kOptionsSubKey), KEY_READ) == ERROR_SUCCESS &&
                  key.QueryValue(kCascadedMenuValue, _value) == ERROR_SUCCESS;
    }
    ~CSavedMenuForm()
    {
        CRegistryKey key;
        if (key.Open(HKEY_CURRENT_USER, MakeSettingsKeyPath(kOptionsSubKey)) != ERROR_SUCCESS)
            return;
        if (_stored)
            key.SetValue(kCascadedMenuValue, _value);
        else
            key.DeleteValue(kCascadedMenuValue);
    }
    CSavedMenuForm(const CSavedMenuForm&) = delete;
    CSavedMenuForm& operator=(const CSavedMenuForm&) = delete;

private:
    bool _stored = false;
    DWORD _value = 0;
};

// The menu form the next menus are built in. The setting is written only when it changes, so the
// measured runs read it as every right-click does but never pay for the write.
void UseMenuForm(bool cascaded)
{
    static CSavedMenuForm saved;
    static int current = -1;
    if (current != static_cast<int>(cascaded))
    {
        SaveCascadedMenu(cascaded);
        current = cascaded;
    }
}

// The shell's menu stands for the host's: made once, and emptied again after each call, so that
// what is timed is the call and the removal of what it added (the cascaded popup dies with its
// item), not the making of the host's own menu.
void BuildMenu(CShellMenuHandler* handler, bool cascaded, int repeats)
{
    UseMenuForm(cascaded);
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < repeats; i++)
    {
        if (FAILED(handler->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_NORMAL)))
            std::printf("QueryContextMenu failed\n");
        while (GetMenuItemCount(menu) > 0)
            DeleteMenu(menu, 0, MF_BYPOSITION);
    }
    DestroyMenu(menu);
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

CShellMenuHandler* HandlerFor(int count)
{
    static CBenchHandler one(1);
    static CBenchHandler thousand(1000);
    static CBenchHandler all(kLargestSelection);
    return count == 1 ? one.Handler : (count == 1000 ? thousand.Handler : all.Handler);
}

void MenuForOneFileFlat()
{
    BuildMenu(HandlerFor(1), false, kRepeatsForOneFile);
}

void MenuForOneFileCascaded()
{
    BuildMenu(HandlerFor(1), true, kRepeatsForOneFile);
}

void LookUpOneFile()
{
    LookUpNames(1, kRepeatsForOneFile);
}

void MenuForThousandFilesFlat()
{
    BuildMenu(HandlerFor(1000), false, 1);
}

void MenuForThousandFilesCascaded()
{
    BuildMenu(HandlerFor(1000), true, 1);
}

void LookUpThousandFiles()
{
    LookUpNames(1000, 1);
}

void MenuForTenThousandFilesFlat()
{
    BuildMenu(HandlerFor(kLargestSelection), false, 1);
}

void MenuForTenThousandFilesCascaded()
{
    BuildMenu(HandlerFor(kLargestSelection), true, 1);
}

void LookUpTenThousandFiles()
{
    LookUpNames(kLargestSelection, 1);
}
} // namespace

VANTOR_BENCH_GOAL(MenuOneFileFlat, "QueryContextMenu for 1 file, flat (200 times)", MenuForOneFileFlat,
                  "FindFirstFileW and FindClose of that file (200 times)", LookUpOneFile, 0, 3.0);
VANTOR_BENCH_GOAL(MenuOneFileCascaded, "QueryContextMenu for 1 file, cascaded (200 times)", MenuForOneFileCascaded,
                  "FindFirstFileW and FindClose of that file (200 times)", LookUpOneFile, 0, 3.0);
VANTOR_BENCH_GOAL(MenuThousandFilesFlat, "QueryContextMenu for 1,000 files, flat", MenuForThousandFilesFlat,
                  "FindFirstFileW and FindClose of each of them", LookUpThousandFiles, 0, 1.05);
VANTOR_BENCH_GOAL(MenuThousandFilesCascaded, "QueryContextMenu for 1,000 files, cascaded", MenuForThousandFilesCascaded,
                  "FindFirstFileW and FindClose of each of them", LookUpThousandFiles, 0, 1.05);
VANTOR_BENCH_GOAL(MenuTenThousandFilesFlat, "QueryContextMenu for 10,000 files, flat", MenuForTenThousandFilesFlat,
                  "FindFirstFileW and FindClose of each of them", LookUpTenThousandFiles, 5, 1.05);
VANTOR_BENCH_GOAL(MenuTenThousandFilesCascaded, "QueryContextMenu for 10,000 files, cascaded",
                  MenuForTenThousandFilesCascaded, "FindFirstFileW and FindClose of each of them",
                  LookUpTenThousandFiles, 5, 1.05);
