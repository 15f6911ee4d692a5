// The language file format, text lookup, formatting, re-texting dialogs, and which file "Lang"
// selects: the language loads once per process, so each selection case runs in a fresh copy.
#include "LangTestIds.h"
#include "TestSupport.h"

#include "lang/Language.h"
#include "resources/ResourceIds.h"

#include <tuple>

namespace
{
class LangTest : public CModuleTest
{
protected:
    CWideString AddLangFile(const wchar_t* name, const std::string& body)
    {
        const std::string bytes = ";!@Lang@!UTF-8!\n" + body;
        return Scratch.AddFile(name, bytes.data(), bytes.size());
    }
    // "id:text|" for each entry, ids in hexadecimal.
    static std::wstring Entries(const CLangTable& table)
    {
        std::wstring all;
        wchar_t id[16] = {};
        for (int i = 0; i < table.Entries.Count(); i++)
            all += std::wstring(id, wsprintfW(id, L"%X:", table.Entries[i].Id)) +
                   std::wstring(table.Entries[i].Text.Ptr(), table.Entries[i].Text.Length()) + L"|";
        return all;
    }
    CScratchFolder Scratch;
};

// A failed load leaves nothing of what the table held before. Every block sits against a no-access
// page: a read one byte past a buffer faults, wherever the text ends.
TEST_F(LangTest, AFileLoadsWholeOrIsRefusedWhole)
{
    const std::string sig = ";!@Lang@!UTF-8!\n";
    const std::wstring utf16 = L";!@Lang@!UTF-8!\n1 = \"a\"\n";
    // A file of a size: the signature line, one entry, and a comment filling the rest.
    const auto ofSize = [&sig](size_t size) { return (sig + "1 = \"x\"\n;").append(size - sig.size() - 9, 'c'); };
    std::string umlauts(40000, '\xC3');
    for (size_t i = 1; i < umlauts.size(); i += 2)
        umlauts[i] = '\xB6';
    const std::wstring umlautsEntry = std::wstring(20000, L'\x00F6') + L"|";
    const std::wstring refused = L"(refused)";
    const std::tuple<const char*, std::string, std::wstring> cases[] = {
        {"signature and line feed only", sig, L""},
        {"signature without line feed", ";!@Lang@!UTF-8!", refused},
        {"no line feed after the signature", ";!@Lang@!UTF-8! x 1 = \"a\"", refused},
        {"signature in capitals", ";!@LANG@!UTF-8!\n1 = \"a\"", refused},
        {"empty file", "", refused},
        {"byte-order mark then signature", "\xEF\xBB\xBF" + sig + "1 = \"a\"", L"1:a|"},
        {"rest of line 1 ignored", ";!@Lang@!UTF-8! x = \"\n1 = \"a\"", L"1:a|"},
        {"UTF-16", "\xFF\xFE" + std::string(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2), refused},
        {"exactly 1 MiB", ofSize(0x100000), L"1:x|"},
        {"one byte over 1 MiB", ofSize(0x100001), refused},
        {"zero byte ends the text", sig + std::string("1 = \"a\"\0 2 = \"", 13), L"1:a|"},
        {"sorted by id", sig + "10 = \"ten\"\n2 = \"two\"\n", L"2:two|10:ten|"},
        {"hex ids, the last 8 digits",
         sig + "FFFFFFFF = \"max\"\n0 = \"zero\"\n123456789 = \"wrap\"\nabcdef = \"lower\"",
         L"0:zero|ABCDEF:lower|23456789:wrap|FFFFFFFF:max|"},
        {"0x name refuses the whole file", sig + "1 = \"a\"\n0x10 = \"b\"\n2 = \"c\"", refused},
        {"no blanks, two entries on a line", sig + "1=\"a\"2 = \"b\"", L"1:a|2:b|"},
        {"tabs and CR LF between", sig + "\r\n\t1\t=\t\"a\"\r\n", L"1:a|"},
        {"comment between = and quote", sig + "1 =\n; note\n \"a\"\n", L"1:a|"},
        {"comment after the value", sig + "1 = \"a\" ; note\n2 = \"b\"", L"1:a|2:b|"},
        {"empty value", sig + "1 = \"\"", L"1:|"},
        {"escapes", sig + "1 = \"\\\"q\\\" a\\\\b x\\ny\\tz\"", L"1:\"q\" a\\b x\ny\tz|"},
        {"escaped backslash before the closing quote", sig + "1 = \"a\\\\\"", L"1:a\\|"},
        {"other escapes kept", sig + "1 = \"C:\\Temp\\\xC3\xA4\\q\"", L"1:C:\\Temp\\\x00E4\\q|"},
        {"value spanning two lines", sig + "1 = \"a\r\nb\"", L"1:a\r\nb|"},
        {"UTF-8 value", sig + "1 = \"\xC3\xB6\xE2\x82\xAC\xF0\x9F\x98\x80\"", L"1:\x00F6\x20AC\xD83D\xDE00|"},
        {"each lead byte's first and last",
         sig + "1 = \"\xC2\x80\xDF\xBF\xE0\xA4\xB9\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\"",
         L"1:\x0080\x07FF\x0939\xFFFD\xD800\xDC00\xDBFF\xDFFF|"},
        {"missing =", sig + "1 \"a\"", refused},
        {"missing opening quote", sig + "1 = a", refused},
        {"unterminated value", sig + "1 = \"abc", refused},
        {"the text ends after a name", sig + "1", refused},
        {"the text ends after =", sig + "1 =", refused},
        {"the text ends in a comment", sig + "1 = \"a\"\n; end", L"1:a|"},
        {"the text ends inside a sequence", sig + "1 = \"\xE2\x82", refused},
        {"value ends on an escaped quote", sig + "1 = \"abc\\\"", refused},
        {"value ends on a backslash", sig + "1 = \"abc\\", refused},
        {"empty name", sig + "= \"a\"", refused},
        {"stray continuation byte in a value", sig + "1 = \"a\"\n2 = \"\xE2\x82\xAC\xAC\"", refused},
        {"code point beyond U+10FFFF", sig + "1 = \"\xF4\x90\x80\x80\"", refused},
        {"a Western code-page letter cuts a sequence", sig + "1 = \"Fu\xDFweg\"", refused},
        {"a sequence cut by the closing quote", sig + "1 = \"a\xC3\"", refused},
        {"a five-byte form", sig + "1 = \"\xF8\x80\x80\x80\x80\"", refused},
        {"an encoded surrogate", sig + "1 = \"\xED\xA0\x80\"", refused},
        {"an overlong form passes", sig + "1 = \"\xC0\xB1\"", L"1:1|"},
        {"across the read window", sig + "1 = \"" + umlauts + "\"\n2 = \"" + umlauts + "\"",
         L"1:" + umlautsEntry + L"2:" + umlautsEntry},
        // Which text a repeated id keeps is decided by the heap sort, also in an otherwise ascending file.
        {"a repeated id", sig + "1 = \"a\"\n2 = \"b\"\n2 = \"c\"\n3 = \"d\"", L"1:a|2:c|2:b|3:d|"},
        {"repeated, out of order", sig + "5 = \"a\"\n3 = \"b\"\n5 = \"c\"\n3 = \"d\"\n5 = \"e\"",
         L"3:b|3:d|5:c|5:e|5:a|"},
    };
    AllocHooks::SetGuarded(true);
    for (const auto& [label, bytes, entries] : cases)
    {
        SCOPED_TRACE(label);
        const CWideString path = Scratch.AddFile(L"lang.txt", bytes.data(), bytes.size());
        CLangTable table;
        table.Entries.Add(CLangEntry{7, L"stale"});
        EXPECT_EQ(entries != refused, table.LoadFromFile(path));
        EXPECT_EQ(entries != refused ? entries : L"", Entries(table));
    }
    EXPECT_FALSE(CLangTable().LoadFromFile(Scratch.Path() + L"absent.txt"));
    EXPECT_FALSE(CLangTable().LoadFromFile(Scratch.Path())); // a folder
}

// More entries than one chunk of the table holds. Decimal digits read as hexadecimal: every second id
// from 0 up, and the ids between them absent.
TEST_F(LangTest, AscendingAndScrambledFilesGiveTheSameLookups)
{
    std::string ascending = ";!@Lang@!UTF-8!\n", scrambled = ascending;
    for (int i = 0; i < 1200; i++)
    {
        const int j = i * 313 % 1200;
        ascending += std::to_string(2 * i) + " = \"" + std::to_string(i) + "\"\n";
        scrambled += std::to_string(2 * j) + " = \"" + std::to_string(j) + "\"\n";
    }
    CLangTable tables[2];
    ASSERT_TRUE(tables[0].LoadFromFile(Scratch.AddFile(L"ascending.txt", ascending.data(), ascending.size())));
    ASSERT_TRUE(tables[1].LoadFromFile(Scratch.AddFile(L"scrambled.txt", scrambled.data(), scrambled.size())));
    for (UINT id = 0; id < 0x2400; id++)
    {
        CWideString texts[2] = {L"none", L"none"};
        for (int t = 0; t < 2; t++)
            tables[t].FindText(id, texts[t]);
        ASSERT_EQ(texts[0], texts[1]) << "id " << id;
    }
    CWideString text;
    EXPECT_TRUE(tables[1].FindText(0x2398, text) && text == L"1199");
}

INT_PTR CALLBACK TestDialogProcedure(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

TEST_F(LangTest, FormatArgFillsEachPlaceholderWithTheTextAsItIs)
{
    const wchar_t* cases[][3] = {{L"{0} and {0}", L"a", L"a and a"},
                                 {L"{0}{0}{0}", L"xy", L"xyxyxy"},
                                 {L"Add to {0}", L"{0}", L"Add to {0}"},
                                 {L"{0} / {0}", L"<{0}>", L"<{0}> / <{0}>"},
                                 {L"{0}", L"{", L"{"},
                                 {L"{{0}0}", L"x", L"{x0}"},
                                 {L"{1} {0 } {0", L"x", L"{1} {0 } {0"},
                                 {L"{0}", L"", L""},
                                 {L"", L"x", L""}};
    for (const auto& item : cases)
        EXPECT_EQ(CWideString(item[2]), FormatArg(item[0], item[1])) << item[0];
}

TEST_F(LangTest, ATranslationWinsOverTheBuiltInTextEvenWhenEmpty)
{
    ASSERT_TRUE(
        g_LangTable.LoadFromFile(AddLangFile(L"lookup.txt", "2000103 = \"Archiv \303\266ffnen\"\n2000104 = \"\"\n")));
    EXPECT_EQ(CWideString(L"Archiv \u00F6ffnen"), LangTextOr(IDS_OPEN_TITLE, 0x02000103));
    EXPECT_EQ(CWideString(L""), LangTextOr(IDS_OPEN_HELP, 0x02000104));                     // an empty one stands
    EXPECT_EQ(CWideString(L"Extract files..."), LangTextOr(IDS_EXTRACT_TITLE, 0x02000105)); // none: built in
    EXPECT_EQ(CWideString(L""), LangText(0x02000105));                                      // no fallback
    g_LangTable.Entries.ClearAndRelease(); // its slot storage too, before the leak check
}

TEST_F(LangTest, DialogsTakeTheTranslationsOfTheirMappedControlsOnly)
{
    ASSERT_TRUE(g_LangTable.LoadFromFile(
        AddLangFile(L"dialog.txt", "01009001 = \"Erste Zeile \303\244\"\n01009003 = \"\"\n01009009 = \"ghost\"\n")));
    const CLangControlMap map[] = {
        {IDC_LANG_TEST_LABEL, 0x01009001},  // translated
        {IDC_LANG_TEST_BUTTON, 0x01009002}, // no translation: the template text stays
        {IDC_LANG_TEST_ABSENT, 0x01009009}, // no such control: nothing happens
        {IDC_LANG_TEST_CHECK, 0x01009003},  // an empty translation empties the control
    };
    const HWND dialog =
        CreateDialogParamW(g_ModuleInstance, MAKEINTRESOURCEW(IDD_LANG_TEST), nullptr, &TestDialogProcedure, 0);
    ASSERT_NE(nullptr, dialog);
    ApplyLangToDialog(dialog, map, 4);
    std::wstring texts;
    for (const int id : {IDC_LANG_TEST_LABEL, IDC_LANG_TEST_BUTTON, IDC_LANG_TEST_CHECK})
    {
        wchar_t text[64] = {};
        GetDlgItemTextW(dialog, id, text, 64);
        texts += std::wstring(text) + L"|";
    }
    DestroyWindow(dialog);
    EXPECT_EQ(L"Erste Zeile \u00E4|Beta||", texts);
    g_LangTable.Entries.ClearAndRelease(); // its slot storage too, before the leak check
}

// The child side loads as a fresh process would and expects "name|entries|text" to be what
// VANTOR_LANG_CHILD_EXPECTED says; it stands in VANTOR_LANG_CHILD_CURRENT_FOLDER, takes the ANSI
// paths with VANTOR_LANG_CHILD_ANSI, and cannot know its own folder with VANTOR_LANG_CHILD_NO_MODULE.
TEST_F(LangTest, ChildLoad)
{
    const auto EnvironmentValue = [](const wchar_t* name)
    { return std::wstring(_wgetenv(name) ? _wgetenv(name) : L""); };
    const std::wstring expected = EnvironmentValue(L"VANTOR_LANG_CHILD_EXPECTED");
    if (expected.empty())
        GTEST_SKIP() << "runs only in a process started by LangValueNamesTheFile";
    g_WideApisAvailable = EnvironmentValue(L"VANTOR_LANG_CHILD_ANSI").empty();
    SetCurrentDirectoryW(EnvironmentValue(L"VANTOR_LANG_CHILD_CURRENT_FOLDER").c_str());
    const HINSTANCE moduleInstance = g_ModuleInstance;
    if (!EnvironmentValue(L"VANTOR_LANG_CHILD_NO_MODULE").empty())
        g_ModuleInstance = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(0x10)); // no such module
    // The allocations of one load, counted once g_LangName has its final size; two threads that
    // call LoadLanguageOnce at once make just as many between them.
    LoadLanguage();
    long before = AllocHooks::AllocationCount();
    LoadLanguage();
    const long oneLoad = AllocHooks::AllocationCount() - before;
    before = AllocHooks::AllocationCount();
    EXPECT_TRUE(RunOnThreads(2, 30000, [](int) { LoadLanguageOnce(); }));
    EXPECT_EQ(oneLoad, AllocHooks::AllocationCount() - before);
    g_ModuleInstance = moduleInstance;
    EXPECT_EQ(expected, std::wstring(g_LangName.Ptr()) + L"|" + std::to_wstring(g_LangTable.Entries.Count()) + L"|" +
                            LangText(0x02000103).Ptr());
    g_LangTable.Entries.ClearAndRelease();
}

TEST_F(LangTest, LangValueNamesTheFile)
{
    CRegistrySnapshot snapshot(HKEY_CURRENT_USER, kSettingsRoot);
    // Lang\German.txt beside the module comes with the build; "-" must not be taken as a name.
    const std::wstring dash = std::wstring(TestProgramFolder().Ptr()) + L"Lang\\-.txt";
    ASSERT_TRUE(CopyFileW(AddLangFile(L"-.txt", "2000103 = \"dash\"\n"), dash.c_str(), FALSE));
    const std::wstring custom = AddLangFile(L"Custom", "2000103 = \"custom\"\n").Ptr();
    const std::wstring longForm = L"\\\\?\\" + custom; // \\?\C:\...: full by itself, as a share is
    AddLangFile(L"Custom.txt", "2000103 = \"custom txt\"\n");
    // Planted where a lookup from the current folder would find them.
    Scratch.AddFolder(L"Lang");
    for (const wchar_t* planted : {L"Planted.txt", L"Lang\\German.txt"})
        AddLangFile(planted, "2000103 = \"planted\"\n");
    std::string body; // long enough for the two loading threads to meet
    for (int i = 0; i < 3000; i++)
        body += std::to_string(3000 - i) + " = \"text number " + std::to_string(i) + "\"\n";
    const std::wstring big = AddLangFile(L"big.txt", body).Ptr();
    const std::wstring ansi = L";VANTOR_LANG_CHILD_ANSI=1";
    const std::wstring german = L"|35|Archiv \u00F6ffnen";
    // The stored value (nullptr: none), the child's environment, and what it loads.
    const std::tuple<const wchar_t*, std::wstring, std::wstring> cases[] = {
        {nullptr, L"", L"|0|"},
        {L"", L"", L"|0|"},
        {L"-", L"", L"-|0|"},
        {L"German", L"", L"German" + german},
        {L"German", ansi, L"German" + german},
        {L"German.txt", L"", L"German.txt" + german},             // a name with a dot gets no ".txt"
        {L"Lang\\German.txt", L"", L"Lang\\German.txt" + german}, // relative: from the module's folder
        {custom.c_str(), L"", custom + L"|1|custom"},             // a backslash: the path as it stands
        {custom.c_str(), ansi, custom + L"|1|custom"},
        {longForm.c_str(), L"", longForm + L"|1|custom"},
        {L"VtMissing", L"", L"VtMissing|0|"},
        {big.c_str(), L"", big + L"|3000|"},
        // Without its own folder the module keeps its texts rather than read the current folder.
        {L"Planted", L";VANTOR_LANG_CHILD_NO_MODULE=1", L"Planted|0|"},
    };
    for (const auto& [value, assignments, expected] : cases)
    {
        SCOPED_TRACE(testing::Message() << (value ? value : L"<none>") << assignments);
        DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsRoot);
        // The file manager's own sub-key is not where the module looks.
        SetRaw(HKEY_CURRENT_USER, kSettingsRoot + L"\\FM", L"Lang", Text(L"German"));
        if (value != nullptr)
            SetRaw(HKEY_CURRENT_USER, kSettingsRoot, L"Lang", Text(value));
        const std::wstring environment = L"VANTOR_LANG_CHILD_EXPECTED=" + expected +
                                         L";VANTOR_LANG_CHILD_CURRENT_FOLDER=" + Scratch.Path().Ptr() + assignments;
        EXPECT_EQ(0u, RunThisProgram(L"LangTest.ChildLoad", environment.c_str()));
    }
    DeleteFileW(dash.c_str());
}
} // namespace
