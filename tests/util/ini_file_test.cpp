#include "support/file_size_limit.h"
#include "support/wav_builder.h"
#include "util/ini_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

namespace qx375::test {
namespace {

namespace fs = std::filesystem;

// A configuration file as the Windows releases left it: CRLF, a comment and
// a key before the first section, odd spacing, quotes, mixed letter case,
// duplicated keys and sections.
constexpr std::string_view kWindowsIni =
    "; QX375 settings\r\nstray=before any section\r\n\r\n"
    "[Setup]\r\nPatternMode=1\r\n  LoopMode =\t1  \r\n;Speed=999\r\nSpeed = 200\r\n"
    "no equals sign here\r\n[setup\r\nautoload_0=\"C:\\Songs\\demo.drm\"\r\n"
    "autoload_1=' spaced '\r\nautoload_2=\"unmatched'\r\nautoload_3=\"\"\r\nPattern#=\r\n"
    "Speed=300\r\n\r\n"
    "[ MAIN ] ; flags\r\nFirstUse=0\r\nUnknown=kept\r\n"
    "[SETUP]\r\nSpeed=400\r\nLateKey=late\r\n";

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class IniFileTest : public ::testing::Test {
protected:
    std::string make(std::string_view bytes) const { return dir.write_text("qx375.ini", bytes); }
    std::string path() const { return (dir.path() / "qx375.ini").string(); }

    // The file after one write and a save.
    std::string after_write(std::string_view before, std::string_view section, std::string_view key,
                            std::string_view value) const {
        make(before);
        IniFile ini(path());
        EXPECT_TRUE(ini.write(section, key, value));
        EXPECT_TRUE(ini.save());
        return read_all(path());
    }

    TempDir dir;
};

TEST_F(IniFileTest, ReadsAFileWrittenTheWindowsWay) {
    const IniFile ini(make(kWindowsIni));
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"setup", "PatternMode", "1"},
        {"SETUP", "patternmode", "1"},
        {" setup ", " loopmode", "1"},
        {"setup", "Speed", "200"},
        {"setup", "autoload_0", "C:\\Songs\\demo.drm"},
        {"setup", "autoload_1", " spaced "},
        {"setup", "autoload_2", "\"unmatched'"},
        {"setup", "autoload_3", ""},
        {"setup", "Pattern#", ""},
        {"setup", "LateKey", "late"},
        {"main", "firstuse", "0"},
        {"Main", "UNKNOWN", "kept"},
        {"setup", "autoload_4", "-"},
        {"setup", "stray", "-"},
        {"", "stray", "-"},
        {"setup", "no equals sign here", "-"},
        {"setup", ";Speed", "-"},
        {"main", "Speed", "-"},
        {"nosuch", "Speed", "-"}};
    for (const auto& [section, key, expected] : cases) {
        EXPECT_EQ(ini.read_string(section, key, "-"), expected) << section << "/" << key;
    }
}

TEST_F(IniFileTest, ReadsWholeNumbersAndOtherwiseTheDefault) {
    const std::pair<const char*, int> cases[] = {
        {"160", 160}, {"0", 0},    {"-5", -5},    {" 42\t", 42}, {"\"7\"", 7},       {"$10", 77},
        {"", 77},     {"abc", 77}, {"12abc", 77}, {"1.5", 77},   {"99999999999", 77}};
    for (const auto& [value, expected] : cases) {
        const IniFile ini(make(std::string("[setup]\nSpeed=") + value + "\n"));
        EXPECT_EQ(ini.read_int("setup", "Speed", 77), expected) << value;
    }
}

TEST_F(IniFileTest, AMissingFileReadsAsEmptyAndIsNotCreatedWithoutAWrite) {
    IniFile ini(path());
    EXPECT_EQ(ini.read_int("setup", "Speed", 160), 160);
    EXPECT_TRUE(ini.save());
    EXPECT_FALSE(fs::exists(path()));
}

