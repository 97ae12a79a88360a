// Path helpers, executable globals, number texts and the settings wrappers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <array>
#include <limits>

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
        {GetFilePath, "/", "/"},
        {GetFilePath, "a.wav", "a.wav/"},  // nothing to cut: the whole text is the folder
        {GetFilePath, "//server/share/a.wav", "//server/share/"},
        {GetFilePath, "", "/"},
        {GetFilePath, "/my music/a.wav /x/c.wav", "/my music/a.wav /x/"},  // one path, last "/"
        {GetFileName, "/music/a.wav", "a.wav"},
        {GetFileName, "/music/", "music"},
        {GetFileName, "/", ""},  // the root has no name of its own
        {GetFileName, "/m\xff/k\xc3\xa9.wav", "k\xc3\xa9.wav"},
        // A path that does not exist is recased word by word, ASCII letters only.
        {GetLongName, "/no/my music/drum-loop_(slow).WAV", "/No/My Music/Drum-Loop_(Slow).wav"},
        {GetLongName, "/no/x1A.b:C", "/No/X1a.b:c"},  // after a digit, "." or ":": lower case
        {GetLongName, "\"/no such/a.wav\"", "\"/No Such/A.wav\""},
        {GetLongName, "/no/\303\211T/\377AB", "/No/\303\211t/\377ab"},
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
    for (const std::string& p : {sub, sub + "/", folderLink, std::string()})  // "" is the root
        EXPECT_EQ(DirExists(p), -1) << p;
    // A NUL byte never names a file.
    for (const std::string& p : {file, link, dir.file("missing"), sub + std::string("\0x", 2)})
        EXPECT_EQ(DirExists(p), 0) << p;
}

TEST(InitGlobals, FolderAndNameOfTheExecutable) {
    using Three = std::array<std::string, 3>;  // executable, AppDir, ExeName
    for (const Three& c : {Three{"/opt/wav.d/player.v2.bin", "/opt/wav.d/", "player.v2"},
                           Three{"/wavplayer", "/", "wavplayer"},
                           Three{"/opt/.wavplayer", "/opt/", ".wavplayer"}}) {
        InitGlobalsFrom(c[0]);
        EXPECT_EQ(AppDir + "|" + ExeName, c[1] + "|" + c[2]);
    }
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    InitGlobals();
    EXPECT_EQ(AppDir + ExeName, exe.parent_path().string() + "/" + exe.stem().string());
    AppDir = ExeName = "";
}

TEST(NumberTexts, ReadNumber) {
    const std::pair<std::string, double> cases[] = {
        {"4590", 4590}, {"5000xyz", 5000}, {"abc", 0},    {"", 0},       {" -1", -1},   {"\t+7", 7},
        {"1e3", 1000},  {"1e", 1},         {"1E+2", 100}, {"2e-1", 0.2}, {".25", 0.25}, {"5.", 5},
        {"-.5", -0.5},  {"1.5.5", 1.5},    {"- 3", 0},    {"1,5", 1},    {"1e-400", 0}, {"0x10", 0},
    };
    for (const auto& [text, value] : cases) EXPECT_DOUBLE_EQ(ReadNumber(text), value) << text;
    EXPECT_EQ(ReadNumber("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadNumber("-" + std::string(400, '9')), -std::numeric_limits<double>::infinity());
}

TEST(NumberTexts, SingleTextReadsBack) {
    // clang-format off
    const std::pair<float, std::string> cases[] = {
        {4590, "4590"},       {-1, "-1"},         {-0.0f, "0"},                   {0.5f, "0.5"},
        {1234567, "1234567"}, {-49995, "-49995"}, {1.2345678e7f, "1.234568E+07"}, {NAN, "0"}};
    // clang-format on
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(SingleText(value), text) << value;
        if (!std::isnan(value)) {
            EXPECT_FLOAT_EQ(ReadNumber(SingleText(value)), value);  // reads back
        }
    }
}

TEST(NumberTexts, RoundToInt16) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, std::optional<int16_t>> cases[] = {
        {0.5, 0},       {1.4, 1},         {1.5, 2},      {2.5, 2},
        {-2.5, -2},     {32767.4, 32767}, {32767.5, {}}, {-32768.5, -32768},
        {-32768.6, {}}, {70000, {}},      {inf, {}},     {NAN, {}},
    };
    for (const auto& [value, result] : cases) EXPECT_EQ(RoundToInt16(value), result) << value;
}

TEST(ReadWriteSetting, FallsBackAndRoundTrips) {
    TempDir dir;
    std::string ini = dir.file("wavplayer.ini");
    EXPECT_EQ(ReadSetting("App", "LastDir", ini, "/fallback/"), "/fallback/");
    WriteSettings("App", {{"LastDir", "/music/"}, {"Top", ""}}, ini);
    EXPECT_EQ(ReadSetting("APP", "LASTDIR", ini, "/x/"), "/music/");
    EXPECT_EQ(ReadSetting("App", "Top", ini, "-1"), "-1");
}

}  // namespace
