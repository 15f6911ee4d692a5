#pragma once

#include "base/AllocHooks.h"
#include "base/ComIds.h"
#include "base/Module.h"
#include "base/WideString.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Every test ends with the live heap blocks it started with, and the platform flag restored.
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
    explicit CWidePathScope(bool wide) : _saved(g_WideApisAvailable) { g_WideApisAvailable = wide; }
    ~CWidePathScope() { g_WideApisAvailable = _saved; }
    CWidePathScope(const CWidePathScope&) = delete;
    CWidePathScope& operator=(const CWidePathScope&) = delete;

private:
    bool _saved;
};

// Folder of the running test program, ending with a backslash.
CWideString TestProgramFolder();

#ifdef _WIN64
// Memory at 8 GB or more with the low 32 bits of its address zero: a pointer into it cut to 32
// bits anywhere reads as null or a small number, so the code that handles it goes visibly wrong.
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

// A folder under the temporary folder, deleted with everything in it at the end of the scope.
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

// ---- Registry: the stored bytes, arranged and read without the module's own key class.

// A stored value as the wide registry calls read it: its type and its bytes.
using CStored = std::pair<DWORD, std::vector<BYTE>>;
// The values of a key by name; "" is the default value.
using CValues = std::map<std::wstring, CStored>;
CStored Dword(DWORD value);
// REG_SZ of the first `bytes` bytes of `text`; by default the whole text with its terminating zero.
CStored Text(const std::wstring& text, size_t bytes = ~size_t(0));
// "Nothing stored": SetRaw only creates the key; RawValue of a missing value.
const CStored kNoValue{REG_NONE, {}};

// Keys are created as needed; sub-key names come sorted.
void SetRaw(HKEY root, const std::wstring& path, const std::wstring& name, const CStored& value);
CStored RawValue(HKEY root, const std::wstring& path, const std::wstring& name);
CValues RawValues(HKEY root, const std::wstring& path);
std::vector<std::wstring> RawSubKeys(HKEY root, const std::wstring& path);
bool RegistryKeyExists(HKEY root, const std::wstring& path);
// Deletes a key with everything below it, now; restores nothing.
void DeleteRegistryTree(HKEY root, const std::wstring& path);

// Keeps a registry key as found: its values and sub-keys are saved and put back exactly at the end
// of the scope. Where the key or some of its parents are missing, the highest missing one is
// removed again instead, so keys created on the way do not stay.
class CRegistrySnapshot
{
public:
    CRegistrySnapshot(HKEY root, const std::wstring& path);
    ~CRegistrySnapshot();
    CRegistrySnapshot(const CRegistrySnapshot&) = delete;
    CRegistrySnapshot& operator=(const CRegistrySnapshot&) = delete;

private:
    HKEY _root;
    std::wstring _path;
    std::wstring _copy; // under HKEY_CURRENT_USER; empty when the key was missing
};

// The module's ASCII names in the wide form the registry helpers take.
inline std::wstring WidenAscii(const char* text)
{
    return std::wstring(text, text + std::strlen(text));
}
// The product's settings key under HKEY_CURRENT_USER.
const std::wstring kSettingsRoot = WidenAscii(kSettingsRootPath);
// The handler's class id as the registry spells it, and its class key under HKEY_CLASSES_ROOT.
const std::wstring kHandlerClassId = WidenAscii(kShellMenuHandlerClassIdText.Text);
const std::wstring kHandlerClassKey = L"CLSID\\" + kHandlerClassId;

// Each test starts without the product's settings and leaves them as it found them.
class CSettingsRegistryTest : public CModuleTest
{
protected:
    // Starts without settings before any set-up runs, whatever an interrupted run left: a language
    // a set-up loads is the built-in one.
    CSettingsRegistryTest();

private:
    CRegistrySnapshot _settings{HKEY_CURRENT_USER, kSettingsRoot};
};

// ---- Programs and children

// Sets an environment variable (removes it for null) for one scope; started programs inherit it.
class CEnvironmentVariable
{
public:
    CEnvironmentVariable(const std::wstring& name, const wchar_t* value);
    ~CEnvironmentVariable();
    CEnvironmentVariable(const CEnvironmentVariable&) = delete;
    CEnvironmentVariable& operator=(const CEnvironmentVariable&) = delete;

private:
    std::wstring _name;
    std::wstring _saved;
    bool _hadValue;
};

// The exit code of a child test program that ran no test to its end (gtest's own are 0 and 1).
const DWORD kChildRanNoTest = 3;

// Runs this program's tests matching `gtestFilter` in a fresh child with the extra environment
// "NAME=value;NAME2=value2"; its exit code, kChildRanNoTest when not one of them passed, 0xFFFFFFFF
// when it did not start or hung (it is ended after two minutes).
DWORD RunThisProgram(const wchar_t* gtestFilter, const wchar_t* environmentAssignments = nullptr);
// The test program's exit code: gtest's verdict, or in a child kChildRanNoTest.
int ChildExitCode(int gtestResult);

// ---- Threads, dialogs, exhausted memory

// Runs body(threadIndex) on `count` threads; false when they did not all end within `timeoutMs`.
bool RunOnThreads(int count, DWORD timeoutMs, const std::function<void(int)>& body);

// Watches this process from a thread of its own for visible dialogs with the caption (or any):
// each is noted and handed to `answer`, by default closed with OK as a user dismisses an error box.
class CDialogWatcher
{
public:
    struct CDialog
    {
        std::wstring Caption;
        std::wstring Text; // a message box's text
        bool StopIcon;     // a message box with the stop-sign (error) icon
        HWND Owner;
    };

    explicit CDialogWatcher(const wchar_t* caption = nullptr, std::function<void(HWND)> answer = nullptr);
    ~CDialogWatcher() { Stop(); }
    CDialogWatcher(const CDialogWatcher&) = delete;
    CDialogWatcher& operator=(const CDialogWatcher&) = delete;

    // Ends the watch; the dialogs found, in order.
    std::vector<CDialog> Stop();

private:
    void Watch();

    std::wstring _caption;
    bool _anyCaption;
    std::function<void(HWND)> _answer;
    std::vector<CDialog> _seen;
    std::atomic<bool> _stop{false};
    std::thread _thread;
};

// Runs `operation` with its first, second, ... allocation failing until a run makes no more. Before
// each, `prepare` makes what it works on; after it `check(failed, threw)` checks and releases, and
// the live blocks must be back to their count before prepare. Without a check, an exception must
// come exactly when an allocation failed. Gives the number of runs in which one failed.
int ForEachAllocationFailure(const std::function<void()>& operation,
                             const std::function<void(bool failed, bool threw)>& check = nullptr,
                             const std::function<void()>& prepare = nullptr);

// gtest printing of the module's strings.
void PrintTo(const CWideString& text, std::ostream* os);
void PrintTo(const CNarrowString& text, std::ostream* os);