TEST_F(IniFileTest, GarbageNeverBreaksTheRead) {
    std::string garbage = "[setup]\nSpeed=123\n";
    for (int i = 0; i < 70000; ++i) {
        garbage.push_back(static_cast<char>((i * 7919) % 256));
    }
    garbage += "\n[setup]\n" + std::string(100000, 'x') + "=long\n" + std::string(3, '\0') +
               "\n[main]\nfirstuse=0";
    const IniFile ini(make(garbage));
    EXPECT_EQ(ini.read_int("setup", "Speed", 0), 123);
    EXPECT_EQ(ini.read_string("main", "firstuse", ""), "0");
    EXPECT_EQ(ini.read_string("setup", std::string(100000, 'X'), ""), "long");
}

TEST_F(IniFileTest, AWriteReplacesOnlyItsLine) {
    std::string expected(kWindowsIni);
    expected.replace(expected.find("  LoopMode =\t1  "), 16, "LoopMode=0");
    EXPECT_EQ(after_write(kWindowsIni, "SETUP", "loopmode", "0"), expected)
        << "the key keeps the file's spelling";
    EXPECT_EQ(after_write(kWindowsIni, "setup", "autoload_1", " spaced "), kWindowsIni)
        << "the value it already holds";
}

class Write : public IniFileTest,
              public ::testing::WithParamInterface<
                  std::tuple<const char*, const char*, const char*, const char*>> {};

TEST_P(Write, ChangesOnlyWhatItMust) {
    const auto& [before, section, key, after] = GetParam();
    EXPECT_EQ(after_write(before, section, key, "v"), after);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Write,
    ::testing::Values(
        // a new key: after the last key of its section, before comments and blank lines
        std::make_tuple("[setup]\nA=1\n; note\n\n[main]\nB=2\n", "setup", "N",
                        "[setup]\nA=1\nN=v\n; note\n\n[main]\nB=2\n"),
        std::make_tuple("[setup]\r\nA=1\r\n\r\n[main]\r\n", "setup", "N",
                        "[setup]\r\nA=1\r\nN=v\r\n\r\n[main]\r\n"),
        std::make_tuple("[setup]\n\n[main]\n", "setup", "N", "[setup]\nN=v\n\n[main]\n"),
        std::make_tuple("[setup]\nA=1\n[main]\n[setup]\nC=3\n", "setup", "N",
                        "[setup]\nA=1\nN=v\n[main]\n[setup]\nC=3\n"),
        std::make_tuple("[setup]\nA=1", "setup", "N", "[setup]\nA=1\nN=v\n"),
        // a new section: at the end, after a blank line
        std::make_tuple("[setup]\nA=1\n", "main", "M", "[setup]\nA=1\n\n[main]\nM=v\n"),
        std::make_tuple("[setup]\r\nA=1", "main", "M", "[setup]\r\nA=1\r\n\r\n[main]\r\nM=v\r\n"),
        std::make_tuple("[setup]\nA=1\n\n", "main", "M", "[setup]\nA=1\n\n[main]\nM=v\n"),
        std::make_tuple("; comment\n", "main", "M", "; comment\n\n[main]\nM=v\n"),
        std::make_tuple("", "main", "M", "[main]\nM=v\n"),
        // a replaced line keeps its own line ending, or its lack of one
        std::make_tuple("[setup]\r\nA=1\nB=2\r\n", "setup", "A", "[setup]\r\nA=v\nB=2\r\n"),
        std::make_tuple("[setup]\nA=1", "setup", "A", "[setup]\nA=v")));

// Files no program of ours wrote: a write replaces or adds its one line,
// every other byte stays, and the value reads back.
struct HostileIni {
    const char* what;
    std::string before;
    std::string value;
    std::string after;
};

void PrintTo(const HostileIni& c, std::ostream* out) {
    *out << c.what;
}

