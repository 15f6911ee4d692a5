#pragma once

#include "ServerTestSupport.h"

#include <string>

// The built module beside this test program.
std::wstring VantorDllPath();

// Starts a program with the given command line (and extra "NAME=value" environment entries),
// waits for it and returns its exit code; 0xFFFFFFFF when it could not be started.
DWORD RunProcess(const std::wstring& commandLine, const std::vector<std::wstring>& environment = {});

// The module loaded into this process, with its exports.
class CLoadedModule
{
public:
    explicit CLoadedModule(const std::wstring& path) : _module(LoadLibraryW(path.c_str())) {}
    CLoadedModule(const CLoadedModule&) = delete;
    CLoadedModule& operator=(const CLoadedModule&) = delete;
    ~CLoadedModule()
    {
        if (_module != nullptr)
            FreeLibrary(_module);
    }

    HMODULE Handle() const { return _module; }
    FARPROC Export(const char* name) const { return GetProcAddress(_module, name); }
    // Calls one of the argument-less exports (DllRegisterServer, DllUnregisterServer, DllCanUnloadNow).
    HRESULT Call(const char* name) const;

private:
    HMODULE _module;
};

// The Wine setting that makes a program of this name see Windows 98, removed at the end of
// the scope together with the copy of this test program that carries the name.
class CWindows98Program
{
public:
    explicit CWindows98Program(const wchar_t* exeName);
    ~CWindows98Program();
    CWindows98Program(const CWindows98Program&) = delete;
    CWindows98Program& operator=(const CWindows98Program&) = delete;

    // Runs one child test of the copy (its name under the test case "ComWindows98Child") on
    // the module `dllPath`; true when the child passed and said so by creating `markPath`
    // (a filter that matched nothing would also exit with 0).
    bool RunChild(const wchar_t* testName, const std::wstring& dllPath, const std::wstring& markPath);
    bool IsReady() const { return _ready; }

private:
    std::wstring _exePath;
    std::wstring _settingKey;
    CRegistrySnapshot _setting;
    bool _ready = false;
};

// Set in the environment of a child run by CWindows98Program: the module it works on, and the
// file it creates when it passed.
extern const wchar_t kChildDllVariable[];
extern const wchar_t kChildMarkVariable[];
// The value of an environment variable, empty when it is not set.
std::wstring EnvironmentText(const wchar_t* name);
