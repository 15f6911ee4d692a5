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

// Owner of one kernel handle (an event, a file mapping, a process, a thread). Every operation
// returns 0 or the system's error code, never 0 for a failure: where the system leaves no code, 1.
// The end of the owner's scope closes the handle and leaves the last error as it was.
class CKernelHandle
{
public:
    CKernelHandle() = default;
    explicit CKernelHandle(HANDLE handle) : _handle(handle) {}
    CKernelHandle(const CKernelHandle&) = delete;
    CKernelHandle& operator=(const CKernelHandle&) = delete;
    ~CKernelHandle();

    // 0 when nothing is held any more; when closing fails the handle stays held.
    DWORD Close();
    HANDLE GetHandle() const { return _handle; }
    HANDLE Detach()
    {
        HANDLE handle = _handle;
        _handle = nullptr;
        return handle;
    }

protected:
    // Takes what a create call returned, the handle held before being closed already. On success
    // the last error stays the system's, so that the caller can still tell an object that existed
    // already (ERROR_ALREADY_EXISTS, 183) right after the call.
    DWORD TakeCreated(HANDLE handle);

    HANDLE _handle = nullptr;
};

// Owner of an event handle.
class CNamedEvent : public CKernelHandle
{
public:
    // Closes the handle held before (its error when that fails), then CreateEventA without
    // security attributes; `name` may be null for an unnamed event. An existing event of that
    // name counts as success (see TakeCreated).
    [[nodiscard]] DWORD Create(bool manualReset, bool initiallySignalled, const char* name);
};

// Owner of a file-mapping handle.
class CNamedFileMapping : public CKernelHandle
{
public:
    // As CNamedEvent::Create, with CreateFileMappingA; `file` is INVALID_HANDLE_VALUE for a block
    // backed by the page file.
    [[nodiscard]] DWORD Create(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protection, unsigned long long size,
                               const char* name);
    // The view address or null; a CMappedView unmaps it.
    void* MapView(DWORD access, unsigned long long offset, SIZE_T byteCount) const;
};

// Owner of a mapped view of a file mapping; unmapping keeps the last error, as closing does.
class CMappedView
{
public:
    explicit CMappedView(void* view) : _view(view) {}
    CMappedView(const CMappedView&) = delete;
    CMappedView& operator=(const CMappedView&) = delete;
    ~CMappedView();
    void* Get() const { return _view; }

private:
    void* _view;
};
