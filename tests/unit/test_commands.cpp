// Path helpers, executable globals, number texts and the settings wrappers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

#include "TestSupport.h"
#include "startup/Globals.h"
#include "util/Commands.h"

using testsupport::TempDir;

namespace {

TEST(PathRoutines, Table) {
    const struct {
        std::string (*fn)(const std::string&);
        std::string in, out;
    } cases[] = {
        {GetFilePath, "/music/a.wav", "/music/"},
        {GetFilePath, "/music/", "/"},  // a folder argument opens its parent
        {GetFilePath, "/music", "/"},
        {GetFilePath, "/", "/"},
        {GetFilePath, "a.wav", "a.wav/"},  // nothing to cut: the whole text is the folder
        {GetFilePath, "//server/share/a.wav", "//server/share/"},
        {GetFilePath, "", "/"},
        {GetFilePath, "/my music/a.wav /x/c.wav", "/my music/a.wav /x/"},  // one path, last "/"
        {GetFileName, "/music/a.wav", "a.wav"},
        {GetFileName, "/music/", "music"},
        {GetFileName, "/", ""},  // the root has no name of its own
        {GetFileName, "a.wav", "a.wav"},
        {GetFileName, "", ""},
        {GetFileName, "/m\xff/k\xc3\xa9.wav", "k\xc3\xa9.wav"},
        // A path that does not exist is recased word by word, ASCII letters only.
        {GetLongName, "/no/my music/drum-loop_(slow).WAV", "/No/My Music/Drum-Loop_(Slow).wav"},
        {GetLongName, "/NO/ABC.WAV", "/No/Abc.wav"},
        {GetLongName, "/no/x1A.b:C", "/No/X1a.b:c"},  // after a digit, "." or ":": lower case
        {GetLongName, "\"/no such/a.wav\"", "\"/No Such/A.wav\""},
        {GetLongName,
         "/no/\xc3\x89T\xc3\xa9/\xff"
         "AB",
         "/No/\xc3\x89t\xc3\xa9/\xff"
         "ab"},
        {GetLongName, "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.fn(c.in), c.out) << c.in;
    using Pair = std::pair<std::string, std::string>;
    for (auto [var, out] : {Pair{"", "/"}, Pair{"music", "music/"}, Pair{"/music/", "/music/"}}) {
        EXPECT_EQ(AddBackslash(var), out);
        EXPECT_EQ(var, out);  // the caller's variable changes too
    }
}

TEST(PathRoutines, ExistingPathsAndFolders) {
    TempDir dir;
    std::string sub = dir.mkdir("My MUSIC");
    std::string file = dir.write("My MUSIC/kick ONE.WAV", "x");
    std::string link = dir.file("DANGLING link");
    ASSERT_EQ(symlink("/no/such/target", link.c_str()), 0);
    for (const std::string& p : {sub, sub + "/", file, link}) EXPECT_EQ(GetLongName(p), p);

    std::string folderLink = dir.file("folder link");
    ASSERT_EQ(symlink(sub.c_str(), folderLink.c_str()), 0);
    const struct {
        std::string path;
        int16_t expected;
    } cases[] = {
        {sub, -1},
        {sub + "/", -1},
        {folderLink, -1},
        {"", -1},  // root
        {file, 0},
        {link, 0},
        {dir.file("missing"), 0},
        {sub + std::string("\0x", 2), 0},  // a NUL byte never names a file
    };
    for (const auto& c : cases) EXPECT_EQ(DirExists(c.path), c.expected) << c.path;
}

// Other tests may rely on the globals, so those changed here are put back.
struct KeepGlobals {
    std::string appDir = AppDir, exeName = ExeName;
    ~KeepGlobals() { AppDir = appDir, ExeName = exeName; }
};

TEST(InitGlobals, FolderAndNameOfTheExecutable) {
    KeepGlobals keep;
    const struct {
        std::string exe, appDir, exeName;
    } cases[] = {
        {"/opt/wav/Player.exe", "/opt/wav/", "Player"},
        {"/opt/wav.d/player.v2.bin", "/opt/wav.d/", "player.v2"},  // only the last extension
        {"/wavplayer", "/", "wavplayer"},
        {"/opt/.wavplayer", "/opt/", ".wavplayer"},  // a hidden name is no extension
    };
    for (const auto& c : cases) {
        InitGlobalsFrom(c.exe);
        EXPECT_EQ(AppDir, c.appDir) << c.exe;
        EXPECT_EQ(ExeName, c.exeName) << c.exe;
    }
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    InitGlobals();
    EXPECT_EQ(AppDir, exe.parent_path().string() + "/");
    EXPECT_EQ(ExeName, exe.stem().string());
}

TEST(NumberTexts, ReadNumber) {
    const struct {
        std::string text;
        double value;
    } cases[] = {
        {"4590", 4590}, {"5000xyz", 5000}, {"abc", 0},    {"", 0},       {" -1", -1},   {"\t+7", 7},
        {"1e3", 1000},  {"1e", 1},         {"1E+2", 100}, {"2e-1", 0.2}, {".25", 0.25}, {"5.", 5},
        {"-.5", -0.5},  {"1.5.5", 1.5},    {"- 3", 0},    {"1,5", 1},    {"1e-400", 0}, {"0x10", 0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(ReadNumber(c.text), c.value) << c.text;
    EXPECT_EQ(ReadNumber("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadNumber("-" + std::string(400, '9')), -std::numeric_limits<double>::infinity());
}

TEST(NumberTexts, SingleTextReadsBack) {
    const struct {
        float value;
        std::string text;
    } cases[] = {
        {4590, "4590"},       {-1, "-1"},           {-0.0f, "0"},
        {0.5f, "0.5"},        {1234567, "1234567"}, {12345678, "1.234568E+07"},
        {std::nanf(""), "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(SingleText(c.value), c.text) << c.value;

    std::mt19937 rng(7);
    std::uniform_real_distribution<float> wide(-1e9f, 1e9f);
    std::uniform_int_distribution<int> twips(-50000, 50000);
    for (int i = 0; i < 1000; ++i) {
        float whole = static_cast<float>(twips(rng)), any = wide(rng);
        EXPECT_EQ(static_cast<float>(ReadNumber(SingleText(whole))), whole);
        // Within half a unit of the seventh digit.
        EXPECT_NEAR(ReadNumber(SingleText(any)), any, std::fabs(any) * 6e-7f);
    }
}

TEST(NumberTexts, RoundToInt16) {
    const struct {
        double value;
        std::optional<int16_t> result;
    } cases[] = {
        {0.5, 0},           {1.4, 1},      {1.5, 2},
        {2.5, 2},           {-2.5, -2},    {-1.5, -2},
        {32767.4, 32767},   {32767.5, {}}, {-32768.5, -32768},
        {-32768.6, {}},     {70000, {}},   {std::numeric_limits<double>::infinity(), {}},
        {std::nan(""), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(RoundToInt16(c.value), c.result) << c.value;
}

TEST(ReadWriteSetting, FallsBackAndRoundTrips) {
    TempDir dir;
    std::string ini = dir.file("wavplayer.ini");
    const std::string section = "Brimvale WAV-Player/Looper";
    EXPECT_EQ(ReadSetting(section, "LastDir", ini, "/fallback/"), "/fallback/");
    WriteSetting(section, "LastDir", "/music/", ini);
    WriteSetting(section, "Top", "", ini);
    EXPECT_EQ(ReadSetting("BRIMVALE wav-player/looper", "LASTDIR", ini, "/x/"), "/music/");
    EXPECT_EQ(ReadSetting(section, "Top", ini, "-1"), "-1");
    std::string longDir = "/" + std::string(5000, 'd') + "/";  // never cut to a fixed length
    WriteSetting(section, "LastDir", longDir, ini);
    EXPECT_EQ(ReadSetting(section, "LastDir", ini, ""), longDir);
}

}  // namespace
