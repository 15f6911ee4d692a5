// The language file format: signature, entries, escapes, limits, and loads that fail whole.
#include "LangTestSupport.h"

#include <cstdint>
#include <vector>

namespace
{
typedef std::vector<std::pair<UINT, std::wstring>> CEntries;

std::string Utf16Bytes(const std::wstring& text)
{
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// A file of `size` bytes: the signature line, one entry, and a comment filling the rest.
std::string FileOfSize(size_t size)
{
    std::string bytes = LangFileBytes("1 = \"x\"\n;");
    bytes.resize(size, 'c');
    return bytes;
}

const char kBom[] = "\xEF\xBB\xBF";

class LangTableFile : public CModuleTest
{
protected:
    CScratchFolder Scratch;
};

TEST_F(LangTableFile, LoadsOrRefusesFilesWhole)
{
    const std::string sig = LangFileBytes("");
    std::string umlauts;
    for (int i = 0; i < 20000; i++)
        umlauts += "\xC3\xB6";
    const struct
    {
        const char* Label;
        std::string Bytes;
        bool Ok;
        CEntries Entries;
    } cases[] = {
        {"signature and line feed only", sig, true, {}},
        {"signature without line feed", ";!@Lang@!UTF-8!", false, {}},
        {"no line feed after the signature", ";!@Lang@!UTF-8! x 1 = \"a\"", false, {}},
        {"signature in capitals", ";!@LANG@!UTF-8!\n1 = \"a\"", false, {}},
        {"empty file", "", false, {}},
        {"byte-order mark then signature", kBom + sig + "1 = \"a\"", true, {{1, L"a"}}},
        {"rest of line 1 ignored", ";!@Lang@!UTF-8! x = \"\n1 = \"a\"", true, {{1, L"a"}}},
        {"UTF-16 file", Utf16Bytes(L";!@Lang@!UTF-8!\n1 = \"a\"\n"), false, {}},
        {"exactly 1 MiB", FileOfSize(0x100000), true, {{1, L"x"}}},
        {"one byte over 1 MiB", FileOfSize(0x100001), false, {}},
        {"zero byte ends the text", sig + std::string("1 = \"a\"\0 2 = \"", 13), true, {{1, L"a"}}},
        {"sorted by id", sig + "10 = \"ten\"\n2 = \"two\"\n", true, {{2, L"two"}, {0x10, L"ten"}}},
        {"ids are unsigned hex; only the last eight digits count",
         sig + "FFFFFFFF = \"max\"\n0 = \"zero\"\n123456789 = \"wrap\"\nabcdef = \"lower\"",
         true,
         {{0, L"zero"}, {0xABCDEF, L"lower"}, {0x23456789, L"wrap"}, {0xFFFFFFFF, L"max"}}},
        {"0x name refuses the whole file", sig + "1 = \"a\"\n0x10 = \"b\"\n2 = \"c\"", false, {}},
        {"no blanks, two entries on a line", sig + "1=\"a\"2 = \"b\"", true, {{1, L"a"}, {2, L"b"}}},
        {"tabs and CR LF between", sig + "\r\n\t1\t=\t\"a\"\r\n", true, {{1, L"a"}}},
        {"comment between = and quote", sig + "1 =\n; note\n \"a\"\n", true, {{1, L"a"}}},
        {"comment after the value", sig + "1 = \"a\" ; note\n2 = \"b\"", true, {{1, L"a"}, {2, L"b"}}},
        {"empty value", sig + "1 = \"\"", true, {{1, L""}}},
        {"escapes", sig + "1 = \"\\\"q\\\" a\\\\b x\\ny\\tz\"", true, {{1, L"\"q\" a\\b x\ny\tz"}}},
        {"escaped backslash before the closing quote", sig + "1 = \"a\\\\\"", true, {{1, L"a\\"}}},
        {"any other escaped byte keeps the backslash",
         sig + "1 = \"C:\\Temp\\\xC3\xA4\\q\"",
         true,
         {{1, L"C:\\Temp\\\x00E4\\q"}}},
        {"value spanning two lines", sig + "1 = \"a\r\nb\"", true, {{1, L"a\r\nb"}}},
        {"UTF-8 value", sig + "1 = \"\xC3\xB6\xE2\x82\xAC\xF0\x9F\x98\x80\"", true, {{1, L"\x00F6\x20AC\xD83D\xDE00"}}},
        {"missing =", sig + "1 \"a\"", false, {}},
        {"missing opening quote", sig + "1 = a", false, {}},
        {"unterminated value", sig + "1 = \"abc", false, {}},
        {"value ends on an escaped quote", sig + "1 = \"abc\\\"", false, {}},
        {"value ends on a backslash", sig + "1 = \"abc\\", false, {}},
        {"empty name", sig + "= \"a\"", false, {}},
        {"stray continuation byte in a value", sig + "1 = \"a\"\n2 = \"\xE2\x82\xAC\xAC\"", false, {}},
        {"code point beyond U+10FFFF", sig + "1 = \"\xF4\x90\x80\x80\"", false, {}},
        {"a Western code-page letter cuts a sequence",
         sig + "1 = \"Stra\xDF"
               "e\"",
         false,
         {}},
        {"a sequence cut by the closing quote", sig + "1 = \"a\xC3\"", false, {}},
        {"lead byte FF", sig + "1 = \"\xFF\"", false, {}},
        {"a five-byte form", sig + "1 = \"\xF8\x80\x80\x80\x80\"", false, {}},
        {"an encoded surrogate", sig + "1 = \"\xED\xA0\x80\"", false, {}},
        {"an overlong form passes", sig + "1 = \"\xC0\xB1\"", true, {{1, L"1"}}},
        {"letters across the read window",
         sig + "1 = \"" + umlauts + "\"\n2 = \"" + umlauts + "\"",
         true,
         {{1, std::wstring(20000, L'\x00F6')}, {2, std::wstring(20000, L'\x00F6')}}},
        // Which text a repeated id keeps is decided by the heap sort, also in an otherwise ascending file.
        {"a repeated id",
         sig + "1 = \"a\"\n2 = \"b\"\n2 = \"c\"\n3 = \"d\"",
         true,
         {{1, L"a"}, {2, L"c"}, {2, L"b"}, {3, L"d"}}},
        {"repeated ids out of order",
         sig + "5 = \"a\"\n3 = \"b\"\n5 = \"c\"\n3 = \"d\"\n5 = \"e\"",
         true,
         {{3, L"b"}, {3, L"d"}, {5, L"c"}, {5, L"e"}, {5, L"a"}}},
    };
    for (const bool wide : {true, false})
    {
        CWidePathScope scope(wide);
        for (const auto& item : cases)
        {
            SCOPED_TRACE(testing::Message() << item.Label << (wide ? " (wide)" : " (ANSI)"));
            // A name in the ANSI code page, so that the ANSI path converts it.
            const CWideString path = AddBytesFile(Scratch, L"\x00DC.txt", item.Bytes);
            CLangTable table;
            // A failed load leaves nothing of what the table held before.
            table.Entries.Add(CLangEntry{7, L"stale"});
            EXPECT_EQ(item.Ok, table.LoadFromFile(path));
            CEntries entries;
            for (int i = 0; i < table.Entries.Count(); i++)
                entries.emplace_back(table.Entries[i].Id, ToStd(table.Entries[i].Text));
            EXPECT_EQ(item.Ok ? item.Entries : CEntries(), entries);
        }
        CLangTable table;
        EXPECT_FALSE(table.LoadFromFile(Scratch.Path() + L"absent.txt"));
        EXPECT_FALSE(table.LoadFromFile(Scratch.Path())); // a folder
    }
}

TEST_F(LangTableFile, AscendingAndScrambledIdsGiveTheSameLookups)
{
    const int count = 500;
    std::string ascending;
    std::string scrambled;
    for (int i = 0; i < count; i++)
    {
        const int scrambledIndex = (i * 313) % count;
        ascending += std::to_string(2 * i) + " = \"" + std::to_string(i) + "\"\n";
        scrambled += std::to_string(2 * scrambledIndex) + " = \"" + std::to_string(scrambledIndex) + "\"\n";
    }
    CLangTable tables[2];
    ASSERT_TRUE(tables[0].LoadFromFile(AddBytesFile(Scratch, L"ascending.txt", LangFileBytes(ascending))));
    ASSERT_TRUE(tables[1].LoadFromFile(AddBytesFile(Scratch, L"scrambled.txt", LangFileBytes(scrambled))));
    // The names are decimal digits read as hexadecimal: every second id from 0 up, and ids between them are absent.
    for (UINT id = 0; id < 0x2000; id++)
    {
        CWideString texts[2] = {L"none", L"none"};
        for (int t = 0; t < 2; t++)
            tables[t].FindText(id, texts[t]);
        ASSERT_EQ(texts[0], texts[1]) << "id " << id;
    }
    CWideString text;
    ASSERT_TRUE(tables[1].FindText(0x998, text));
    EXPECT_EQ(CWideString(L"499"), text);
}

TEST_F(LangTableFile, ZeroByteInABodyCountsAsABlank)
{
    COwningVector<CLangPair> pairs;
    ASSERT_TRUE(ParseLangPairs(CNarrowString("\n1\0= \"a\"\0 2 = \"b\"", 17), pairs));
    ASSERT_EQ(2, pairs.Count());
    EXPECT_EQ(L"1=a 2=b", ToStd(pairs[0].Name + L"=" + pairs[0].Value + L" " + pairs[1].Name + L"=" + pairs[1].Value));
}

// A repeatable mutation of a file that uses every feature of the format.
std::string MutatedFile(uint32_t& state)
{
    const auto below = [&state](size_t limit)
    {
        state = state * 1664525u + 1013904223u;
        return limit == 0 ? 0 : (state >> 8) % limit;
    };
    static const std::string base = std::string(kBom) +
                                    ";!@Lang@!UTF-8! Test\r\n; header\r\n01000000 = \"Vantor-Optionen\"\r\n"
                                    "2000103=\"Archiv \\\"\xC3\xB6"
                                    "ffnen\\\"\" 2000104 = \"a\\\\b\\nc\\td\\qe\"\r\n"
                                    "0200010D =\n; between\n \"Entpacken nach {0}\r\nzweite Zeile\"\r\n"
                                    "FFFFFFFF = \"\"\r\n123456789 = \"\xF0\x9F\x98\x80 wrap\" ; trailing\r\n; end";
    static const char special[] = {'"', '\\', ';', '=', '\n', '\r', ' ', 0, 'x', '0', 'F', '\xC3', '\xFF', '\xEF'};
    std::string bytes = base;
    for (size_t i = 0, operations = 1 + below(4); i < operations && !bytes.empty(); i++)
    {
        const size_t at = below(bytes.size());
        const size_t operation = below(5);
        if (operation == 0)
            bytes[at] = special[below(sizeof(special))];
        else if (operation == 1)
            bytes[at] = static_cast<char>(below(256));
        else if (operation == 2)
            bytes.insert(at, 1, special[below(sizeof(special))]);
        else if (operation == 3)
            bytes.erase(at, 1 + below(8));
        else
            bytes.resize(at); // truncated
    }
    return bytes;
}

TEST_F(LangTableFile, MutatedFilesNeverOverrunAndGiveASortedTableOrFalse)
{
    // Every block sits against a no-access page: a read one byte past a buffer faults.
    AllocHooks::SetGuarded(true);
    uint32_t state = 20240611;
    const CWideString path = Scratch.Path() + L"mutated.txt";
    int loaded = 0;
    for (int iteration = 0; iteration < 2500 && !HasFailure(); iteration++)
    {
        SCOPED_TRACE(testing::Message() << "iteration " << iteration);
        const std::string bytes = MutatedFile(state);
        // The body handed over whole: its own buffer ends at the guard page, right behind its terminator.
        COwningVector<CLangPair> pairs;
        ParseLangPairs(CNarrowString(bytes.data(), static_cast<int>(bytes.size())), pairs);

        AddBytesFile(Scratch, L"mutated.txt", bytes);
        CLangTable table;
        const bool ok = table.LoadFromFile(path);
        loaded += ok;
        EXPECT_TRUE(ok || table.Entries.Count() == 0);
        for (int i = 0; i < table.Entries.Count(); i++)
        {
            CWideString text;
            EXPECT_TRUE(i == 0 || table.Entries[i - 1].Id <= table.Entries[i].Id);
            EXPECT_TRUE(table.FindText(table.Entries[i].Id, text));
        }
    }
    // The mutations leave a fair share of files intact enough to load.
    EXPECT_GT(loaded, 250);
    EXPECT_LT(loaded, 2250);
}
} // namespace
