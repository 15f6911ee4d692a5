#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <memory>

void CModuleTest::SetUp()
{
    _wideBefore = g_WideApisAvailable;
    _liveBlocksBefore = AllocHooks::LiveBlocks();
}

void CModuleTest::TearDown()
{
    AllocHooks::FailNth(0);
    AllocHooks::SetGuarded(false);
    g_WideApisAvailable = _wideBefore;
    EXPECT_EQ(_liveBlocksBefore, AllocHooks::LiveBlocks()) << "heap blocks leaked by this test";
}

namespace
{
std::wstring ThisProgram()
{
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}
} // namespace

CWideString TestProgramFolder()
{
    const std::wstring path = ThisProgram();
    return CWideString(path.substr(0, path.rfind(L'\\') + 1).c_str());
}

#ifdef _WIN64
CHighMemory::CHighMemory(size_t size)
{
    for (UINT_PTR gigabytes = 8; _block == nullptr && gigabytes <= 64; gigabytes += 4)
        _block = static_cast<BYTE*>(
            VirtualAlloc(reinterpret_cast<void*>(gigabytes << 30), size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (_block == nullptr)
        ADD_FAILURE() << "no memory above 4 GB";
}

CHighMemory::~CHighMemory()
{
    if (_block != nullptr)
        VirtualFree(_block, 0, MEM_RELEASE);
}
#endif

// ---- Scratch folder

CScratchFolder::CScratchFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    wchar_t name[64];
    wsprintfW(name, L"vantor-test-%lu-%ld\\", GetCurrentProcessId(), InterlockedIncrement(&counter));
    const std::wstring full = std::wstring(temp) + name;
    CreateDirectoryW(full.c_str(), nullptr);
    _path = full.c_str();
}

CScratchFolder::~CScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(_path.Ptr(), ignored);
}

CWideString CScratchFolder::AddFile(const wchar_t* relativeName, const char* bytes, size_t size)
{
    const std::wstring full = std::wstring(_path.Ptr()) + relativeName;
    HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
    {
        DWORD written = 0;
        if (size == 0 && bytes != nullptr)
            size = strlen(bytes);
        if (size > 0)
            WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
        CloseHandle(file);
    }
    return CWideString(full.c_str());
}

CWideString CScratchFolder::AddFolder(const wchar_t* relativeName)
{
    const std::wstring full = std::wstring(_path.Ptr()) + relativeName;
    CreateDirectoryW(full.c_str(), nullptr);
    return CWideString(full.c_str());
}

// ---- Registry

CStored Dword(DWORD value)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    return {REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof(value))};
}

CStored Text(const std::wstring& text, size_t bytes)
{
    const BYTE* start = reinterpret_cast<const BYTE*>(text.c_str());
    return {REG_SZ, std::vector<BYTE>(start, start + std::min(bytes, (text.size() + 1) * sizeof(wchar_t)))};
}

void SetRaw(HKEY root, const std::wstring& path, const std::wstring& name, const CStored& value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const LONG result = value.first == REG_NONE ? ERROR_SUCCESS
                                                : RegSetValueExW(key, name.c_str(), 0, value.first, value.second.data(),
                                                                 static_cast<DWORD>(value.second.size()));
    EXPECT_EQ(ERROR_SUCCESS, result);
    RegCloseKey(key);
}

CStored RawValue(HKEY root, const std::wstring& path, const std::wstring& name)
{
    const CValues values = RawValues(root, path);
    const auto found = values.find(name);
    return found == values.end() ? kNoValue : found->second;
}

