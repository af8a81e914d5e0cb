#include "support/wav_builder.h"
#include "util/file_size_limit.h"
#include "util/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace qx375::test {
namespace {

namespace fs = std::filesystem;

// A configuration file as the Windows releases left it: CRLF, a comment and
// a key before the first section, odd spacing, quotes, mixed letter case.
constexpr std::string_view kWindowsIni = "; QX375 settings\r\n"
                                         "stray=before any section\r\n"
                                         "\r\n"
                                         "[Setup]\r\n"
                                         "PatternMode=1\r\n"
                                         "  LoopMode =\t1  \r\n"
                                         ";Speed=999\r\n"
                                         "Speed = 200\r\n"
                                         "no equals sign here\r\n"
                                         "[setup\r\n"
                                         "autoload_0=\"C:\\Songs\\demo.drm\"\r\n"
                                         "autoload_1=' spaced '\r\n"
                                         "autoload_2=\"unmatched'\r\n"
                                         "autoload_3=\"\"\r\n"
                                         "Pattern#=\r\n"
                                         "Speed=300\r\n"
                                         "\r\n"
                                         "[ MAIN ]\r\n"
                                         "FirstUse=0\r\n"
                                         "Unknown=kept\r\n";

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class IniFileTest : public ::testing::Test {
protected:
    std::string make(std::string_view bytes) const { return dir.write_text("qx375.ini", bytes); }
    std::string path() const { return (dir.path() / "qx375.ini").string(); }
    std::size_t file_count() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.path()), {}));
    }

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

struct Lookup {
    const char* section;
    const char* key;
    const char* expected;
};

void PrintTo(const Lookup& l, std::ostream* os) {
    *os << l.section << "/" << l.key;
}

class WindowsIniRead : public IniFileTest, public ::testing::WithParamInterface<Lookup> {};

TEST_P(WindowsIniRead, FindsTheValue) {
    const IniFile ini(make(kWindowsIni));
    EXPECT_EQ(ini.read_string(GetParam().section, GetParam().key, "<default>"),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, WindowsIniRead,
    ::testing::Values(
        Lookup{"setup", "PatternMode", "1"}, Lookup{"SETUP", "patternmode", "1"},
        Lookup{"setup", "LoopMode", "1"}, Lookup{" setup ", " loopmode", "1"},
        Lookup{"setup", "Speed", "200"}, Lookup{"setup", "autoload_0", "C:\\Songs\\demo.drm"},
        Lookup{"setup", "autoload_1", " spaced "}, Lookup{"setup", "autoload_2", "\"unmatched'"},
        Lookup{"setup", "autoload_3", ""}, Lookup{"setup", "Pattern#", ""},
        Lookup{"main", "firstuse", "0"}, Lookup{"Main", "UNKNOWN", "kept"},
        Lookup{"setup", "autoload_4", "<default>"}, Lookup{"setup", "stray", "<default>"},
        Lookup{"", "stray", "<default>"}, Lookup{"setup", "no equals sign here", "<default>"},
        Lookup{"setup", ";Speed", "<default>"}, Lookup{"main", "Speed", "<default>"},
        Lookup{"nosuch", "Speed", "<default>"}));

struct Number {
    const char* value;
    int expected;
};

void PrintTo(const Number& n, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(n.value));
}

class IniNumber : public IniFileTest, public ::testing::WithParamInterface<Number> {};

