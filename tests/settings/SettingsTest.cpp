#include "TestSupport.h"

#include "settings/Settings.h"

#include <sstream>
#include <tuple>

namespace
{
const HKEY kUser = HKEY_CURRENT_USER;
const std::wstring kExtraction = kSettingsRoot + L"\\Extraction";
const std::wstring kCompression = kSettingsRoot + L"\\Compression";
const std::wstring kFormats = kCompression + L"\\Options";
const std::wstring kOptions = kSettingsRoot + L"\\Options";

// One line per record for exact comparisons: numbers in decimal (NotSet is -1), texts in quotes,
// lists in brackets, format records in braces in the order the registry lists their keys.
std::wostream& operator<<(std::wostream& text, const COwningVector<CWideString>& list)
{
    text << L'[';
    for (int i = 0; i < list.Count(); i++)
        text << (i ? L", " : L"") << list[i].Ptr();
    return text << L']';
}

std::wostream& operator<<(std::wostream& text, const CExtractSettings& s)
{
    return text << s.ExtractMode << L' ' << s.OverwriteMode << L' ' << s.ShowPassword << L' ' << s.PathHistory;
}

std::wostream& operator<<(std::wostream& text, const CCompressSettings& s)
{
    text << s.Level << L" '" << s.Archiver.Ptr() << L"' " << s.ShowPassword << L' ' << s.EncryptHeaders << L' '
         << s.ArcHistory;
    for (int i = 0; i < s.FormatOptions.Count(); i++)
    {
        const CFormatOptions& f = s.FormatOptions[i];
        text << L" {" << f.FormatName.Ptr() << L" '" << f.Options.Ptr() << L"' '" << f.Method.Ptr() << L"' '"
             << f.EncryptionMethod.Ptr() << L"'";
        for (const DWORD number : {f.Level, f.Dictionary, f.Order, f.BlockSize, f.NumThreads})
            text << L' ' << static_cast<int>(number);
        text << L'}';
    }
    return text;
}

std::wostream& operator<<(std::wostream& text, const CWorkFolderSettings& s)
{
    return text << s.WorkDirType << L" '" << s.WorkDirPath.Ptr() << L"' " << s.TempRemovableOnly;
}

template <typename TSettings> std::wstring Describe(const TSettings& settings)
{
    std::wostringstream text;
    text << settings;
    return text.str();
}

template <typename TSettings> std::wstring Read(void (*read)(TSettings&), TSettings settings = TSettings())
{
    read(settings);
    return Describe(settings);
}

// Every field away from its default: twelve archive names, two format records in the order the
// registry lists them; texts within the ANSI code page.
struct CAllSettings
{
    CAllSettings()
    {
        Extract.PathHistory.Add(CWideString(L"C:\\Out"));
        Extract.PathHistory.Add(CWideString(L"D:\\\u00C9t\u00E9"));
        for (int i = 0; i < 12; i++)
            Compress.ArcHistory.Add(CWideString((L"a" + std::to_wstring(i) + L".vntx").c_str()));
        Compress.FormatOptions.Add({"tar", L"", L"GNU", L""});
        Compress.FormatOptions.Add({"VNTX", L"x=9", L"LZMA2", L"AES256", 7, 1 << 24, 32, 0, 2});
    }
    CExtractSettings Extract{2, 4, {}, true};
    CCompressSettings Compress{{}, 100, L"zip", {}, true, true};
    CWorkFolderSettings Work{WorkDirSpecified, L"D:\\Work", false};
};

using SettingsTest = CSettingsRegistryTest;
using V = CValues::value_type;

// The archiver reads these names too. Format records replace the stored tree; an empty or nested
// name is not stored. The archiver's name has always been stored in the ANSI set, paths wide.
// Nothing stored reads as the defaults, without creating a key.
TEST_F(SettingsTest, WhatIsReadIsWhatWasSavedUnderTheStoredNamesOrTheDefault)
{
    CAllSettings all;
    EXPECT_EQ(Describe(CExtractSettings()) + Describe(CCompressSettings()) + Describe(CWorkFolderSettings()),
              Read(ReadExtractSettings) + Read(ReadCompressSettings) + Read(ReadWorkFolderSettings, all.Work));
    EXPECT_FALSE(RegistryKeyExists(kUser, kSettingsRoot)) << "reading created a key";
    SetRaw(kUser, kFormats + L"\\old\\nested", L"Level", Dword(1));
    CCompressSettings withUnreadable = all.Compress;
    withUnreadable.Archiver = L"\u4E2Dzip";
    all.Compress.Archiver = L"_zip";
    all.Work.WorkDirPath = L"D:\\\u4E2D";
    for (const char* name : {"", "a\\b"})
        withUnreadable.FormatOptions.Add({name, L"", L"LZMA2", L"", 7});
    SaveExtractSettings(all.Extract);
    SaveCompressSettings(withUnreadable);
    SaveWorkFolderSettings(all.Work);
    SaveContextMenuFlags(0xFFFFFFFF); // unassigned bits are kept
    SaveCascadedMenu(false);
    EXPECT_EQ((CValues{V(L"ExtarctMode", Dword(2)), V(L"OverwriteMode", Dword(4)), V(L"ShowPassword", Dword(1))}),
              RawValues(kUser, kExtraction));
    EXPECT_EQ((CValues{V(L"0", Text(L"C:\\Out")), V(L"1", Text(L"D:\\\u00C9t\u00E9"))}),
              RawValues(kUser, kExtraction + L"\\PathHistory"));
    EXPECT_EQ((CValues{V(L"Level", Dword(100)), V(L"Archiver", Text(L"_zip")), V(L"ShowPassword", Dword(1)),
                       V(L"EncryptHeaders", Dword(1))}),
              RawValues(kUser, kCompression));
    EXPECT_EQ(Text(L"a11.vntx"), RawValue(kUser, kCompression + L"\\ArcHistory", L"11"));
    EXPECT_EQ((std::vector<std::wstring>{L"VNTX", L"tar"}), RawSubKeys(kUser, kFormats));
    EXPECT_EQ(CValues{}, RawValues(kUser, kFormats));
    EXPECT_EQ((CValues{V(L"Options", Text(L"x=9")), V(L"Method", Text(L"LZMA2")),
                       V(L"EncryptionMethod", Text(L"AES256")), V(L"Level", Dword(7)), V(L"Dictionary", Dword(1 << 24)),
                       V(L"Order", Dword(32)), V(L"BlockSize", Dword(0)), V(L"NumThreads", Dword(2))}),
              RawValues(kUser, kFormats + L"\\VNTX"));
    EXPECT_EQ((CValues{V(L"Method", Text(L"GNU"))}), RawValues(kUser, kFormats + L"\\tar"));
    EXPECT_EQ(
        (CValues{V(L"WorkDirType", Dword(2)), V(L"WorkDirPath", Text(L"D:\\\u4E2D")), V(L"TempRemovableOnly", Dword(0)),
                 V(L"ContextMenu", Dword(0xFFFFFFFF)), V(L"CascadedMenu", Dword(0))}),
        RawValues(kUser, kOptions));

    EXPECT_EQ(Describe(all.Extract) + Describe(all.Compress) + Describe(all.Work),
              Read(ReadExtractSettings) + Read(ReadCompressSettings, CAllSettings().Compress) +
                  Read(ReadWorkFolderSettings));
    EXPECT_FALSE(ReadCascadedMenu());
    DWORD flags = 0;
    EXPECT_TRUE(ReadContextMenuFlags(flags));
    EXPECT_EQ(0xFFFFFFFFu, flags);
}

// The menu's two settings: each stored value as it stands, the default where none is stored.
TEST_F(SettingsTest, MenuSettingsAreTheStoredValuesOrTheDefaults)
{
    const DWORD none = 0xFFFFFFFF;
    // {CascadedMenu stored, ContextMenu stored, cascaded read, flags read}
    const std::tuple<DWORD, DWORD, bool, DWORD> cases[] = {
        {none, none, true, kDefaultContextMenuFlags},
        {none, 5, true, 5},
        {0, none, false, kDefaultContextMenuFlags},
        {0, 0, false, 0},
    };
    for (const auto& [cascadedStored, flagsStored, cascadedRead, flagsRead] : cases)
    {
        DeleteRegistryTree(kUser, kSettingsRoot);
        SetRaw(kUser, kOptions, L"Unrelated", Dword(1)); // the key exists either way
        if (cascadedStored != none)
            SetRaw(kUser, kOptions, L"CascadedMenu", Dword(cascadedStored));
        if (flagsStored != none)
            SetRaw(kUser, kOptions, L"ContextMenu", Dword(flagsStored));
        bool cascaded = !cascadedRead;
        DWORD flags = ~flagsRead;
        ReadMenuSettings(cascaded, flags);
        EXPECT_EQ(std::make_pair(cascadedRead, flagsRead), std::make_pair(cascaded, flags))
            << cascadedStored << " " << flagsStored;
    }
}

// Out-of-range numbers (both modes at once) keep the defaults; work folder values depend on the type.
TEST_F(SettingsTest, StoredValuesAreCheckedOnTheirWayIn)
{
    const wchar_t* cases[][2] = {{L"0", L"0 0"}, {L"2", L"2 2"},          {L"3", L"1 3"},         {L"4", L"1 4"},
                                 {L"5", L"1 0"}, {L"4294967295", L"1 0"}, {L"2147483649", L"1 0"}};
    for (const auto& c : cases)
    {
        for (const wchar_t* name : {L"ExtarctMode", L"OverwriteMode"})
            SetRaw(kUser, kExtraction, name, Dword(std::stoul(c[0])));
        EXPECT_EQ(std::wstring(c[1]) + L" 0 []", Read(ReadExtractSettings)) << c[0];
    }
    const std::tuple<CStored, CStored, CStored, const wchar_t*> workCases[] = {
        {Dword(2), Text(L"D:\\Work"), Dword(0), L"2 'D:\\Work' 0"},
        {Dword(1), Text(L"D:\\Work"), Dword(1), L"1 'D:\\Work' 1"},
        {Dword(3), Text(L"D:\\Work"), Dword(0), L"0 'D:\\Work' 0"},
        {Dword(0xFFFFFFFF), kNoValue, kNoValue, L"0 '' 1"},
        // A specified folder without a stored path falls back to the system's temporary folder.
        {Dword(2), kNoValue, Dword(0), L"0 '' 0"},
        {Dword(2), Text(L""), Dword(0), L"2 '' 0"},
        // Without a type the other two values are not read at all.
        {kNoValue, Text(L"D:\\Work"), Dword(0), L"0 '' 1"},
    };
    for (const auto& [type, path, removable, expected] : workCases)
    {
        DeleteRegistryTree(kUser, kSettingsRoot);
        SetRaw(kUser, kOptions, L"WorkDirType", type);
        SetRaw(kUser, kOptions, L"WorkDirPath", path);
        SetRaw(kUser, kOptions, L"TempRemovableOnly", removable);
        EXPECT_EQ(expected, Read(ReadWorkFolderSettings));
    }
}

TEST_F(SettingsTest, ReadersNeverSeeAHalfRewrittenListAndNothingDeadlocks)
{
    // Two versions whose lists differ in length: a reader that saw a half-rewritten sub-key would
    // get something equal to neither. Extraction and compression are two saves, each whole alone.
    CAllSettings versions[2];
    versions[1].Extract.PathHistory.RemoveLast();
    versions[1].Compress.ArcHistory.RemoveFrom(3);
    versions[1].Compress.FormatOptions.RemoveLast();
    const std::wstring whole[2][2] = {{Describe(versions[0].Extract), Describe(versions[0].Compress)},
                                      {Describe(versions[1].Extract), Describe(versions[1].Compress)}};
    SaveExtractSettings(versions[0].Extract);
    SaveCompressSettings(versions[0].Compress);
    volatile LONG tornReads = 0;
    const auto saveAndRead = [&](int thread)
    {
        for (int i = 0; i < 40; i++)
        {
            const CAllSettings& version = versions[(i + thread) & 1];
            if (thread % 2 == 0)
            {
                SaveExtractSettings(version.Extract);
                SaveCompressSettings(version.Compress);
            }
            const std::wstring extract = Read(ReadExtractSettings), compress = Read(ReadCompressSettings);
            if ((extract != whole[0][0] && extract != whole[1][0]) ||
                (compress != whole[0][1] && compress != whole[1][1]))
                InterlockedIncrement(&tornReads);
        }
    };
    ASSERT_TRUE(RunOnThreads(6, 120000, saveAndRead)) << "threads did not finish: deadlock";
    EXPECT_EQ(0, tornReads);
}

// No entry point reaches these reads and saves (the work folder's only the options page), so they
// are swept here, in both widths: the ANSI path converts every text with allocations of its own.
TEST_F(SettingsTest, ExhaustedMemoryDuringReadsAndSavesPropagatesAndReleasesTheLock)
{
    CAllSettings all;
    // The saves come first: the last, undisturbed run of each stores what the reads then read.
    const std::function<void()> operations[] = {
        [&] { SaveCompressSettings(all.Compress); }, [&] { SaveExtractSettings(all.Extract); },
        [&] { SaveWorkFolderSettings(all.Work); },   [] { Read(ReadCompressSettings); },
        [] { Read(ReadExtractSettings); },           [] { Read(ReadWorkFolderSettings); }};
    for (size_t i = 0; i < 12; i++) // wide, then ANSI
    {
        CWidePathScope widePath(i < 6);
        SCOPED_TRACE(testing::Message() << "operation " << i);
        EXPECT_GT(ForEachAllocationFailure(operations[i % 6]), 0);
    }
    EXPECT_TRUE(RunOnThreads(1, 10000, [](int) { ReadCascadedMenu(); })) << "the settings lock stayed taken";
    EXPECT_EQ(Describe(all.Compress) + Describe(all.Extract) + Describe(all.Work),
              Read(ReadCompressSettings) + Read(ReadExtractSettings) + Read(ReadWorkFolderSettings));
}
} // namespace
