// The language file format: parsing, loading, sorting and lookup by bisection.
#include "LangTestSupport.h"

#include "lang/LangTable.h"

#include <algorithm>
#include <cstdint>

namespace
{
typedef std::vector<std::pair<std::wstring, std::wstring>> CPairs;

struct CPairCase
{
    const char* Label;
    std::string Body;
    bool Ok;
    CPairs Pairs;
};

const std::vector<CPairCase>& PairCases()
{
    static const std::vector<CPairCase> cases = {
        {"empty body", "", true, {}},
        {"blanks only", "\n \t\r\n", true, {}},
        {"trailing comment without line feed", "\n; nothing else", true, {}},
        {"one entry", "\n1 = \"a\"", true, {{L"1", L"a"}}},
        {"no blanks at all", "\n1=\"a\"", true, {{L"1", L"a"}}},
        {"two entries on one line", "\n1=\"a\"2 = \"b\"", true, {{L"1", L"a"}, {L"2", L"b"}}},
        {"tabs and CR LF between", "\r\n\t1\t=\t\"a\"\r\n", true, {{L"1", L"a"}}},
        {"comment between = and quote", "\n1 =\n; note\n \"a\"\n", true, {{L"1", L"a"}}},
        {"comment between name and =", "\n1 ; note\n= \"a\"", true, {{L"1", L"a"}}},
        {"comment after the value", "\n1 = \"a\" ; note\n2 = \"b\"", true, {{L"1", L"a"}, {L"2", L"b"}}},
        {"empty value", "\n1 = \"\"", true, {{L"1", L""}}},
        {"escaped quote", "\n1 = \"say \\\"hi\\\"\"", true, {{L"1", L"say \"hi\""}}},
        {"escaped backslash", "\n1 = \"a\\\\b\"", true, {{L"1", L"a\\b"}}},
        {"escaped backslash before quote", "\n1 = \"a\\\\\"", true, {{L"1", L"a\\"}}},
        {"escaped line feed", "\n1 = \"x\\ny\"", true, {{L"1", L"x\ny"}}},
        {"escaped tab", "\n1 = \"x\\ty\"", true, {{L"1", L"x\ty"}}},
        {"unknown escape keeps both bytes", "\n1 = \"a\\qb\"", true, {{L"1", L"a\\qb"}}},
        {"backslash before a multi-byte letter", "\n1 = \"\\\xC3\xA4\"", true, {{L"1", L"\\\x00E4"}}},
        {"value spanning two lines", "\n1 = \"a\r\nb\"", true, {{L"1", L"a\r\nb"}}},
        {"semicolon inside a value", "\n1 = \"a;b\"", true, {{L"1", L"a;b"}}},
        {"semicolon inside a name", "\n1;2 = \"x\"", true, {{L"1;2", L"x"}}},
        {"quote inside a name", "\n1\"2 = \"x\"", true, {{L"1\"2", L"x"}}},
        {"UTF-8 value", "\n1 = \"\xC3\xB6\xE2\x82\xAC\xF0\x9F\x98\x80\"", true, {{L"1", L"\x00F6\x20AC\xD83D\xDE00"}}},
        {"zero byte counts as a blank", std::string("\n1 = \"a\"\0 2 = \"b\"", 17), true, {{L"1", L"a"}, {L"2", L"b"}}},
        {"zero byte ends a name", std::string("\n1\0= \"a\"", 8), true, {{L"1", L"a"}}},
        {"missing =", "\n1 \"a\"", false, {}},
        {"missing opening quote", "\n1 = a", false, {}},
        {"unterminated value", "\n1 = \"abc", false, {}},
        {"value ends on an escaped quote", "\n1 = \"abc\\\"", false, {}},
        {"value ends on a backslash", "\n1 = \"abc\\", false, {}},
        {"name at the end", "\n1", false, {}},
        {"= at the end", "\n1 =", false, {}},
        {"= then comment to the end", "\n1 = ; note", false, {}},
        {"empty name", "\n= \"a\"", false, {}},
        {"stray continuation byte in a value", "\n1 = \"a\x80\"", false, {}},
        {"stray continuation byte in a name", "\n\xBF = \"a\"", false, {}},
        {"code point beyond U+10FFFF", "\n1 = \"\xF4\x90\x80\x80\"", false, {}},
    };
    return cases;
}

class LangParser : public CModuleTest
{
};

TEST_F(LangParser, ParsesBodiesAsTheFormatFixes)
{
    for (const CPairCase& item : PairCases())
    {
        SCOPED_TRACE(item.Label);
        COwningVector<CLangPair> pairs;
        const bool ok = ParseLangPairs(CNarrowString(item.Body.data(), static_cast<int>(item.Body.size())), pairs);
        EXPECT_EQ(item.Ok, ok);
        if (!item.Ok || !ok)
            continue;
        CPairs actual;
        for (int i = 0; i < pairs.Count(); i++)
            actual.emplace_back(ToStd(pairs[i].Name), ToStd(pairs[i].Value));
        EXPECT_EQ(item.Pairs, actual);
    }
}

TEST_F(LangParser, HexIdsWrapToTheirLastEightDigits)
{
    struct
    {
        const wchar_t* Name;
        bool Ok;
        UINT Id;
    } const cases[] = {
        {L"0", true, 0},
        {L"2000103", true, 0x02000103},
        {L"02000103", true, 0x02000103},
        {L"0000000002000103", true, 0x02000103},
        {L"abcdef", true, 0xABCDEF},
        {L"ABCDEF", true, 0xABCDEF},
        {L"FFFFFFFF", true, 0xFFFFFFFF},
        {L"123456789", true, 0x23456789},
        {L"", false, 0},
        {L"0x10", false, 0},
        {L"10h", false, 0},
        {L"-1", false, 0},
        {L"1 ", false, 0},
        {L"g", false, 0},
        {L"\xFF11", false, 0}, // a full-width digit one
    };
    for (const auto& item : cases)
    {
        SCOPED_TRACE(testing::Message() << "name " << item.Name);
        UINT id = 0xDEADBEEF;
        EXPECT_EQ(item.Ok, ParseHexId(item.Name, id));
        EXPECT_EQ(item.Ok ? item.Id : 0xDEADBEEF, id);
    }
}

typedef std::vector<std::pair<UINT, std::wstring>> CEntries;

struct CFileCase
{
    const char* Label;
    std::string Bytes;
    bool Ok;
    CEntries Entries;
};

const char kBom[] = "\xEF\xBB\xBF";

std::string Utf16Bytes(const wchar_t* text)
{
    std::string bytes("\xFF\xFE", 2);
    for (; *text != 0; text++)
    {
        bytes += static_cast<char>(*text & 0xFF);
        bytes += static_cast<char>(*text >> 8);
    }
    return bytes;
}

const std::vector<CFileCase>& FileCases()
{
    static const std::vector<CFileCase> cases = {
        {"signature and line feed only", ";!@Lang@!UTF-8!\n", true, {}},
        {"signature without line feed", ";!@Lang@!UTF-8!", false, {}},
        {"signature line without line feed", ";!@Lang@!UTF-8! German 1 = \"a\"", false, {}},
        {"signature in capitals", ";!@LANG@!UTF-8!\n1 = \"a\"", false, {}},
        {"signature cut short", ";!@Lang@!UTF-8\n1 = \"a\"", false, {}},
        {"blank before the signature", " ;!@Lang@!UTF-8!\n", false, {}},
        {"empty file", "", false, {}},
        {"byte-order mark then signature", std::string(kBom) + ";!@Lang@!UTF-8!\n1 = \"a\"", true, {{1, L"a"}}},
        {"byte-order mark alone", kBom, false, {}},
        {"two byte-order marks", std::string(kBom) + kBom + ";!@Lang@!UTF-8!\n", false, {}},
        {"rest of line 1 ignored", ";!@Lang@!UTF-8! German = \"x\n1 = \"a\"", true, {{1, L"a"}}},
        {"sorted by id", LangFileBytes("10 = \"ten\"\n2 = \"two\"\n"), true, {{2, L"two"}, {0x10, L"ten"}}},
        {"ids sorted as unsigned numbers",
         LangFileBytes("FFFFFFFF = \"max\"\n0 = \"zero\"\n80000000 = \"high\""),
         true,
         {{0, L"zero"}, {0x80000000, L"high"}, {0xFFFFFFFF, L"max"}}},
        {"zero byte ends the text", LangFileBytes(std::string("1 = \"a\"\0 2 = \"", 13)), true, {{1, L"a"}}},
        {"zero byte inside the signature", std::string(";!@Lang@!\0UTF-8!\n", 17), false, {}},
        {"0x name refuses the whole file", LangFileBytes("1 = \"a\"\n0x10 = \"b\"\n2 = \"c\""), false, {}},
        {"syntax error refuses the file", LangFileBytes("1 = \"a\"\n2 \"b\""), false, {}},
        {"invalid UTF-8 refuses the file", LangFileBytes("1 = \"a\"\n2 = \"\xE2\x82\xAC\xAC\""), false, {}},
        {"UTF-16 file", Utf16Bytes(L";!@Lang@!UTF-8!\n1 = \"a\"\n"), false, {}},
    };
    return cases;
}

class LangTableFile : public CModuleTest
{
protected:
    CScratchFolder Scratch;
};

TEST_F(LangTableFile, LoadsOrRefusesFilesWhole)
{
    for (const bool wide : {true, false})
    {
        CWidePathScope scope(wide);
        for (const CFileCase& item : FileCases())
        {
            SCOPED_TRACE(testing::Message() << item.Label << (wide ? " (wide)" : " (ANSI)"));
            const CWideString path = AddBytesFile(Scratch, L"case.txt", item.Bytes);
            CLangTable table;
            // A failed load leaves nothing of what the table held before.
            table.Entries.Add(CLangEntry{7, L"stale"});
            EXPECT_EQ(item.Ok, table.LoadFromFile(path));
            EXPECT_EQ(item.Ok ? item.Entries : CEntries(), EntriesOf(table));
        }
    }
}

TEST_F(LangTableFile, MissingFileIsRefused)
{
    CLangTable table;
    EXPECT_FALSE(table.LoadFromFile(Scratch.Path() + L"absent.txt"));
    EXPECT_FALSE(table.LoadFromFile(Scratch.Path())); // a folder
    EXPECT_EQ(0, table.Entries.Count());
}

TEST_F(LangTableFile, FileNamedInAnsiCodePageLoadsOnBothPaths)
{
    const CWideString path = AddBytesFile(Scratch,
                                          L"\x00DC"
                                          L"bersicht.txt",
                                          LangFileBytes("1 = \"a\""));
    for (const bool wide : {true, false})
    {
        CWidePathScope scope(wide);
        CLangTable table;
        EXPECT_TRUE(table.LoadFromFile(path)) << (wide ? "wide" : "ANSI");
        EXPECT_EQ(1, table.Entries.Count());
    }
}

// A file of `size` bytes: the signature line, one entry, and a comment filling the rest.
std::string FileOfSize(size_t size)
{
    std::string bytes = LangFileBytes("1 = \"x\"\n;");
    bytes.resize(size, 'c');
    return bytes;
}

TEST_F(LangTableFile, ReadsUpToOneMebibyte)
{
    CLangTable table;
    EXPECT_TRUE(table.LoadFromFile(AddBytesFile(Scratch, L"limit.txt", FileOfSize(0x100000))));
    EXPECT_EQ((CEntries{{1, L"x"}}), EntriesOf(table));
    EXPECT_FALSE(table.LoadFromFile(AddBytesFile(Scratch, L"over.txt", FileOfSize(0x100001))));
    EXPECT_EQ(0, table.Entries.Count());
}

TEST_F(LangTableFile, FindTextBisectsAndLeavesTheTextWhenMissing)
{
    // 500 even ids in scrambled order: every one is found, no odd one is.
    std::string body;
    for (UINT i = 0; i < 500; i++)
    {
        const UINT id = ((i * 7919) % 500) * 2;
        char line[64];
        wsprintfA(line, "%X = \"t%u\"\n", id, id);
        body += line;
    }
    CLangTable table;
    ASSERT_TRUE(table.LoadFromFile(AddBytesFile(Scratch, L"many.txt", LangFileBytes(body))));
    ASSERT_EQ(500, table.Entries.Count());
    for (UINT id = 0; id < 1001; id++)
    {
        CWideString text(L"kept");
        const bool found = table.FindText(id, text);
        EXPECT_EQ(id % 2 == 0 && id < 1000, found) << id;
        wchar_t expected[32];
        wsprintfW(expected, L"t%u", id);
        EXPECT_EQ(found ? std::wstring(expected) : std::wstring(L"kept"), ToStd(text)) << id;
    }
}

TEST_F(LangTableFile, EmptyValueIsFoundAsEmpty)
{
    CLangTable table;
    ASSERT_TRUE(table.LoadFromFile(AddBytesFile(Scratch, L"empty.txt", LangFileBytes("2000103 = \"\""))));
    CWideString text(L"kept");
    EXPECT_TRUE(table.FindText(0x02000103, text));
    EXPECT_TRUE(text.IsEmpty());
}

TEST_F(LangTableFile, ExhaustedMemoryLeavesAnEmptyTableAndNoBlocks)
{
    const CWideString path =
        AddBytesFile(Scratch, L"oom.txt", LangFileBytes("3 = \"c\"\n1 = \"a \\\"x\\\"\"\n2 = \"b\"\n"));
    int failures = 0;
    for (long n = 1;; n++)
    {
        const long blocks = AllocHooks::LiveBlocks();
        bool threw = false;
        bool loaded = false;
        int entries = -1;
        {
            CLangTable table;
            AllocHooks::FailNth(n);
            try
            {
                loaded = table.LoadFromFile(path);
            }
            catch (const CNewException&)
            {
                threw = true;
            }
            entries = table.Entries.Count();
        }
        EXPECT_EQ(blocks, AllocHooks::LiveBlocks()) << "failure at allocation " << n;
        if (threw)
        {
            failures++;
            EXPECT_EQ(0, entries) << "failure at allocation " << n;
            continue;
        }
        // The armed failure lay beyond the last allocation of a load: every one has been tried.
        EXPECT_TRUE(AllocHooks::FailurePending());
        AllocHooks::FailNth(0);
        EXPECT_TRUE(loaded);
        EXPECT_EQ(3, entries);
        break;
    }
    EXPECT_GT(failures, 10);
}

// A repeatable generator for the robustness loop.
class CTestRandom
{
public:
    explicit CTestRandom(uint32_t seed) : _state(seed) {}
    uint32_t Next()
    {
        _state = _state * 1664525u + 1013904223u;
        return _state >> 8;
    }
    uint32_t Below(uint32_t limit) { return limit == 0 ? 0 : Next() % limit; }

private:
    uint32_t _state;
};

std::string MutatedFile(CTestRandom& random)
{
    static const std::string base = std::string(kBom) +
                                    ";!@Lang@!UTF-8! Test\r\n"
                                    "; header\r\n"
                                    "01000000 = \"Vantor-Optionen\"\r\n"
                                    "2000103=\"Archiv \\\"\xC3\xB6"
                                    "ffnen\\\"\" 2000104 = \"a\\\\b\\nc\\td\\qe\"\r\n"
                                    "0200010D =\n; between\n \"Entpacken nach {0}\r\nzweite Zeile\"\r\n"
                                    "FFFFFFFF = \"\"\r\n"
                                    "123456789 = \"\xF0\x9F\x98\x80 wrap\" ; trailing\r\n"
                                    "; end";
    static const char special[] = {'"', '\\', ';', '=', '\n', '\r', ' ', 0, 'x', '0', 'F', '\xC3', '\xFF', '\xEF'};
    std::string bytes = base;
    const uint32_t operations = 1 + random.Below(4);
    for (uint32_t i = 0; i < operations && !bytes.empty(); i++)
    {
        const size_t at = random.Below(static_cast<uint32_t>(bytes.size()));
        switch (random.Below(5))
        {
        case 0:
            bytes[at] = special[random.Below(sizeof(special))];
            break;
        case 1:
            bytes[at] = static_cast<char>(random.Below(256));
            break;
        case 2:
            bytes.insert(at, 1, special[random.Below(sizeof(special))]);
            break;
        case 3:
            bytes.erase(at, 1 + random.Below(8));
            break;
        default:
            bytes.resize(at);
            break;
        }
    }
    return bytes;
}

bool IsSortedById(const CLangTable& table)
{
    for (int i = 1; i < table.Entries.Count(); i++)
        if (table.Entries[i - 1].Id > table.Entries[i].Id)
            return false;
    return true;
}

TEST_F(LangTableFile, MutatedFilesGiveASortedTableOrFalse)
{
    // Every block sits against a no-access page: a read one byte past the file buffer faults.
    AllocHooks::SetGuarded(true);
    CTestRandom random(20240611);
    const CWideString path = Scratch.Path() + L"mutated.txt";
    int loaded = 0;
    for (int iteration = 0; iteration < 2000; iteration++)
    {
        const std::string bytes = MutatedFile(random);
        AddBytesFile(Scratch, L"mutated.txt", bytes);
        CLangTable table;
        const bool ok = table.LoadFromFile(path);
        if (ok)
        {
            loaded++;
            EXPECT_TRUE(IsSortedById(table)) << "iteration " << iteration;
            for (int i = 0; i < table.Entries.Count(); i++)
            {
                CWideString text;
                EXPECT_TRUE(table.FindText(table.Entries[i].Id, text)) << "iteration " << iteration;
            }
        }
        else
            EXPECT_EQ(0, table.Entries.Count()) << "iteration " << iteration;
        if (HasFailure())
            break;
    }
    // The mutations leave a fair share of files intact enough to load.
    EXPECT_GT(loaded, 200);
    EXPECT_LT(loaded, 1800);
}

TEST_F(LangTableFile, MutatedBodiesNeverReadPastTheirEnd)
{
    AllocHooks::SetGuarded(true);
    CTestRandom random(77);
    for (int iteration = 0; iteration < 3000; iteration++)
    {
        const std::string bytes = MutatedFile(random);
        COwningVector<CLangPair> pairs;
        // The body's own buffer ends at the guard page, right behind its terminator.
        ParseLangPairs(CNarrowString(bytes.data(), static_cast<int>(bytes.size())), pairs);
    }
}
} // namespace
