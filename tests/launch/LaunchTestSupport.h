#pragma once

#include "TestSupport.h"

#include "base/Vector.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One record written by a stand-in program (tools/VNTXG/README.md).
struct CStandInRecord
{
    std::wstring Program; // "VNTXG" or "VNTXFM"
    std::map<std::wstring, std::wstring> Values;
    std::vector<std::wstring> Names; // the Name= lines in order

    std::wstring operator[](const wchar_t* key) const
    {
        const auto found = Values.find(key);
        return found == Values.end() ? std::wstring(L"<absent>") : found->second;
    }
};

// Points the stand-ins' logs into a scratch folder for one scope and reads them back. The test
// program's environment is what the started programs inherit.
class CStandInLogs
{
public:
    CStandInLogs();
    ~CStandInLogs();
    CStandInLogs(const CStandInLogs&) = delete;
    CStandInLogs& operator=(const CStandInLogs&) = delete;

    std::vector<CStandInRecord> Archiver() const { return Read(_archiverLog); }
    std::vector<CStandInRecord> FileManager() const { return Read(_fileManagerLog); }
    // Waits (at most `timeoutMs`) until the log holds `count` records; returns what it holds then.
    std::vector<CStandInRecord> WaitForArchiver(size_t count, DWORD timeoutMs = 20000) const;
    std::vector<CStandInRecord> WaitForFileManager(size_t count, DWORD timeoutMs = 20000) const;

private:
    static std::vector<CStandInRecord> Read(const std::wstring& path);
    static std::vector<CStandInRecord> WaitFor(const std::wstring& path, size_t count, DWORD timeoutMs);

    CScratchFolder _folder;
    std::wstring _archiverLog;
    std::wstring _fileManagerLog;
};

// Sets an environment variable for one scope (null: removes it), restoring the old value after.
class CEnvironmentScope
{
public:
    CEnvironmentScope(const wchar_t* name, const wchar_t* value);
    ~CEnvironmentScope();
    CEnvironmentScope(const CEnvironmentScope&) = delete;
    CEnvironmentScope& operator=(const CEnvironmentScope&) = delete;

private:
    std::wstring _name;
    std::wstring _old;
    bool _had;
};

// The stand-in archiver's behaviour (VANTOR_ARCHIVER_MODE) for one scope.
class CArchiverModeScope : public CEnvironmentScope
{
public:
    explicit CArchiverModeScope(const wchar_t* mode) : CEnvironmentScope(L"VANTOR_ARCHIVER_MODE", mode) {}
};

// A shorter name-list wait limit for one scope.
class CWaitLimitScope
{
public:
    explicit CWaitLimitScope(DWORD milliseconds);
    ~CWaitLimitScope();
    CWaitLimitScope(const CWaitLimitScope&) = delete;
    CWaitLimitScope& operator=(const CWaitLimitScope&) = delete;

private:
    DWORD _saved;
};

// "LargePages" under HKCU\Software\VANTOR for one scope (-1: no value); the tree is restored exactly.
class CLargePagesScope
{
public:
    explicit CLargePagesScope(int value);
    CLargePagesScope(const CLargePagesScope&) = delete;
    CLargePagesScope& operator=(const CLargePagesScope&) = delete;

private:
    CRegistrySnapshot _snapshot;
};

// Makes another module's folder the module folder for one scope: the programs are looked for
// where that module lives.
class CModuleInstanceScope
{
public:
    explicit CModuleInstanceScope(HINSTANCE instance);
    ~CModuleInstanceScope();
    CModuleInstanceScope(const CModuleInstanceScope&) = delete;
    CModuleInstanceScope& operator=(const CModuleInstanceScope&) = delete;

private:
    HINSTANCE _saved;
};

// Watches for message boxes captioned "Vantor" shown by this process, notes their text and
// whether they carry the stop-sign icon, and closes them with OK.
class CErrorBoxWatcher
{
public:
    struct CBox
    {
        std::wstring Text;
        bool StopIcon;
    };

    CErrorBoxWatcher();
    ~CErrorBoxWatcher();
    CErrorBoxWatcher(const CErrorBoxWatcher&) = delete;
    CErrorBoxWatcher& operator=(const CErrorBoxWatcher&) = delete;

    std::vector<CBox> Boxes();

private:
    void Watch();

    std::atomic<bool> _stop{false};
    std::mutex _lock;
    std::vector<CBox> _boxes;
    std::thread _thread;
};

// Number of open handles of this process. Wine's GetProcessHandleCount reports 0 whatever is
// open, so where it does, every handle value is probed instead.
long CountOpenHandles();

// Ends a process by its id (the stand-in's "hang" mode) and waits until it is gone.
void EndProcess(DWORD processId);

// The quoted path of a stand-in program beside the test program.
std::wstring QuotedStandIn(const wchar_t* program);

// The list argument of a command line: prefix + "Mapping" + number ":" size ":" prefix +
// "MappingEndEvent" + number. Cut() replaces it by "<list>" and keeps its parts.
struct CListArgument
{
    bool Found = false;
    std::wstring MappingName;
    std::wstring SizeText;
    std::wstring EventName;
    unsigned MappingNumber = 0;
    unsigned EventNumber = 0;
};
std::wstring CutListArgument(const std::wstring& commandLine, const wchar_t* prefix, CListArgument& list);

// The owning vector of names the launcher operations take.
void FillNames(COwningVector<CWideString>& names, const std::vector<std::wstring>& values);

// Milliseconds since `start` (GetTickCount).
inline DWORD ElapsedSince(DWORD start)
{
    return GetTickCount() - start;
}