CValues RawValues(HKEY root, const std::wstring& path)
{
    CValues values;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    wchar_t name[16384];
    for (DWORD index = 0, nameSize = 16384, size = 0;
         RegEnumValueW(key, index, name, &nameSize, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
         index++, nameSize = 16384)
    {
        CStored& value = values[std::wstring(name, nameSize)];
        value.second.resize(size);
        nameSize = 16384;
        RegEnumValueW(key, index, name, &nameSize, nullptr, &value.first, value.second.data(), &size);
    }
    RegCloseKey(key);
    return values;
}

std::vector<std::wstring> RawSubKeys(HKEY root, const std::wstring& path)
{
    std::vector<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    wchar_t name[260];
    for (DWORD index = 0, size = 260;
         RegEnumKeyExW(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         index++, size = 260)
        names.emplace_back(name, size);
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}

bool RegistryKeyExists(HKEY root, const std::wstring& path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void DeleteRegistryTree(HKEY root, const std::wstring& path)
{
    for (const std::wstring& child : RawSubKeys(root, path))
        DeleteRegistryTree(root, path + L"\\" + child);
    RegDeleteKeyW(root, path.c_str());
}

// Declared by the headers for newer systems only; every system the tests run on has it.
extern "C" LONG WINAPI RegCopyTreeW(HKEY source, LPCWSTR subKey, HKEY destination);

namespace
{
// Copies the key `from` with everything below it to `to`, which is created.
void CopyRegistryTree(HKEY fromRoot, const std::wstring& from, HKEY toRoot, const std::wstring& to)
{
    HKEY source;
    HKEY destination;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(fromRoot, from.c_str(), 0, KEY_READ, &source));
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(toRoot, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &destination, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCopyTreeW(source, nullptr, destination));
    RegCloseKey(source);
    RegCloseKey(destination);
}
} // namespace

CRegistrySnapshot::CRegistrySnapshot(HKEY root, const std::wstring& path) : _root(root), _path(path)
{
    for (size_t end = path.find(L'\\'); end != std::wstring::npos; end = path.find(L'\\', end + 1))
        if (!RegistryKeyExists(root, path.substr(0, end)))
        {
            _path = path.substr(0, end);
            break;
        }
    if (!RegistryKeyExists(root, _path))
        return;
    static LONG counter = 0;
    _copy = L"Software\\VantorTestSnapshots\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(InterlockedIncrement(&counter));
    CopyRegistryTree(root, _path, HKEY_CURRENT_USER, _copy);
}

CRegistrySnapshot::~CRegistrySnapshot()
{
    DeleteRegistryTree(_root, _path.c_str());
    if (_copy.empty())
        return;
    CopyRegistryTree(HKEY_CURRENT_USER, _copy, _root, _path);
    DeleteRegistryTree(HKEY_CURRENT_USER, _copy.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VantorTestSnapshots"); // once no other copy is there
}

CSettingsRegistryTest::CSettingsRegistryTest()
{
    DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsRoot);
}

// ---- Programs and children

CEnvironmentVariable::CEnvironmentVariable(const std::wstring& name, const wchar_t* value) : _name(name)
{
    const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    _hadValue = size != 0;
    _saved.resize(size);
    if (_hadValue)
        _saved.resize(GetEnvironmentVariableW(name.c_str(), &_saved[0], size));
    SetEnvironmentVariableW(name.c_str(), value);
}

CEnvironmentVariable::~CEnvironmentVariable()
{
    SetEnvironmentVariableW(_name.c_str(), _hadValue ? _saved.c_str() : nullptr);
}

static const wchar_t kChildVariable[] = L"VANTOR_TEST_CHILD";

DWORD RunThisProgram(const wchar_t* gtestFilter, const wchar_t* environmentAssignments)
{
    std::vector<std::unique_ptr<CEnvironmentVariable>> environment;
    environment.emplace_back(new CEnvironmentVariable(kChildVariable, L"1"));
    const std::wstring all = environmentAssignments != nullptr ? environmentAssignments : L"";
    for (size_t start = 0, end; start < all.size(); start = end + 1)
    {
        end = std::min(all.find(L';', start), all.size());
        const std::wstring item = all.substr(start, end - start);
        const size_t equals = item.find(L'=');
        environment.emplace_back(new CEnvironmentVariable(item.substr(0, equals), item.substr(equals + 1).c_str()));
    }
    std::wstring commandLine = L"\"" + ThisProgram() + L"\" --gtest_brief=1 --gtest_filter=" + gtestFilter;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    DWORD exitCode = 0xFFFFFFFF;
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    {
        ADD_FAILURE() << "could not start a child";
        return exitCode;
    }
    CloseHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
    {
        ADD_FAILURE() << "a child ran longer than two minutes and was ended";
        TerminateProcess(process.hProcess, exitCode);
    }
    CloseHandle(process.hProcess);
    return exitCode;
}

// Called by the test program's main: the exit code of a child beyond gtest's own verdict.
int ChildExitCode(int gtestResult)
{
    if (GetEnvironmentVariableW(kChildVariable, nullptr, 0) == 0)
        return gtestResult;
    if (gtestResult == 0 && ::testing::UnitTest::GetInstance()->successful_test_count() == 0)
    {
        printf("the child ran no test to its end\n");
        return kChildRanNoTest;
    }
    return gtestResult;
}

// ---- Threads, dialogs, exhausted memory

namespace
{
using CThreadStart = std::pair<const std::function<void(int)>*, int>;

DWORD WINAPI ThreadMain(void* start)
{
    (*static_cast<CThreadStart*>(start)->first)(static_cast<CThreadStart*>(start)->second);
    return 0;
}
} // namespace

bool RunOnThreads(int count, DWORD timeoutMs, const std::function<void(int)>& body)
{
    // Threads still running after a timeout keep their start records: those are leaked then.
    auto* starts = new std::vector<CThreadStart>;
    for (int i = 0; i < count; i++)
        starts->emplace_back(&body, i);
    std::vector<HANDLE> threads;
    for (CThreadStart& start : *starts)
        if (HANDLE thread = CreateThread(nullptr, 0, ThreadMain, &start, 0, nullptr))
            threads.push_back(thread);
    const DWORD wait = WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, timeoutMs);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    if (wait == WAIT_TIMEOUT)
        return false;
    delete starts;
    return static_cast<int>(threads.size()) == count;
}

CDialogWatcher::CDialogWatcher(const wchar_t* caption, std::function<void(HWND)> answer)
    : _caption(caption != nullptr ? caption : L""), _anyCaption(caption == nullptr), _answer(std::move(answer))
{
    _thread = std::thread([this] { Watch(); });
}

std::vector<CDialogWatcher::CDialog> CDialogWatcher::Stop()
{
    _stop = true;
    if (_thread.joinable())
        _thread.join();
    return _seen;
}

namespace
{
struct CDialogSearch
{
    const std::wstring* Caption;
    bool AnyCaption;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<CDialogSearch*>(context);
    wchar_t className[16] = {}, caption[256] = {};
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    GetClassNameW(window, className, 16);
    GetWindowTextW(window, caption, 256);
    if (processId == GetCurrentProcessId() && IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0 &&
        (search->AnyCaption || *search->Caption == caption))
        search->Found.push_back(window);
    return TRUE;
}
} // namespace

void CDialogWatcher::Watch()
{
    const HICON stopIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32513)); // IDI_HAND
    std::vector<HWND> handled;
    for (; !_stop; Sleep(20))
    {
        CDialogSearch search{&_caption, _anyCaption, {}};
        EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
        for (HWND dialog : search.Found)
        {
            if (std::find(handled.begin(), handled.end(), dialog) != handled.end())
                continue;
            handled.push_back(dialog);
            wchar_t caption[256] = {}, text[1024] = {};
            GetWindowTextW(dialog, caption, 256);
            GetDlgItemTextW(dialog, 0xFFFF, text, 1024);
            bool stop = false;
            for (int id : {0x14, 0x440}) // the icon control: Windows and Wine number it apart
                stop |= GetDlgItem(dialog, id) != nullptr &&
                        reinterpret_cast<HICON>(SendDlgItemMessageW(dialog, id, STM_GETICON, 0, 0)) == stopIcon;
            _seen.push_back({caption, text, stop, GetWindow(dialog, GW_OWNER)});
            if (_answer)
                _answer(dialog);
            else
                SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        }
        // A window that is gone may give its handle to a later one.
        handled.erase(std::remove_if(handled.begin(), handled.end(), [](HWND window) { return !IsWindow(window); }),
                      handled.end());
    }
}

