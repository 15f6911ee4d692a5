// Which language file "Lang" selects, and the one-time load. The language loads once per process,
// so each case runs in a fresh copy of this program: the LanguageChild tests do the loading there
// and report what they saw through a file; run normally, they are skipped.
#include "LangTestSupport.h"

#include "server/Module.h"
#include "settings/RegistryKey.h"

#include <string>

namespace
{
const wchar_t kChildOutVariable[] = L"VANTOR_LANG_CHILD_OUT";
const wchar_t kChildAnsiVariable[] = L"VANTOR_LANG_CHILD_ANSI";
const wchar_t kChildFailVariable[] = L"VANTOR_LANG_CHILD_FAIL";
// A folder for the child to stand in while it cannot know its own folder.
const wchar_t kChildCurrentFolderVariable[] = L"VANTOR_LANG_CHILD_CURRENT_FOLDER";

std::wstring EnvironmentValue(const wchar_t* name)
{
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value) : std::wstring();
}

class CHandleOwner
{
public:
    explicit CHandleOwner(HANDLE handle) : _handle(handle) {}
    ~CHandleOwner()
    {
        if (_handle != nullptr)
            CloseHandle(_handle);
    }
    CHandleOwner(const CHandleOwner&) = delete;
    CHandleOwner& operator=(const CHandleOwner&) = delete;
    HANDLE Get() const { return _handle; }

private:
    HANDLE _handle;
};

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    CHandleOwner file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (file.Get() != INVALID_HANDLE_VALUE)
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void WriteLines(const std::wstring& path, const std::vector<std::wstring>& lines)
{
    std::wstring all;
    for (const std::wstring& line : lines)
        all += line + L"\n";
    WriteBytes(path, std::string(reinterpret_cast<const char*>(all.data()), all.size() * sizeof(wchar_t)));
}

std::vector<std::wstring> ReadLines(const std::wstring& path)
{
    std::vector<std::wstring> lines;
    CHandleOwner file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
        return lines;
    wchar_t buffer[4096] = {};
    DWORD read = 0;
    ReadFile(file.Get(), buffer, sizeof(buffer) - sizeof(wchar_t), &read, nullptr);
    std::wstring all(buffer, read / sizeof(wchar_t));
    for (size_t start = 0, end; (end = all.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(all.substr(start, end - start));
    return lines;
}

// ---------------------------------------------------------------------------------------------
// The child side.

class LanguageChild : public CLangTableUser
{
protected:
    void SetUp() override
    {
        CLangTableUser::SetUp();
        Out = EnvironmentValue(kChildOutVariable);
        if (Out.empty())
            GTEST_SKIP() << "runs only in a process started by the LanguageSelection tests";
        if (!EnvironmentValue(kChildAnsiVariable).empty())
            g_WideApisAvailable = false;
    }

    std::wstring Out;
};

TEST_F(LanguageChild, Load)
{
    const std::wstring currentFolder = EnvironmentValue(kChildCurrentFolderVariable);
    const HINSTANCE moduleInstance = g_ModuleInstance;
    if (!currentFolder.empty())
    {
        g_ModuleInstance = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(0x10)); // no such module
        SetCurrentDirectoryW(currentFolder.c_str());
    }
    LoadLanguageOnce();
    g_ModuleInstance = moduleInstance;
    WriteLines(Out, {ToStd(g_LangName), std::to_wstring(g_LangTable.Entries.Count()), ToStd(LangText(0x02000103))});
}

TEST_F(LanguageChild, FailedLoadIsNotRetried)
{
    LoadLanguageOnce();
    const int first = g_LangTable.Entries.Count();
    // The file appears after the first load: the process keeps the language it started with.
    WriteBytes(ToStd(g_LangName), LangFileBytes("2000103 = \"late\"\n"));
    LoadLanguageOnce();
    const int second = g_LangTable.Entries.Count();
    LoadLanguage();
    WriteLines(Out, {std::to_wstring(first), std::to_wstring(second), std::to_wstring(g_LangTable.Entries.Count())});
}

DWORD WINAPI LoadOnceThread(void* startEvent)
{
    if (startEvent != nullptr)
        WaitForSingleObject(startEvent, INFINITE);
    try
    {
        LoadLanguageOnce();
    }
    catch (...)
    {
    }
    return 0;
}

TEST_F(LanguageChild, TwoThreadsLoadOnce)
{
    // The allocations of one load, counted once g_LangName has its final size.
    LoadLanguage();
    long before = AllocHooks::AllocationCount();
    LoadLanguage();
    const long oneLoad = AllocHooks::AllocationCount() - before;
    ASSERT_GT(oneLoad, 0);

    CHandleOwner start(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CHandleOwner first(CreateThread(nullptr, 0, &LoadOnceThread, start.Get(), 0, nullptr));
    CHandleOwner second(CreateThread(nullptr, 0, &LoadOnceThread, start.Get(), 0, nullptr));
    ASSERT_NE(nullptr, first.Get());
    ASSERT_NE(nullptr, second.Get());
    Sleep(50);
    before = AllocHooks::AllocationCount();
    SetEvent(start.Get());
    const HANDLE threads[] = {first.Get(), second.Get()};
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, threads, TRUE, 30000));
    const long both = AllocHooks::AllocationCount() - before;
    WriteLines(Out, {std::to_wstring(both / oneLoad), std::to_wstring(both % oneLoad),
                     std::to_wstring(g_LangTable.Entries.Count()), g_LangLoaded ? L"loaded" : L"not loaded"});
}

