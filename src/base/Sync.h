#pragma once

#include <windows.h>

// A Win32 critical section, initialised on construction and deleted on destruction.
class CCriticalSection
{
public:
    // A structured exception of InitializeCriticalSection (out of memory on old systems) cannot
    // be caught by this compiler; the section is initialised plainly.
    CCriticalSection();
    ~CCriticalSection() { DeleteCriticalSection(&_section); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&_section); }
    void Leave() { LeaveCriticalSection(&_section); }

private:
    CRITICAL_SECTION _section;
};

// Holds a critical section for one scope.
class CCriticalSectionLock
{
public:
    explicit CCriticalSectionLock(CCriticalSection& section) : _section(section) { _section.Enter(); }
    ~CCriticalSectionLock() { _section.Leave(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

private:
    CCriticalSection& _section;
};

// Owner of an event handle.
class CNamedEvent
{
public:
    CNamedEvent() = default;
    CNamedEvent(const CNamedEvent&) = delete;
    CNamedEvent& operator=(const CNamedEvent&) = delete;
    ~CNamedEvent();

    // Closes any handle held before, then CreateEventA without security attributes. 0, or
    // GetLastError() when no handle came back. An existing event of that name counts as
    // success; GetLastError() is then ERROR_ALREADY_EXISTS (183) right after the call.
    DWORD Create(bool manualReset, bool initiallySignalled, const char* name);
    // 0, or the last error (1 when the system gives none) when closing failed; the handle stays then.
    DWORD Close();
    HANDLE GetHandle() const { return _handle; }
    HANDLE Detach()
    {
        HANDLE handle = _handle;
        _handle = nullptr;
        return handle;
    }

private:
    HANDLE _handle = nullptr;
};

// Owner of a file-mapping handle.
class CNamedFileMapping
{
public:
    CNamedFileMapping() = default;
    CNamedFileMapping(const CNamedFileMapping&) = delete;
    CNamedFileMapping& operator=(const CNamedFileMapping&) = delete;
    ~CNamedFileMapping();

    // Closes any handle held before, then CreateFileMappingA. True when a handle came back; an existing object of that
    // name leaves 183 as the last error.
    bool Create(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protection, unsigned long long size,
                const char* name);
    // The view address or null; the caller unmaps it with UnmapViewOfFile.
    void* MapView(DWORD access, unsigned long long offset, SIZE_T byteCount);
    // True on success or when nothing was held; false (handle kept) when closing failed.
    bool Close();
    HANDLE GetHandle() const { return _handle; }
    HANDLE Detach()
    {
        HANDLE handle = _handle;
        _handle = nullptr;
        return handle;
    }

private:
    HANDLE _handle = nullptr;
};
