// TSevenZip against 7-Zip's own command-line program: what the writer builds, the CLI must
// test, list and extract.

#include "archive/SevenZip.h"
#include "archive/SevenZipPeer.h"
#include "support/TempRoot.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using zvtest::runPeer;
using zvtest::shellQuote;
using zvtest::sltValues;

namespace {

// Bytes that compress a little, like frames of a recording: runs with noise between them.
std::string recordingBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        bytes[i] = (x >> 28) < 6 ? static_cast<char>(x >> 20) : static_cast<char>(i / 64);
    }
    return bytes;
}

class SevenZip : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    std::string driveC(const std::string &relative) { return root.file("drive_c/" + relative); }

    // A file under C:\ with a known mtime (2024-05-01 12:34:56.1234567 UTC) and mode.
    std::string makeFile(const std::string &relative, const std::string &bytes,
                         mode_t mode = 0644) {
        const std::string file = driveC(relative);
        zvtest::writeFile(file, bytes);
        ::chmod(file.c_str(), mode);
        const timespec times[2] = {{1714566896, 123456700}, {1714566896, 123456700}};
        ::utimensat(AT_FDCWD, file.c_str(), times, 0);
        return file;
    }

    static std::string listing(const std::string &archive, const std::string &options = "") {
        return runPeer("7z l -slt " + options + " " + shellQuote(archive) + " 2>&1").output;
    }
    static bool peerTests(const std::string &archive, const std::string &options = "") {
        const auto result = runPeer("7z t " + options + " " + shellQuote(archive) + " 2>&1");
        return result.status == 0 && result.output.find("Everything is Ok") != std::string::npos;
    }
    static std::string extracted(const std::string &archive, const std::string &item) {
        return runPeer("7z x -so " + shellQuote(archive) + " " + shellQuote(item) + " 2>/dev/null")
            .output;
    }
    // The listing's values for the items, the archive's own "Path" line left out.
    static std::string itemValues(const std::string &list, const std::string &key) {
        const size_t items = list.find("\n----------\n");
        return items == std::string::npos ? std::string() : sltValues(list.substr(items), key);
    }

    // The same, sorted: 7-Zip orders items its own way (by extension among others).
    static std::string sortedValues(const std::string &list, const std::string &key) {
        std::string values = itemValues(list, key), sorted;
        std::vector<std::string> parts;
        for (size_t start = 0, bar;; start = bar + 1) {
            bar = values.find('|', start);
            parts.push_back(values.substr(start, bar - start));
            if (bar == std::string::npos)
                break;
        }
        std::sort(parts.begin(), parts.end());
        for (const std::string &part : parts)
            sorted += (sorted.empty() ? "" : "|") + part;
        return sorted;
    }

    zvtest::TempRoot root;
};

TEST_F(SevenZip, ModuleCallBuildsAnArchiveThatSevenZipReadsBack) {
    const std::string data = recordingBytes(300000, 1);
    const std::string source = makeFile("Exp/a.zvf", data, 0640);

    TSevenZip archive;
    archive.SZFileName = L"C:\\Exp\\a.zvf.7z";
    archive.LZMACompressStrength = TCompressStrength::NORMAL;
    archive.SetVolumeSize(0);
    archive.Files.Add(L"C:\\Exp\\a.zvf");
    ASSERT_EQ(archive.AddFiles(), 0);

    EXPECT_EQ(archive.VolumeNames, std::vector<std::wstring>{L"C:\\Exp\\a.zvf.7z"});
    const std::string built = driveC("Exp/a.zvf.7z");
    EXPECT_TRUE(peerTests(built));
    const std::string list = listing(built);
    EXPECT_EQ(itemValues(list, "Path"), "Exp/a.zvf");
    EXPECT_EQ(itemValues(list, "Size"), "300000");
    EXPECT_EQ(itemValues(list, "Modified"), "2024-05-01 12:34:56.1234567");
    EXPECT_EQ(itemValues(list, "Attributes"), "A -rw-r-----");
    EXPECT_EQ(itemValues(list, "Created"), "");
    EXPECT_TRUE(extracted(built, "Exp/a.zvf") == data);
    EXPECT_TRUE(zvtest::readFile(source) == data);  // the exported file stays
    EXPECT_EQ(archive.LastErrCode, 0);
    EXPECT_FALSE(archive.CancelRequested);
}