TEST_F(LanguageChild, ExhaustedMemoryReleasesTheLock)
{
    AllocHooks::FailNth(std::stol(EnvironmentValue(kChildFailVariable)));
    bool threw = false;
    try
    {
        LoadLanguageOnce();
    }
    catch (const CNewException&)
    {
        threw = true;
    }
    AllocHooks::FailNth(0);
    // Another thread must get through the lock (the section is re-entrant for this one).
    CHandleOwner other(CreateThread(nullptr, 0, &LoadOnceThread, nullptr, 0, nullptr));
    const bool passed = WaitForSingleObject(other.Get(), 10000) == WAIT_OBJECT_0;
    if (!passed)
        TerminateThread(other.Get(), 1);
    WriteLines(Out, {threw ? L"threw" : L"returned", passed ? L"passed" : L"blocked",
                     std::to_wstring(g_LangTable.Entries.Count()), g_LangLoaded ? L"loaded" : L"not loaded"});
}

// ---------------------------------------------------------------------------------------------
// The parent side.

class LanguageSelection : public CModuleTest
{
protected:
    void SetUp() override
    {
        CModuleTest::SetUp();
        LangFolder = ToStd(TestProgramFolder()) + L"Lang\\";
        CreatedLangFolder = CreateDirectoryW(LangFolder.c_str(), nullptr) != FALSE;
        Stem = L"VtSel" + std::to_wstring(GetCurrentProcessId());
        Out = ToStd(Scratch.Path()) + L"child-out.txt";
    }

    void TearDown() override
    {
        for (const std::wstring& file : LangFiles)
            DeleteFileW(file.c_str());
        if (CreatedLangFolder)
            RemoveDirectoryW(LangFolder.c_str());
        CModuleTest::TearDown();
    }

    // A language file in Lang\ beside the module whose one entry names it.
    void AddLangFile(const std::wstring& name, const char* openText)
    {
        const std::wstring path = LangFolder + name;
        WriteBytes(path, LangFileBytes(std::string("2000103 = \"") + openText + "\"\n"));
        LangFiles.push_back(path);
    }

    void SetLang(const wchar_t* value)
    {
        CRegistryKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, "Software\\VANTOR"));
        if (value == nullptr)
            key.DeleteValue(L"Lang");
        else
            ASSERT_EQ(ERROR_SUCCESS, key.SetValue(L"Lang", value));
    }

    std::vector<std::wstring> RunChild(const wchar_t* test, bool ansi, const std::wstring& extra = L"")
    {
        DeleteFileW(Out.c_str());
        std::wstring environment = std::wstring(kChildOutVariable) + L"=" + Out;
        if (ansi)
            environment += std::wstring(L";") + kChildAnsiVariable + L"=1";
        if (!extra.empty())
            environment += L";" + extra;
        EXPECT_EQ(0u, RunThisProgram((std::wstring(L"LanguageChild.") + test).c_str(), environment.c_str()));
        return ReadLines(Out);
    }

    CRegistrySnapshot Snapshot{HKEY_CURRENT_USER, L"Software\\VANTOR"};
    CScratchFolder Scratch;
    std::wstring LangFolder;
    bool CreatedLangFolder = false;
    std::wstring Stem;
    std::wstring Out;
    std::vector<std::wstring> LangFiles;
};