TEST_P(IniNumber, ReadsWholeNumbersAndOtherwiseTheDefault) {
    const IniFile ini(make(std::string("[setup]\nSpeed=") + GetParam().value + "\n"));
    EXPECT_EQ(ini.read_int("setup", "Speed", 77), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, IniNumber,
                         ::testing::Values(Number{"160", 160}, Number{"0", 0}, Number{"1", 1},
                                           Number{"-5", -5}, Number{" 42\t", 42},
                                           Number{"\"7\"", 7}, Number{"$10", 16},
                                           Number{"2147483647", 2147483647}, Number{"", 77},
                                           Number{"abc", 77}, Number{"12abc", 77},
                                           Number{"1.5", 77}, Number{"99999999999", 77}));

TEST_F(IniFileTest, AbsentKeysGiveTheirDefaults) {
    const IniFile ini(make("[setup]\nSpeed=1\n"));
    EXPECT_EQ(ini.read_int("setup", "LoopMode", 0), 0);
    EXPECT_EQ(ini.read_int("main", "firstuse", 1), 1);
    EXPECT_EQ(ini.read_string("setup", "autoload_0", ""), "");
}

TEST_F(IniFileTest, TheFirstOfADuplicatedKeyWinsAndARepeatedSectionIsOne) {
    const IniFile ini(make("[main]\na=1\n[setup]\nSpeed=1\nspeed=2\n[main]\na=3\nb=4\n"
                           "[SETUP]\nSpeed=5\nLoopMode=6\n"));
    EXPECT_EQ(ini.read_string("setup", "Speed", ""), "1");
    EXPECT_EQ(ini.read_string("setup", "LoopMode", ""), "6");
    EXPECT_EQ(ini.read_string("main", "a", ""), "1");
    EXPECT_EQ(ini.read_string("main", "b", ""), "4");
}

TEST_F(IniFileTest, AMissingFileReadsAsEmptyAndIsNotCreatedWithoutAWrite) {
    IniFile ini(path());
    EXPECT_EQ(ini.read_int("setup", "Speed", 160), 160);
    EXPECT_EQ(ini.read_string("setup", "autoload_0", "x"), "x");
    EXPECT_TRUE(ini.save());
    EXPECT_FALSE(fs::exists(path()));
}

TEST_F(IniFileTest, ReadsWindows1252AndUtf8WithItsByteOrderMark) {
    const IniFile legacy(make("[main]\r\nsauvegarder=Enregistrer l\x92\x9C"
                              "uvre \xE0 5 \x80 ?\r\nFichier=&Fichier\r\n"));
    EXPECT_EQ(legacy.read_string("main", "sauvegarder", ""),
              "Enregistrer l\xE2\x80\x99\xC5\x93uvre \xC3\xA0 5 \xE2\x82\xAC ?");
    EXPECT_EQ(legacy.read_string("main", "Fichier", ""), "&Fichier");

    const IniFile modern(make("\xEF\xBB\xBF[main]\nmainmenu=\xC3\x89t\xC3\xA9\n"));
    EXPECT_EQ(modern.read_string("main", "mainmenu", ""), "\xC3\x89t\xC3\xA9");
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
    expected.replace(expected.find("Speed = 200"), 11, "Speed=120");
    EXPECT_EQ(after_write(kWindowsIni, "SETUP", "speed", "120"), expected);

    expected = kWindowsIni;
    expected.replace(expected.find("  LoopMode =\t1  "), 16, "LoopMode=0");
    EXPECT_EQ(after_write(kWindowsIni, "setup", "LOOPMODE", "0"), expected)
        << "the key keeps the file's spelling";
}

TEST_F(IniFileTest, WritingTheValueAKeyHoldsChangesNothing) {
    EXPECT_EQ(after_write(kWindowsIni, "setup", "LoopMode", "1"), kWindowsIni);
    EXPECT_EQ(after_write(kWindowsIni, "setup", "autoload_1", " spaced "), kWindowsIni);
}

struct Placement {
    const char* before;
    const char* section;
    const char* after;
};

void PrintTo(const Placement& p, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(p.before)) << " + " << p.section;
}

class NewKey : public IniFileTest, public ::testing::WithParamInterface<Placement> {};