TEST_F(SevenZip, StrengthsGiveTheLevelsOfSevenZipsOwnSwitches) {
    // Same item, same properties: the library must write what `7z a -mxN -ms=off` writes.
    makeFile("Exp/a.zvf", recordingBytes(200000, 2));
    const std::pair<TCompressStrength, int> levels[] = {{TCompressStrength::SAVE, 0},
                                                        {TCompressStrength::FAST, 3},
                                                        {TCompressStrength::NORMAL, 5},
                                                        {TCompressStrength::MAXIMUM, 7},
                                                        {TCompressStrength::ULTRA, 9}};
    TSevenZip archive;
    archive.Files.Add(L"C:\\Exp\\a.zvf");
    archive.SZFileName = L"C:\\ours.7z";
    for (const auto &[strength, level] : levels) {
        SCOPED_TRACE(level);
        archive.LZMACompressStrength = strength;
        ASSERT_EQ(archive.AddFiles(), 0);
        const std::string reference = driveC("ref" + std::to_string(level) + ".7z");
        ASSERT_EQ(runPeer("cd " + shellQuote(driveC("")) + " && 7z a -mx" + std::to_string(level) +
                          " -ms=off " + shellQuote(reference) + " Exp/a.zvf >/dev/null 2>&1")
                      .status,
                  0);
        EXPECT_TRUE(zvtest::readFile(driveC("ours.7z")) == zvtest::readFile(reference));
    }
    EXPECT_NE(itemValues(listing(driveC("ours.7z")), "Method").find("LZMA2"), std::string::npos);
    EXPECT_EQ(itemValues(listing(driveC("ref0.7z")), "Method"), "Copy");
}

TEST_F(SevenZip, NoItemReportsCodeTenAndLeavesTheEmptyArchive) {
    std::vector<std::pair<int32_t, std::string>> messages;
    TSevenZip archive;
    archive.OnMessage = [&](TSevenZip *sender, int32_t code, const std::string &text,
                            const std::wstring &file) {
        EXPECT_EQ(sender, &archive);
        EXPECT_TRUE(file.empty());
        messages.emplace_back(code, text);
    };
    archive.SZFileName = L"C:\\Exp\\none.7z";
    archive.Files.Add(L"C:\\Exp\\missing.zvf");
    fs::create_directories(driveC("Exp"));

    EXPECT_EQ(archive.AddFiles(), -1);
    EXPECT_EQ(archive.LastErrCode, 10);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::make_pair(10, std::string("No files to add")));
    ASSERT_TRUE(fs::exists(driveC("Exp/none.7z")));
    EXPECT_EQ(fs::file_size(driveC("Exp/none.7z")), 0u);
    EXPECT_EQ(SevenZipErrorMessage(6), "User canceled operation");
    EXPECT_EQ(SevenZipErrorMessage(12), "");
}

TEST_F(SevenZip, MissingLibraryGivesTheTwoLineErrorAndWritesNothing) {
    const char *previous = std::getenv("ZORVIDEO_7Z_LIBRARY");
    const std::string kept = previous ? previous : "";
    ::setenv("ZORVIDEO_7Z_LIBRARY", root.file("nowhere/7z.so").c_str(), 1);
    try {
        TSevenZip archive;
        ADD_FAILURE() << "constructed without a library";
    } catch (const zv::Error &error) {
        EXPECT_STREQ(error.what(),
                     "Could not load CreateObject function from 7za.dll\r\nPerhaps 7za.dll not "
                     "found");
    }
    // A library without CreateObject counts as missing too.
    ::setenv("ZORVIDEO_7Z_LIBRARY", "libz.so.1", 1);
    EXPECT_THROW(TSevenZip(), zv::Error);
    if (previous)
        ::setenv("ZORVIDEO_7Z_LIBRARY", kept.c_str(), 1);
    else
        ::unsetenv("ZORVIDEO_7Z_LIBRARY");
    EXPECT_FALSE(fs::exists(driveC("")));
}

