#pragma once

#include "TestSupport.h"

#include "base/Vector.h"
#include "menu/ShellMenuHandler.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

// One record written by a stand-in program (tools/VNTXG/README.md).
struct CStandInRecord
{
    std::map<std::wstring, std::wstring> Values;
    std::vector<std::wstring> Names; // the Name= lines in order

    std::wstring operator[](const wchar_t* key) const
    {
        const auto found = Values.find(key);
        return found == Values.end() ? L"<absent>" : found->second;
    }
};

// Points the stand-ins' logs into a scratch folder for one scope and reads them back; the started
// programs inherit the test program's environment.
class CStandInLogs
{
public:
    CStandInLogs()
    {
        SetEnvironmentVariableW(L"VANTOR_ARCHIVER_LOG", Path(L"VNTXG").c_str());
        SetEnvironmentVariableW(L"VANTOR_FILEMANAGER_LOG", Path(L"VNTXFM").c_str());
    }
    ~CStandInLogs()
    {
        SetEnvironmentVariableW(L"VANTOR_ARCHIVER_LOG", nullptr);
        SetEnvironmentVariableW(L"VANTOR_FILEMANAGER_LOG", nullptr);
    }
    // The records so far; with `count`, first waits (20 s at most) until there are that many.
    std::vector<CStandInRecord> Archiver(size_t count = 0) const { return Read(L"VNTXG", count); }
    std::vector<CStandInRecord> FileManager(size_t count = 0) const { return Read(L"VNTXFM", count); }

private:
    std::wstring Path(const wchar_t* program) const { return _folder.Path().Ptr() + (program + std::wstring(L".txt")); }
    std::vector<CStandInRecord> Read(const wchar_t* program, size_t count) const
    {
        for (const DWORD start = GetTickCount();; Sleep(20))
        {
            std::vector<CStandInRecord> records;
            const std::wstring path = Path(program);
            std::ifstream file(std::string(path.begin(), path.end()), std::ios::binary); // a temporary folder's path
            const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            std::wstring text(bytes.size(), L'\0');
            text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0],
                                            static_cast<int>(text.size())));
            // Whole lines only: a record may still be being written.
            for (size_t at = 0, end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
            {
                const std::wstring line = text.substr(at, end - at);
                const size_t equals = line.find(L'=');
                if (line.compare(0, 1, L"[") == 0)
                    records.emplace_back();
                else if (!records.empty() && equals != std::wstring::npos && line.compare(0, equals, L"Name") == 0)
                    records.back().Names.push_back(line.substr(equals + 1));
                else if (!records.empty() && equals != std::wstring::npos)
                    records.back().Values[line.substr(0, equals)] = line.substr(equals + 1);
            }
            if (records.size() >= count || GetTickCount() - start > 20000)
                return records;
        }
    }

    CScratchFolder _folder;
};

// The stand-in archiver's behaviour (VANTOR_ARCHIVER_MODE) for one scope.
struct CArchiverMode
{
    explicit CArchiverMode(const wchar_t* mode) { SetEnvironmentVariableW(L"VANTOR_ARCHIVER_MODE", mode); }
    ~CArchiverMode() { SetEnvironmentVariableW(L"VANTOR_ARCHIVER_MODE", nullptr); }
};

// HKCU\Software\VANTOR for one scope, restored exactly: the menu settings and "LargePages".
class CProductSettings
{
public:
    CProductSettings(bool cascaded, DWORD menuMask)
    {
        Set(L"Software\\VANTOR\\Options", L"CascadedMenu", cascaded ? 1 : 0);
        Set(L"Software\\VANTOR\\Options", L"ContextMenu", menuMask);
    }
    void LargePages(int value) { Set(L"Software\\VANTOR", L"LargePages", value); } // -1: no value

private:
    static void Set(const wchar_t* path, const wchar_t* name, DWORD value)
    {
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != 0)
            return;
        if (value == static_cast<DWORD>(-1))
            RegDeleteValueW(key, name);
        else
            RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        RegCloseKey(key);
    }

    CRegistrySnapshot _snapshot{HKEY_CURRENT_USER, L"Software\\VANTOR"};
};

// A handler as a host holds it: one reference, released at the end of the scope, with the menu
// the shell gave it.
class CHandlerUnderTest
{
public:
    CHandlerUnderTest() : _handler(new CShellMenuHandler), _menu(CreatePopupMenu()) { _handler->AddRef(); }
    ~CHandlerUnderTest()
    {
        _handler->Release();
        DestroyMenu(_menu);
    }
    CHandlerUnderTest(const CHandlerUnderTest&) = delete;
    CHandlerUnderTest& operator=(const CHandlerUnderTest&) = delete;

