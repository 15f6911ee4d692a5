// The language file format: signature, entries, escapes, limits, and loads that fail whole.
#include "TestSupport.h"

#include "lang/LangTable.h"

#include <cstdint>

namespace
{
class LangTableFile : public CModuleTest
{
protected:
    // "id:text|" for each entry, ids in hexadecimal.
    static std::wstring Entries(const CLangTable& table)
    {
        std::wstring all;
        for (int i = 0; i < table.Entries.Count(); i++)
        {
            wchar_t id[16] = {};
            wsprintfW(id, L"%X:", table.Entries[i].Id);
            all += id + std::wstring(table.Entries[i].Text.Ptr(), table.Entries[i].Text.Length()) + L"|";
        }
        return all;
    }
    CScratchFolder Scratch;
};

TEST_F(LangTableFile, LoadsOrRefusesFilesWhole)
{
    const std::string sig = ";!@Lang@!UTF-8!\n";
    const std::string bom = "\xEF\xBB\xBF";
    const std::wstring utf16 = L";!@Lang@!UTF-8!\n1 = \"a\"\n";
    // A file of a size: the signature line, one entry, and a comment filling the rest.
    const auto ofSize = [&sig](size_t size) { return (sig + "1 = \"x\"\n;").append(size - sig.size() - 9, 'c'); };
    std::string umlauts;
    for (int i = 0; i < 20000; i++)
        umlauts += "\xC3\xB6";
    const std::wstring umlautsEntry = std::wstring(20000, L'\x00F6') + L"|";
    const std::wstring refused = L"(refused)";
    const struct
    {
        const char* Label;
        std::string Bytes;
        std::wstring Entries;
    } cases[] = {
        {"signature and line feed only", sig, L""},
        {"signature without line feed", ";!@Lang@!UTF-8!", refused},
        {"no line feed after the signature", ";!@Lang@!UTF-8! x 1 = \"a\"", refused},
        {"signature in capitals", ";!@LANG@!UTF-8!\n1 = \"a\"", refused},
        {"empty file", "", refused},
        {"byte-order mark then signature", bom + sig + "1 = \"a\"", L"1:a|"},
        {"rest of line 1 ignored", ";!@Lang@!UTF-8! x = \"\n1 = \"a\"", L"1:a|"},
        {"UTF-16 file", "\xFF\xFE" + std::string(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2),
         refused},
        {"exactly 1 MiB", ofSize(0x100000), L"1:x|"},
        {"one byte over 1 MiB", ofSize(0x100001), refused},
        {"zero byte ends the text", sig + std::string("1 = \"a\"\0 2 = \"", 13), L"1:a|"},
        {"sorted by id", sig + "10 = \"ten\"\n2 = \"two\"\n", L"2:two|10:ten|"},
        {"ids are unsigned hex; only the last eight digits count",
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
        {"any other escaped byte keeps the backslash", sig + "1 = \"C:\\Temp\\\xC3\xA4\\q\"",
         L"1:C:\\Temp\\\x00E4\\q|"},
        {"value spanning two lines", sig + "1 = \"a\r\nb\"", L"1:a\r\nb|"},
        {"UTF-8 value", sig + "1 = \"\xC3\xB6\xE2\x82\xAC\xF0\x9F\x98\x80\"", L"1:\x00F6\x20AC\xD83D\xDE00|"},
        {"missing =", sig + "1 \"a\"", refused},
        {"missing opening quote", sig + "1 = a", refused},
        {"unterminated value", sig + "1 = \"abc", refused},
        {"value ends on an escaped quote", sig + "1 = \"abc\\\"", refused},
        {"value ends on a backslash", sig + "1 = \"abc\\", refused},
        {"empty name", sig + "= \"a\"", refused},
        {"stray continuation byte in a value", sig + "1 = \"a\"\n2 = \"\xE2\x82\xAC\xAC\"", refused},
        {"code point beyond U+10FFFF", sig + "1 = \"\xF4\x90\x80\x80\"", refused},
        {"a Western code-page letter cuts a sequence",
         sig + "1 = \"Stra\xDF"
               "e\"",
         refused},
        {"a sequence cut by the closing quote", sig + "1 = \"a\xC3\"", refused},
        {"lead byte FF", sig + "1 = \"\xFF\"", refused},
        {"a five-byte form", sig + "1 = \"\xF8\x80\x80\x80\x80\"", refused},
        {"an encoded surrogate", sig + "1 = \"\xED\xA0\x80\"", refused},
        {"an overlong form passes", sig + "1 = \"\xC0\xB1\"", L"1:1|"},
        {"letters across the read window", sig + "1 = \"" + umlauts + "\"\n2 = \"" + umlauts + "\"",
         L"1:" + umlautsEntry + L"2:" + umlautsEntry},
        // Which text a repeated id keeps is decided by the heap sort, also in an otherwise ascending file.
        {"a repeated id", sig + "1 = \"a\"\n2 = \"b\"\n2 = \"c\"\n3 = \"d\"", L"1:a|2:c|2:b|3:d|"},
        {"repeated ids out of order", sig + "5 = \"a\"\n3 = \"b\"\n5 = \"c\"\n3 = \"d\"\n5 = \"e\"",
         L"3:b|3:d|5:c|5:e|5:a|"},
    };
    for (const auto& item : cases)
    {
        SCOPED_TRACE(item.Label);
        const CWideString path = Scratch.AddFile(L"lang.txt", item.Bytes.data(), item.Bytes.size());
        CLangTable table;
        // A failed load leaves nothing of what the table held before.
        table.Entries.Add(CLangEntry{7, L"stale"});
        EXPECT_EQ(item.Entries != refused, table.LoadFromFile(path));
        EXPECT_EQ(item.Entries != refused ? item.Entries : L"", Entries(table));
    }
    CLangTable table;
    EXPECT_FALSE(table.LoadFromFile(Scratch.Path() + L"absent.txt"));
    EXPECT_FALSE(table.LoadFromFile(Scratch.Path())); // a folder
}

TEST_F(LangTableFile, AscendingAndScrambledIdsGiveTheSameLookups)
{
    std::string ascending = ";!@Lang@!UTF-8!\n";
    std::string scrambled = ascending;
    // More entries than one chunk of the table holds.
    for (int i = 0; i < 1200; i++)
    {
        const int j = i * 313 % 1200;
        ascending += std::to_string(2 * i) + " = \"" + std::to_string(i) + "\"\n";
        scrambled += std::to_string(2 * j) + " = \"" + std::to_string(j) + "\"\n";
    }
    CLangTable tables[2];
    ASSERT_TRUE(tables[0].LoadFromFile(Scratch.AddFile(L"ascending.txt", ascending.data(), ascending.size())));
    ASSERT_TRUE(tables[1].LoadFromFile(Scratch.AddFile(L"scrambled.txt", scrambled.data(), scrambled.size())));
    // Decimal digits read as hexadecimal: every second id from 0 up, and the ids between them absent.
    for (UINT id = 0; id < 0x2400; id++)
    {
        CWideString texts[2] = {L"none", L"none"};
        for (int t = 0; t < 2; t++)
            tables[t].FindText(id, texts[t]);
        ASSERT_EQ(texts[0], texts[1]) << "id " << id;
    }
    CWideString text;
    ASSERT_TRUE(tables[1].FindText(0x2398, text));
    EXPECT_EQ(CWideString(L"1199"), text);
}

// A repeatable mutation of a file that uses every feature of the format.
std::string MutatedFile(uint32_t& state)
{
    const auto below = [&state](size_t limit)
    {
        state = state * 1664525u + 1013904223u;
        return limit == 0 ? 0 : (state >> 8) % limit;
    };
    static const std::string base = "\xEF\xBB\xBF"
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
        Scratch.AddFile(L"mutated.txt", bytes.data(), bytes.size());
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