TEST_F(SevenZip, VolumesSplitTheArchiveAndSevenZipJoinsThem) {
    const std::string data = recordingBytes(6000, 3);
    makeFile("Exp/v.zvf", data);
    TSevenZip archive;
    archive.SZFileName = L"C:\\Exp\\v.7z";
    archive.SetVolumeSize(1000);
    archive.Files.Add(L"C:\\Exp\\v.zvf");
    ASSERT_EQ(archive.AddFiles(), 0);

    ASSERT_GE(archive.VolumeNames.size(), 3u);
    EXPECT_EQ(archive.VolumeNames[0], L"C:\\Exp\\v.7z.001");
    EXPECT_FALSE(fs::exists(driveC("Exp/v.7z")));
    for (size_t i = 0; i + 1 < archive.VolumeNames.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Exp/v.7z.%03zu", i + 1);
        EXPECT_EQ(fs::file_size(driveC(name)), 1000u) << name;
    }
    EXPECT_TRUE(peerTests(driveC("Exp/v.7z.001")));
    EXPECT_TRUE(extracted(driveC("Exp/v.7z.001"), "Exp/v.zvf") == data);
}

TEST_F(SevenZip, ItemPathsFollowRootDriveAndNetworkRules) {
    makeFile("Data/Sub/x.zvf", "x");
    makeFile("Data/y.zvf", "y");
    TSevenZip archive;
    archive.AddRootDir = L"c:\\data";
    archive.SZFileName = L"C:\\out.7z";
    archive.Files.Add(L"c:\\Data\\Sub\\x.zvf");
    archive.Files.Add(L"C:\\Data\\y.zvf");
    ASSERT_EQ(archive.AddFiles(), 0);
    EXPECT_EQ(archive.AddRootDir, L"C:\\DATA");
    EXPECT_EQ(sortedValues(listing(driveC("out.7z")), "Path"), "Sub/x.zvf|y.zvf");

    // A network path has no drive to drop (a handler may name an item so: such a file itself
    // cannot be reached here); a native absolute path drops its root like a drive path.
    zvtest::writeFile(root.file("native/m.zvf"), "net");
    zvtest::writeFile(root.file("native/n.zvf"), "native");
    TSevenZip second;
    second.SZFileName = L"C:\\net.7z";
    second.Files.Add(zv::utf8ToWide(root.file("native/m.zvf")));
    second.Files.Add(zv::utf8ToWide(root.file("native/n.zvf")));
    second.OnSetAddName = [](TSevenZip *, uint32_t index, std::wstring &name) {
        if (index == 0)
            name = L"\\\\server\\share\\x.zvf";
    };
    ASSERT_EQ(second.AddFiles(), 0);
    EXPECT_EQ(sortedValues(listing(driveC("net.7z")), "Path"),
              "//server/share/x.zvf|" + root.file("native/n.zvf").substr(1));
}

TEST_F(SevenZip, CyrillicAndNonBmpNamesRoundTrip) {
    const std::string name = "Запись экрана 😀.zvf";
    makeFile("Exp/" + name, "кадр");
    TSevenZip archive;
    archive.SZFileName = zv::utf8ToWide("C:\\Exp\\архив.7z");
    archive.Files.Add(zv::utf8ToWide("C:\\Exp\\" + name));
    ASSERT_EQ(archive.AddFiles(), 0);
    const std::string built = driveC("Exp/архив.7z");
    EXPECT_EQ(itemValues(listing(built), "Path"), "Exp/" + name);
    const std::string out = root.file("out");
    ASSERT_EQ(
        runPeer("7z x -o" + shellQuote(out) + " " + shellQuote(built) + " >/dev/null 2>&1").status,
        0);
    EXPECT_EQ(zvtest::readFile(out + "/Exp/" + name), "кадр");
}