TEST_P(NewKey, GoesWhereItBelongs) {
    EXPECT_EQ(after_write(GetParam().before, GetParam().section, "New", "v"), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Files, NewKey,
    ::testing::Values(
        // after the last key of its section, before comments and blank lines
        Placement{"[setup]\nA=1\n; note\n\n[main]\nB=2\n", "setup",
                  "[setup]\nA=1\nNew=v\n; note\n\n[main]\nB=2\n"},
        Placement{"[setup]\r\nA=1\r\n\r\n[main]\r\nB=2\r\n", "Setup",
                  "[setup]\r\nA=1\r\nNew=v\r\n\r\n[main]\r\nB=2\r\n"},
        // a section without keys: right after its header
        Placement{"[setup]\n\n[main]\nB=2\n", "setup", "[setup]\nNew=v\n\n[main]\nB=2\n"},
        // a section given twice: in its first block
        Placement{"[setup]\nA=1\n[main]\n[setup]\nC=3\n", "setup",
                  "[setup]\nA=1\nNew=v\n[main]\n[setup]\nC=3\n"},
        // a last line without its line ending gets one
        Placement{"[setup]\nA=1", "setup", "[setup]\nA=1\nNew=v\n"},
        // a new section goes at the end, after a blank line
        Placement{"[setup]\nA=1\n", "main", "[setup]\nA=1\n\n[main]\nNew=v\n"},
        Placement{"[setup]\r\nA=1", "main", "[setup]\r\nA=1\r\n\r\n[main]\r\nNew=v\r\n"},
        Placement{"[setup]\nA=1\n\n", "main", "[setup]\nA=1\n\n[main]\nNew=v\n"},
        Placement{"; only a comment\n", "main", "; only a comment\n\n[main]\nNew=v\n"},
        Placement{"", "main", "[main]\nNew=v\n"}));

TEST_F(IniFileTest, AReplacedLineKeepsItsOwnLineEnding) {
    EXPECT_EQ(after_write("[setup]\r\nA=1\nB=2\r\n", "setup", "A", "9"), "[setup]\r\nA=9\nB=2\r\n");
    EXPECT_EQ(after_write("[setup]\nA=1", "setup", "A", "9"), "[setup]\nA=9");
}

TEST_F(IniFileTest, AMissingFileIsCreatedInUtf8WithLf) {
    IniFile ini(path());
    EXPECT_TRUE(ini.write("setup", "Speed", "160"));
    EXPECT_TRUE(ini.write_int("setup", "LoopMode", 0));
    EXPECT_TRUE(ini.write("main", "firstuse", "1"));
    EXPECT_TRUE(ini.write("setup", "autoload_0", "/home/r\xC3\xA9mi/d\xC3\xA9mo.drm"));
    EXPECT_TRUE(ini.save());
    EXPECT_EQ(read_all(path()), "[setup]\nSpeed=160\nLoopMode=0\nautoload_0=/home/r\xC3\xA9mi/"
                                "d\xC3\xA9mo.drm\n\n[main]\nfirstuse=1\n");
}

TEST_F(IniFileTest, WritesStayInMemoryUntilSaved) {
    make("[setup]\nSpeed=1\n");
    IniFile ini(path());
    ASSERT_TRUE(ini.write("setup", "Speed", "2"));
    EXPECT_EQ(ini.read_int("setup", "Speed", 0), 2);
    EXPECT_EQ(IniFile(path()).read_int("setup", "Speed", 0), 1);
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(IniFile(path()).read_int("setup", "Speed", 0), 2);
}

TEST_F(IniFileTest, AWindows1252FileStaysWindows1252) {
    const std::string before = "[main]\r\nsauvegarder=Sauvegarder l\x92\x9C"
                               "uvre ?\r\nremplacer=Remplacer ?\r\n";
    const std::string after = after_write(before, "main", "remplacer",
                                          "\xC3\x89"
                                          "craser le fichier \xE2\x80\x99"
                                          "\xE6\x97\xA5\xE2\x80\x99 (5 \xE2\x82\xAC) ?");
    EXPECT_EQ(after, "[main]\r\nsauvegarder=Sauvegarder l\x92\x9C"
                     "uvre ?\r\nremplacer=\xC9"
                     "craser le fichier \x92?\x92 (5 \x80) ?\r\n");
    const IniFile reread(path());
    EXPECT_EQ(reread.read_string("main", "sauvegarder", ""),
              "Sauvegarder l\xE2\x80\x99\xC5\x93uvre ?");
}

TEST_F(IniFileTest, AUtf8FileStaysUtf8) {
    const std::string after =
        after_write("\xEF\xBB\xBF[main]\ntitre=\xC3\x89t\xC3\xA9\n", "main", "autre", "a\xFF\xE9z");
    EXPECT_EQ(after, "\xEF\xBB\xBF[main]\ntitre=\xC3\x89t\xC3\xA9\nautre=a??z\n")
        << "malformed bytes must not turn the file into Windows-1252";
    EXPECT_EQ(IniFile(path()).read_string("main", "titre", ""), "\xC3\x89t\xC3\xA9");
}

class ValueRoundTrip : public IniFileTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ValueRoundTrip, ReadsBackAsWritten) {
    IniFile ini(path());
    ASSERT_TRUE(ini.write("main", "Play24", GetParam()));
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(IniFile(path()).read_string("main", "Play24", "<default>"), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Values, ValueRoundTrip,
                         ::testing::Values("24 ", " 24", "\t", "\"quoted\"", "'single'", "\"",
                                           "a \"b\" c", "", "x=y;z", "[not a section]",
                                           "C:\\Songs\\demo.drm", "&Fichier"));

struct Refused {
    const char* section;
    const char* key;
    const char* value;
};

void PrintTo(const Refused& r, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(r.section)) << "/"
        << ::testing::PrintToString(std::string(r.key)) << "="
        << ::testing::PrintToString(std::string(r.value));
}

class RefusedWrite : public IniFileTest, public ::testing::WithParamInterface<Refused> {};

TEST_P(RefusedWrite, ChangesNothing) {
    IniFile ini(path());
    EXPECT_FALSE(ini.write(GetParam().section, GetParam().key, GetParam().value));
    EXPECT_TRUE(ini.save());
    EXPECT_FALSE(fs::exists(path()));
}

INSTANTIATE_TEST_SUITE_P(Names, RefusedWrite,
                         ::testing::Values(Refused{"", "k", "v"}, Refused{" ", "k", "v"},
                                           Refused{"a]b", "k", "v"}, Refused{"a\nb", "k", "v"},
                                           Refused{"s", "", "v"}, Refused{"s", "\t", "v"},
                                           Refused{"s", "a=b", "v"}, Refused{"s", ";k", "v"},
                                           Refused{"s", "[k]", "v"}, Refused{"s", "k\rx", "v"},
                                           Refused{"s", "k", "a\nb=c"}, Refused{"s", "k", "a\r"}));

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
    EXPECT_EQ(file_count(), 1u) << "no temporary file left";
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
