#pragma once

#include "base/AllocHooks.h"
#include "base/WideString.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>

// Every test starts and ends with the same number of live heap blocks, and restores the
// platform flag it may have switched.
class CModuleTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

private:
    long _liveBlocksBefore = 0;
    bool _wideBefore = true;
};

// Switches g_WideApisAvailable for one scope.
class CWidePathScope
{
public:
    explicit CWidePathScope(bool wide);
    ~CWidePathScope();
    CWidePathScope(const CWidePathScope&) = delete;
    CWidePathScope& operator=(const CWidePathScope&) = delete;

private:
    bool _saved;
};

// Folder of the running test program, ending with a backslash.
CWideString TestProgramFolder();

#ifdef _WIN64
// Committed memory at an address of 8 GB or more whose low 32 bits are all zero, released at the
// end of the scope. A pointer into it that is cut to 32 bits anywhere reads as null or as a small
// number, so the code that handles it goes visibly wrong.
class CHighMemory
{
public:
    explicit CHighMemory(size_t size);
    ~CHighMemory();
    CHighMemory(const CHighMemory&) = delete;
    CHighMemory& operator=(const CHighMemory&) = delete;

    BYTE* Get() const { return _block; }

private:
    BYTE* _block = nullptr;
};
#endif

// A scratch folder under the system temporary folder, deleted with everything in it at the
// end of the scope.
class CScratchFolder
{
public:
    CScratchFolder();
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    // The folder, ending with a backslash.
    const CWideString& Path() const { return _path; }
    // Creates a file (with the given bytes) or a folder below the scratch folder; returns its full path.
    CWideString AddFile(const wchar_t* relativeName, const char* bytes = "", size_t size = 0);
    CWideString AddFolder(const wchar_t* relativeName);

private:
    CWideString _path;
};

// Deletes a registry tree under a root for the duration of a test and restores nothing: tests
// that touch HKCU\Software\VANTOR use CRegistrySnapshot instead.
void DeleteRegistryTree(HKEY root, const wchar_t* path);

// Saves a registry tree (values and sub-keys) and puts it back exactly at the end of the scope.
class CRegistrySnapshot
{
public:
    CRegistrySnapshot(HKEY root, const wchar_t* path);
    ~CRegistrySnapshot();
    CRegistrySnapshot(const CRegistrySnapshot&) = delete;
    CRegistrySnapshot& operator=(const CRegistrySnapshot&) = delete;

    struct CNode;

private:
    HKEY _root;
    CWideString _path;
    CNode* _saved;
};

// Runs this test program again with a filter and extra environment, waits, and returns its exit code.
// Used where a test needs a fresh process (state loaded once per process).
DWORD RunThisProgram(const wchar_t* gtestFilter, const wchar_t* environmentAssignments = nullptr);

// gtest printing of the module's strings.
void PrintTo(const CWideString& text, std::ostream* os);
void PrintTo(const CNarrowString& text, std::ostream* os);