TEST_F(SevenZip, NamesThatAreNotUtf8OrHoldAStarKeepTheirBytes) {
    // Windows-1251 "Пример", U+EF80 (which 7-Zip keeps byte by byte) and a star, which is an
    // ordinary character of a Linux name.
    const std::vector<std::string> names = {"\xCF\xF0\xE8\xEC\xE5\xF0.zvf", "u\xEE\xBE\x80.zvf",
                                            "a*b.zvf"};
    for (const std::string &name : names)
        makeFile("Exp/" + name, "data of " + name);
    // Sorted, as sortedValues gives them.
    const std::string expected =
        "Exp/a*b.zvf|Exp/u\xEE\xBE\x80.zvf|Exp/\xCF\xF0\xE8\xEC\xE5\xF0.zvf";
    makeFile("Exp/ab.zvf", "not asked for");
    TSevenZip archive;
    archive.SZFileName = L"C:\\out.7z";
    archive.NoFolderMasks = true;
    for (const std::string &name : names)
        archive.Files.Add(zv::utf8ToWide("C:\\Exp\\" + name));
    ASSERT_EQ(archive.AddFiles(), 0);
    const std::string built = driveC("out.7z");
    const std::string list = listing(built);
    EXPECT_EQ(sortedValues(list, "Path"), expected);

    // 7-Zip's own program stores these names alike: its listing of its archive is the same.
    const std::string own = driveC("own.7z");
    std::string add = "cd " + shellQuote(driveC("")) + " && 7z a -spd " + shellQuote(own);
    for (const std::string &name : names)
        add += " " + shellQuote("Exp/" + name);
    ASSERT_EQ(runPeer(add + " >/dev/null 2>&1").status, 0);
    EXPECT_EQ(sortedValues(listing(own), "Path"), expected);

    const std::string out = root.file("out");
    ASSERT_EQ(
        runPeer("7z x -o" + shellQuote(out) + " " + shellQuote(built) + " >/dev/null 2>&1").status,
        0);
    for (const std::string &name : names)
        EXPECT_EQ(zvtest::readFile(out + "/Exp/" + name), "data of " + name) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(out + "/Exp"), {}), 3);
}

TEST_F(SevenZip, RelativeNamesAreStoredAsTheAbsoluteNamesTheyStandFor) {
    zvtest::writeFile(root.file("work/x.zvf"), "x");
    zvtest::writeFile(root.file("work/sub/y.zvf"), "y");
    makeFile("Exp/z.zvf", "z");
    const std::string work = fs::canonical(root.file("work")).string();
    const fs::path previous = fs::current_path();
    fs::current_path(work + "/sub");
    TSevenZip archive;
    archive.SZFileName = L"C:\\out.7z";
    archive.Files.Add(L"../x.zvf");
    archive.Files.Add(L"./y.zvf");
    archive.Files.Add(L"C:\\Exp\\..\\Exp\\.\\z.zvf");
    const int32_t result = archive.AddFiles();
    fs::current_path(previous);
    ASSERT_EQ(result, 0);
    std::vector<std::string> expected = {"Exp/z.zvf", work.substr(1) + "/sub/y.zvf",
                                         work.substr(1) + "/x.zvf"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedValues(listing(driveC("out.7z")), "Path"),
              expected[0] + "|" + expected[1] + "|" + expected[2]);
}

TEST_F(SevenZip, CancelFromProgressStopsWithCodeSixAndLeavesNoArchive) {
    makeFile("Exp/big.zvf", recordingBytes(4 << 20, 4));
    TSevenZip archive;
    std::vector<int32_t> codes;
    std::wstring messageFile;
    int reports = 0;
    archive.OnProgress = [&](TSevenZip *sender, const std::wstring &, int64_t, int64_t) {
        if (++reports == 1)
            sender->CancelRequested = true;
    };
    archive.OnMessage = [&](TSevenZip *, int32_t code, const std::string &, const std::wstring &f) {
        codes.push_back(code);
        messageFile = f;
    };
    archive.SZFileName = L"C:\\Exp\\big.7z";
    archive.Files.Add(L"C:\\Exp\\big.zvf");
    EXPECT_NE(archive.AddFiles(), 0);
    EXPECT_EQ(archive.LastErrCode, 6);
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), 6);
    EXPECT_FALSE(archive.CancelRequested);
    EXPECT_FALSE(fs::exists(driveC("Exp/big.7z")));
    EXPECT_TRUE(archive.VolumeNames.empty());
    EXPECT_TRUE(fs::exists(driveC("Exp/big.zvf")));
}