int ForEachAllocationFailure(const std::function<void()>& operation,
                             const std::function<void(bool failed, bool threw)>& check,
                             const std::function<void()>& prepare)
{
    int failures = 0;
    for (long n = 1; n <= 5000; n++)
    {
        SCOPED_TRACE(testing::Message() << "failing allocation " << n);
        const long blocksBefore = AllocHooks::LiveBlocks();
        if (prepare)
            prepare();
        bool threw = false;
        AllocHooks::FailNth(n);
        try
        {
            operation();
        }
        catch (const CNewException&)
        {
            threw = true;
        }
        const bool failed = !AllocHooks::FailurePending();
        AllocHooks::FailNth(0);
        if (check)
            check(failed, threw);
        else
            EXPECT_EQ(failed, threw) << "an exception if and only if an allocation failed";
        EXPECT_EQ(blocksBefore, AllocHooks::LiveBlocks()) << "heap blocks leaked";
        if (!failed)
            return failures;
        failures++;
    }
    ADD_FAILURE() << "the operation still allocates after 5000 failed runs";
    return failures;
}

void PrintTo(const CWideString& text, std::ostream* os)
{
    *os << ::testing::PrintToString(std::wstring(text.Ptr(), text.Length()));
}

void PrintTo(const CNarrowString& text, std::ostream* os)
{
    *os << '"' << text.Ptr() << '"';
}