// Bytes of every value but line breaks and "[", so that they make one line
// and no section.
std::string garbage_line(std::size_t n) {
    std::string out;
    for (std::size_t i = 0; out.size() < n; ++i) {
        const char c = static_cast<char>((i * 7919) % 256);
        if (c != '\n' && c != '\r' && c != '[') {
            out.push_back(c);
        }
    }
    return out;
}

std::string garbage(std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(static_cast<char>((i * 7919) % 256));
    }
    return out;
}

class HostileWrite : public IniFileTest, public ::testing::WithParamInterface<HostileIni> {};

TEST_P(HostileWrite, ChangesOneLineAndReadsBack) {
    const HostileIni& c = GetParam();
    EXPECT_EQ(after_write(c.before, "setup", "Speed", c.value), c.after);
    EXPECT_EQ(IniFile(path()).read_string("setup", "Speed", "-"), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileWrite,
    ::testing::Values(HostileIni{"binary garbage after the key",
                                 "[setup]\nSpeed=1\n" + garbage(70000), "170",
                                 "[setup]\nSpeed=170\n" + garbage(70000)},
                      HostileIni{"binary garbage and no section", garbage_line(3000), "170",
                                 garbage_line(3000) + "\n\n[setup]\nSpeed=170\n"},
                      HostileIni{"a key of 100 KB before it",
                                 "[setup]\n" + std::string(100000, 'x') + "=long\nSpeed=1\n", "170",
                                 "[setup]\n" + std::string(100000, 'x') + "=long\nSpeed=170\n"},
                      HostileIni{"a value of 100 KB", "[setup]\nSpeed=1\n[main]\n",
                                 std::string(100000, 'v'),
                                 "[setup]\nSpeed=" + std::string(100000, 'v') + "\n[main]\n"},
                      HostileIni{"NUL bytes", std::string("[setup]\nA=\0\0\nSpeed=1", 20), "170",
                                 std::string("[setup]\nA=\0\0\nSpeed=170", 22)},
                      HostileIni{"lines ended by CR alone are one line", "[setup]\rSpeed=1\r",
                                 "170", "[setup]\rSpeed=1\r\nSpeed=170\n"},
                      HostileIni{"a section header never closed", "[setup\nSpeed=1\n", "170",
                                 "[setup\nSpeed=1\n\n[setup]\nSpeed=170\n"}),
    [](const ::testing::TestParamInfo<HostileIni>& info) {
        std::string name;
        for (const char c : std::string_view(info.param.what)) {
            if (std::isalnum(static_cast<unsigned char>(c))) {
                name += c;
            }
        }
        return name;
    });

TEST_F(IniFileTest, AMissingFileIsCreatedAndWritesWaitForTheSave) {
    IniFile ini(path());
    EXPECT_TRUE(ini.write("setup", "Speed", "160"));
    EXPECT_TRUE(ini.write_int("setup", "LoopMode", 0));
    EXPECT_TRUE(ini.write("main", "firstuse", "1"));
    EXPECT_TRUE(ini.write("setup", "Speed", "170"));
    EXPECT_EQ(ini.read_int("setup", "Speed", 0), 170);
    EXPECT_FALSE(fs::exists(path()));
    EXPECT_TRUE(ini.save());
    EXPECT_EQ(read_all(path()), "[setup]\nSpeed=170\nLoopMode=0\n\n[main]\nfirstuse=1\n");
}

TEST_F(IniFileTest, AWindows1252FileStaysWindows1252) {
    const std::string before = "[main]\r\nsauvegarder=Sauvegarder l\x92\x9C"
                               "uvre \xE0 5 \x80 ?\r\nremplacer=Remplacer ?\r\n";
    const std::string after = after_write(before, "main", "remplacer",
                                          "\xC3\x89"
                                          "craser \xE2\x80\x99\xE6\x97\xA5\xE2\x80\x99 ?");
    EXPECT_EQ(after, "[main]\r\nsauvegarder=Sauvegarder l\x92\x9C"
                     "uvre \xE0 5 \x80 ?\r\nremplacer=\xC9"
                     "craser \x92?\x92 ?\r\n");
    EXPECT_EQ(IniFile(path()).read_string("main", "sauvegarder", ""),
              "Sauvegarder l\xE2\x80\x99\xC5\x93uvre \xC3\xA0 5 \xE2\x82\xAC ?");
}

TEST_F(IniFileTest, AUtf8FileStaysUtf8AndKeepsItsByteOrderMark) {
    const std::string after =
        after_write("\xEF\xBB\xBF[main]\ntitre=\xC3\x89t\xC3\xA9\n", "main", "autre", "a\xFF\xE9z");
    EXPECT_EQ(after, "\xEF\xBB\xBF[main]\ntitre=\xC3\x89t\xC3\xA9\nautre=a??z\n")
        << "malformed bytes must not turn the file into Windows-1252";
    EXPECT_EQ(IniFile(path()).read_string("main", "titre", ""), "\xC3\x89t\xC3\xA9");
}

TEST_F(IniFileTest, ValuesReadBackAsWritten) {
    for (const char* value : {"24 ", " 24", "\t", "\"quoted\"", "'single'", "\"", "a \"b\" c", "",
                              "x=y;z", "[not a section]", "C:\\Songs\\demo.drm"}) {
        IniFile ini(path());
        ASSERT_TRUE(ini.write("main", "Play24", value));
        ASSERT_TRUE(ini.save());
        EXPECT_EQ(IniFile(path()).read_string("main", "Play24", "-"), value);
    }
}

TEST_F(IniFileTest, NamesAndValuesThatCannotBeStoredAreRefused) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"", "k", "v"},    {" ", "k", "v"},    {"a]b", "k", "v"},    {"a\nb", "k", "v"},
        {"s", "", "v"},    {"s", "\t", "v"},   {"s", "a=b", "v"},    {"s", ";k", "v"},
        {"s", "[k]", "v"}, {"s", "k\rx", "v"}, {"s", "k", "a\nb=c"}, {"s", "k", "a\r"}};
    IniFile ini(path());
    for (const auto& [section, key, value] : cases) {
        EXPECT_FALSE(ini.write(section, key, value)) << section << "/" << key << "=" << value;
    }
    EXPECT_TRUE(ini.save());
    EXPECT_FALSE(fs::exists(path()));
}