TEST_F(SevenZip, SolidFolderMaskWithRecursionListsEveryFile) {
    makeFile("Data/a.zvf", "a");
    makeFile("Data/b.txt", "b");
    makeFile("Data/Sub/c.zvf", "c");
    makeFile("Data/Sub/Deep/d.zvf", "d");
    makeFile("Data/Sub/Deep/noext", "e");
    TSevenZip archive;
    archive.AddOptions = {AddOptsEnum::AddRecurseDirs, AddOptsEnum::AddSolid};
    archive.LZMACompressStrength = TCompressStrength::NORMAL;  // level 0 stores, never solid
    archive.SZFileName = L"C:\\all.7z";
    archive.Files.Add(L"C:\\Data\\*.*");
    ASSERT_EQ(archive.AddFiles(), 0);
    const std::string all = listing(driveC("all.7z"));
    EXPECT_EQ(sortedValues(all, "Path"),
              "Data|Data/Sub|Data/Sub/Deep|Data/Sub/Deep/d.zvf|Data/Sub/Deep/noext|"
              "Data/Sub/c.zvf|Data/a.zvf|Data/b.txt");
    EXPECT_NE(all.find("Solid = +"), std::string::npos);
    EXPECT_TRUE(peerTests(driveC("all.7z")));

    // An extension mask is exact; only file names are stored when asked.
    TSevenZip masked;
    masked.AddOptions = {AddOptsEnum::AddRecurseDirs, AddOptsEnum::AddStoreOnlyFilename};
    masked.SZFileName = L"C:\\zvf.7z";
    masked.Files.Add(L"C:\\Data\\*.zvf");
    ASSERT_EQ(masked.AddFiles(), 0);
    EXPECT_EQ(sortedValues(listing(driveC("zvf.7z")), "Path"), "Data|a.zvf|c.zvf|d.zvf");
}

TEST_F(SevenZip, EventsFollowTheBuild) {
    makeFile("Exp/1.zvf", recordingBytes(100000, 5));
    makeFile("Exp/2.zvf", recordingBytes(50000, 6));
    TSevenZip archive;
    int64_t announced = -1;
    std::vector<std::pair<std::wstring, int64_t>> added;
    int64_t lastArc = 0;
    archive.OnPreProgress = [&](TSevenZip *, int64_t total) { announced = total; };
    archive.OnAddfile = [&](TSevenZip *, const std::wstring &name, int64_t size) {
        added.emplace_back(name, size);
    };
    archive.OnProgress = [&](TSevenZip *, const std::wstring &, int64_t arc, int64_t) {
        EXPECT_GE(arc, lastArc);
        lastArc = arc;
    };
    archive.OnSetAddName = [](TSevenZip *, uint32_t index, std::wstring &path) {
        if (index == 1)
            path = L"C:\\Renamed\\two.zvf";
    };
    archive.SZFileName = L"C:\\ev.7z";
    archive.Files.Add(L"C:\\Exp\\1.zvf");
    archive.Files.Add(L"C:\\Exp\\2.zvf");
    ASSERT_EQ(archive.AddFiles(), 0);
    EXPECT_EQ(announced, 150000);
    ASSERT_FALSE(added.empty());
    EXPECT_EQ(added.front(), std::make_pair(std::wstring(L"C:\\Exp\\1.zvf"), int64_t{100000}));
    EXPECT_EQ(lastArc, 150000);
    EXPECT_EQ(sortedValues(listing(driveC("ev.7z")), "Path"), "Exp/1.zvf|Renamed/two.zvf");
}