TEST_F(LanguageSelection, LangValueNamesTheFile)
{
    const std::wstring umlautStem = L"\x00DC"
                                    L"b" +
                                    Stem;
    AddLangFile(Stem + L".txt", "plain");
    AddLangFile(Stem, "bare");
    AddLangFile(Stem + L".lng", "lng");
    AddLangFile(Stem + L".lng.txt", "lng txt");
    AddLangFile(L"-.txt", "dash");
    AddLangFile(umlautStem + L".txt", "umlaut");
    WriteBytes(LangFolder + L"VtBad" + Stem + L".txt", LangFileBytes("2000103 = \"bad\"\n0x10 = \"x\"\n"));
    LangFiles.push_back(LangFolder + L"VtBad" + Stem + L".txt");
    const std::wstring custom = ToStd(Scratch.AddFile(L"Custom", LangFileBytes("2000103 = \"custom\"\n").c_str()));
    Scratch.AddFile(L"Custom.txt", LangFileBytes("2000103 = \"custom txt\"\n").c_str());

    struct
    {
        const wchar_t* Label;
        std::wstring Value; // "<none>": no value stored
        bool Ansi;
        const wchar_t* OpenText; // empty: built-in texts
    } const cases[] = {
        {L"no value", L"<none>", false, L""},
        {L"empty value", L"", false, L""},
        {L"dash", L"-", false, L""},
        {L"plain name", Stem, false, L"plain"},
        {L"plain name, ANSI", Stem, true, L"plain"},
        {L"name with a dot", Stem + L".lng", false, L"lng"},
        {L"full path", custom, false, L"custom"},
        {L"full path, ANSI", custom, true, L"custom"},
        {L"name in the ANSI code page", umlautStem, false, L"umlaut"},
        {L"name in the ANSI code page, ANSI", umlautStem, true, L"umlaut"},
        {L"missing file", L"VtMissing" + Stem, false, L""},
        {L"malformed file", L"VtBad" + Stem, false, L""},
    };
    for (const auto& item : cases)
    {
        SCOPED_TRACE(testing::Message() << item.Label);
        const bool none = item.Value == L"<none>";
        SetLang(none ? nullptr : item.Value.c_str());
        const std::vector<std::wstring> lines = RunChild(L"Load", item.Ansi);
        const std::wstring count = *item.OpenText != 0 ? L"1" : L"0";
        EXPECT_EQ((std::vector<std::wstring>{none ? L"" : item.Value, count, item.OpenText}), lines) << item.Label;
    }
}

TEST_F(LanguageSelection, WithoutItsOwnFolderNothingIsReadFromTheCurrentFolder)
{
    Scratch.AddFile(L"Planted.txt", LangFileBytes("2000103 = \"planted\"\n").c_str());
    SetLang(L"Planted");
    const std::wstring folder = std::wstring(kChildCurrentFolderVariable) + L"=" + ToStd(Scratch.Path());
    EXPECT_EQ((std::vector<std::wstring>{L"Planted", L"0", L""}), RunChild(L"Load", false, folder));
}

TEST_F(LanguageSelection, FailedLoadIsNotRetriedInTheSameProcess)
{
    const std::wstring later = ToStd(Scratch.Path()) + L"later.txt";
    SetLang(later.c_str());
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"0", L"1"}), RunChild(L"FailedLoadIsNotRetried", false));
}

TEST_F(LanguageSelection, TwoThreadsLoadTheFileOnce)
{
    std::string body;
    for (int i = 0; i < 3000; i++)
        body += std::to_string(3000 - i) + " = \"text number " + std::to_string(i) + "\"\n";
    const CWideString path = AddBytesFile(Scratch, L"threads.txt", LangFileBytes(body));
    SetLang(path);
    EXPECT_EQ((std::vector<std::wstring>{L"1", L"0", L"3000", L"loaded"}), RunChild(L"TwoThreadsLoadOnce", false));
}

TEST_F(LanguageSelection, ExhaustedMemoryLeavesNoTableAndReleasesTheLock)
{
    const CWideString path = AddBytesFile(Scratch, L"oom.txt", LangFileBytes("1 = \"a\"\n2 = \"b\"\n3 = \"c\"\n"));
    SetLang(path);
    bool anyThrew = false;
    for (const int n : {1, 4, 12, 25})
    {
        const std::vector<std::wstring> lines = RunChild(L"ExhaustedMemoryReleasesTheLock", false,
                                                         std::wstring(kChildFailVariable) + L"=" + std::to_wstring(n));
        ASSERT_EQ(4u, lines.size()) << n;
        const bool threw = lines[0] == L"threw";
        anyThrew |= threw;
        // The first load is the only one: a load cut short leaves the built-in texts.
        EXPECT_EQ((std::vector<std::wstring>{lines[0], L"passed", threw ? L"0" : L"3", L"loaded"}), lines) << n;
    }
    EXPECT_TRUE(anyThrew);
}
} // namespace