TEST_F(IniFileTest, AFailedSaveLeavesTheFileAsItWas) {
    const std::string before = "[setup]\nSpeed=1\n" + std::string(4000, ';') + "\n";
    make(before);
    IniFile ini(path());
    ASSERT_TRUE(ini.write("setup", "Speed", "2"));
    {
        FileSizeLimit full(1000);
        EXPECT_FALSE(ini.save());
    }
    EXPECT_EQ(read_all(path()), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "no temporary file";
    EXPECT_TRUE(ini.save()) << "the write is still pending";
    EXPECT_EQ(IniFile(path()).read_int("setup", "Speed", 0), 2);

    IniFile nowhere((dir.path() / "missing folder" / "qx375.ini").string());
    ASSERT_TRUE(nowhere.write("setup", "Speed", "2"));
    EXPECT_FALSE(nowhere.save());
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNeverOverwritten) {
    std::string huge = "[setup]\nSpeed=1\n";
    huge.resize(16 * 1024 * 1024 + 1, ';');
    make(huge);
    IniFile ini(path());
    EXPECT_EQ(ini.read_int("setup", "Speed", 0), 0);
    ASSERT_TRUE(ini.write("setup", "Speed", "2"));
    EXPECT_FALSE(ini.save());
    EXPECT_EQ(fs::file_size(path()), huge.size());

    fs::create_directory(dir.path() / "folder.ini");
    IniFile folder((dir.path() / "folder.ini").string());
    ASSERT_TRUE(folder.write("setup", "Speed", "2"));
    EXPECT_FALSE(folder.save());
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder.ini"));
}

} // namespace
} // namespace qx375::test