    CShellMenuHandler& Object() { return *_handler; }
    // The file manager's way of handing over names (IHostMenuInit).
    void Select(const std::vector<std::wstring>& names)
    {
        std::vector<const wchar_t*> pointers;
        for (const std::wstring& name : names)
            pointers.push_back(name.c_str());
        _handler->InitContextMenu(0, pointers.data(), static_cast<UINT>(pointers.size()));
    }
    // QueryContextMenu into the shell's menu with ids 1 to 100.
    HRESULT BuildMenu() { return _handler->QueryContextMenu(_menu, 0, 1, 100, CMF_NORMAL); }
    // By offset (MAKEINTRESOURCEA) or ANSI verb in the 36-byte record; with a wide verb in the
    // 64-byte one with CMIC_MASK_UNICODE. `size` and `mask` replace the record's own.
    HRESULT Invoke(LPCSTR verb, LPCWSTR wideVerb = nullptr, DWORD size = 0, DWORD mask = ~0u)
    {
        CMINVOKECOMMANDINFOEX info = {};
        info.cbSize = size != 0 ? size : wideVerb != nullptr ? sizeof(info) : sizeof(CMINVOKECOMMANDINFO);
        info.fMask = mask != ~0u ? mask : wideVerb != nullptr ? CMIC_MASK_UNICODE : 0;
        info.lpVerb = verb;
        info.lpVerbW = wideVerb;
        info.nShow = SW_SHOWNORMAL;
        return _handler->InvokeCommand(reinterpret_cast<LPCMINVOKECOMMANDINFO>(&info));
    }

private:
    CShellMenuHandler* _handler;
    HMENU _menu;
};

// Notes the text of every message box captioned "Vantor" this process shows until Stop(), and
// whether it carries the stop-sign icon, and closes it with OK.
class CErrorBoxWatcher
{
public:
    CErrorBoxWatcher() : _thread([this] { Watch(); }) {}
    ~CErrorBoxWatcher() { Stop(); }
    std::vector<std::pair<std::wstring, bool>> Stop()
    {
        _stop = true;
        if (_thread.joinable())
            _thread.join();
        return _boxes;
    }

private:
    void Watch()
    {
        const HICON stopIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32513)); // IDI_HAND
        for (; !_stop; Sleep(20))
        {
            HWND box = FindWindowW(L"#32770", L"Vantor");
            DWORD processId = 0;
            if (box == nullptr || !IsWindowVisible(box) || GetWindowThreadProcessId(box, &processId) == 0 ||
                processId != GetCurrentProcessId())
                continue;
            wchar_t text[1024] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 1024);
            bool stop = false;
            for (int id : {0x14, 0x440}) // the icon control: Windows and Wine number it apart
                stop |= GetDlgItem(box, id) != nullptr &&
                        reinterpret_cast<HICON>(SendDlgItemMessageW(box, id, STM_GETICON, 0, 0)) == stopIcon;
            _boxes.emplace_back(text, stop);
            SendMessageW(box, WM_COMMAND, IDOK, 0); // hides the box before it returns
        }
    }

    std::atomic<bool> _stop{false};
    std::vector<std::pair<std::wstring, bool>> _boxes;
    std::thread _thread;
};

// Number of open handles of this process, every handle value probed: Wine's
// GetProcessHandleCount reports 0 whatever is open.
inline long CountOpenHandles()
{
    long open = 0;
    DWORD flags = 0;
    for (UINT_PTR value = 4; value < 0x10000; value += 4)
        open += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return open;
}

// The quoted path of a stand-in program beside the test program.
inline std::wstring QuotedStandIn(const wchar_t* program)
{
    return L"\"" + std::wstring(TestProgramFolder().Ptr()) + program + L"\"";
}

// The command line with its list argument ("VNTX<kind>Mapping<n>:<size>:VNTX<kind>MappingEndEvent<m>",
// numbers without sign or leading zero) replaced by "<Extract list>" or "<Compress list>".
inline std::wstring CutListArgument(const std::wstring& commandLine, std::wstring* size = nullptr)
{
    const std::wregex pattern(L"VNTX(Extract|Compress)Mapping(0|[1-9][0-9]*):([0-9]+):"
                              L"VNTX\\1MappingEndEvent(0|[1-9][0-9]*)(?![0-9])");
    std::wsmatch match;
    if (!std::regex_search(commandLine, match, pattern))
        return commandLine;
    if (size != nullptr)
        *size = match[3];
    return match.prefix().str() + L"<" + match[1].str() + L" list>" + match.suffix().str();
}

// The owning vector of names the launcher operations take.
struct CNameList : COwningVector<CWideString>
{
    CNameList(const std::vector<std::wstring>& values)
    {
        for (const std::wstring& value : values)
            Add(CWideString(value.c_str()));
    }
};