TEST_F(SevenZip, PasswordEncryptsDataAndNames) {
    makeFile("Exp/s.zvf", "secret frame");
    TSevenZip archive;
    archive.Password = L"пароль";
    archive.AddOptions = {AddOptsEnum::AddEncryptFilename};
    archive.SZFileName = L"C:\\s.7z";
    archive.Files.Add(L"C:\\Exp\\s.zvf");
    ASSERT_EQ(archive.AddFiles(), 0);
    EXPECT_TRUE(peerTests(driveC("s.7z"), "-p" + shellQuote("пароль")));
    EXPECT_FALSE(peerTests(driveC("s.7z"), "-pwrong"));
    EXPECT_EQ(listing(driveC("s.7z"), "-pwrong").find("Exp/s.zvf"), std::string::npos);
    EXPECT_EQ(itemValues(listing(driveC("s.7z"), "-p" + shellQuote("пароль")), "Encrypted"), "+");
}

TEST_F(SevenZip, FailedBuildRemovesItsVolumesAndReportsTheOsError) {
    makeFile("Exp/f.zvf", recordingBytes(20000, 7));
    fs::create_directories(driveC("Exp/f.7z.003"));  // the third volume cannot be created
    TSevenZip archive;
    archive.SZFileName = L"C:\\Exp\\f.7z";
    archive.SetVolumeSize(1000);
    archive.Files.Add(L"C:\\Exp\\f.zvf");
    EXPECT_NE(archive.AddFiles(), 0);
    EXPECT_EQ(archive.LastOSError, EISDIR);
    EXPECT_TRUE(archive.VolumeNames.empty());
    EXPECT_FALSE(fs::exists(driveC("Exp/f.7z.001")));
    EXPECT_FALSE(fs::exists(driveC("Exp/f.7z.002")));

    // An archive file that cannot be created at all aborts the call.
    archive.SZFileName = L"C:\\NoFolder\\x.7z";
    archive.SetVolumeSize(0);
    EXPECT_THROW(archive.AddFiles(), TSevenZipAbort);
    EXPECT_FALSE(archive.CancelRequested);
}

TEST_F(SevenZip, SelfExtractingArchiveFollowsTheStub) {
    const std::string stub = "/usr/lib/p7zip/7zCon.sfx";
    if (!fs::exists(stub))
        GTEST_SKIP() << "no SFX stub installed";
    makeFile("Exp/e.zvf", "sfx item");
    TSevenZip archive;
    archive.SFXModule = zv::utf8ToWide(stub);
    archive.SetVolumeSize(100);
    archive.SetSFXCreate(true);
    ASSERT_TRUE(archive.SFXCreate());
    EXPECT_EQ(archive.SFXModuleSize, static_cast<int64_t>(fs::file_size(stub)));
    EXPECT_EQ(archive.VolumeSize(), archive.SFXModuleSize + 7);
    archive.SetVolumeSize(0);
    archive.SZFileName = L"C:\\Exp\\e.7z";
    archive.Files.Add(L"C:\\Exp\\e.zvf");
    ASSERT_EQ(archive.AddFiles(), 0);
    EXPECT_EQ(archive.SZFileName, L"C:\\Exp\\e.exe");
    EXPECT_TRUE(peerTests(driveC("Exp/e.exe")));

    std::vector<int32_t> codes;
    archive.OnMessage = [&](TSevenZip *, int32_t code, const std::string &, const std::wstring &) {
        codes.push_back(code);
    };
    EXPECT_NE(archive.AddFiles(), 0);  // the .exe exists: the stub cannot be copied
    EXPECT_EQ(codes, std::vector<int32_t>{9});
    EXPECT_EQ(archive.LastOSError, EEXIST);
    EXPECT_TRUE(peerTests(driveC("Exp/e.exe")));  // the earlier archive is untouched

    archive.SFXModule = L"C:\\none.sfx";
    archive.SetSFXCreate(true);
    EXPECT_FALSE(archive.SFXCreate());
}

}  // namespace
