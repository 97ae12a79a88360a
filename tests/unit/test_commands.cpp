// Path helpers, executable globals and number texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <limits>

#include "TestSupport.h"
#include "startup/Globals.h"
#include "util/Commands.h"

using Fn = std::string (*)(const std::string&);
using Pair = std::pair<std::string, std::string>;

TEST(PathRoutines, Table) {
    // clang-format off
    const std::tuple<Fn, std::string, std::string> cases[] = {
        {GetFilePath, "/music/a.wav", "/music/"}, {GetFilePath, "/music/", "/"}, {GetFilePath, "/", "/"},
        {GetFilePath, "a.wav", "a.wav/"}, {GetFilePath, "//server/share/a.wav", "//server/share/"}, {GetFilePath, "", "/"},
        {GetFilePath, "/my music/a.wav /x/c.wav", "/my music/a.wav /x/"},  // one path: up to its last "/"
        {GetFileName, "/music/a.wav", "a.wav"}, {GetFileName, "/music/", "music"}, {GetFileName, "/", ""},
        {GetFileName, "/m\xff/k\xc3\xa9.wav", "k\xc3\xa9.wav"},
        // A path that does not exist is recased word by word, ASCII letters only.
        {GetLongName, "/no/my music/drum-loop_(slow).WAV", "/No/My Music/Drum-Loop_(Slow).wav"},
        {GetLongName, "/no/x1A.b:C", "/No/X1a.b:c"}, {GetLongName, "\"/no such/a.wav\"", "\"/No Such/A.wav\""},
        {GetLongName, "/no/\303\211T/\377AB", "/No/\303\211t/\377ab"}};
    // clang-format on
    for (const auto& [fn, in, out] : cases) EXPECT_EQ(fn(in), out) << in;
    for (auto [var, out] : {Pair{"", "/"}, Pair{"music", "music/"}, Pair{"/music/", "/music/"}})
        EXPECT_EQ(AddBackslash(var) + "|" + var, out + "|" + out);  // the caller's variable too
}

TEST(PathRoutines, ExistingPathsAndFolders) {
    testsupport::TempDir dir;
    std::string sub = dir.mkdir("My MUSIC"), file = dir.write("My MUSIC/kick ONE.WAV", "x");
    std::string link = dir.file("DANGLING link"), folderLink = dir.file("folder link");
    ASSERT_EQ(symlink("/no/such", link.c_str()) | symlink(sub.c_str(), folderLink.c_str()), 0);
    for (const std::string& p : {sub, sub + "/", file, link}) EXPECT_EQ(GetLongName(p), p);
    for (const std::string& p : {sub, sub + "/", folderLink, std::string()})  // "" is the root
        EXPECT_EQ(DirExists(p), -1) << p;
    for (const std::string& p : {file, link, dir.file("missing"), sub + std::string("\0x", 2)})
        EXPECT_EQ(DirExists(p), 0) << p;  // a NUL byte never names a file
}

TEST(InitGlobals, FolderAndNameOfTheExecutable) {
    // clang-format off
    for (const auto& [exe, expected] : {Pair{"/opt/wav.d/player.v2.bin", "/opt/wav.d/|player.v2"},
                                        Pair{"/wavplayer", "/|wavplayer"}, Pair{"/opt/.wavplayer", "/opt/|.wavplayer"}}) {
        // clang-format on
        InitGlobalsFrom(exe);
        EXPECT_EQ(AppDir + "|" + ExeName, expected);
    }
    AppDir = ExeName = "";
}

TEST(NumberTexts, ReadSingleTextAndRound) {
    const double inf = std::numeric_limits<double>::infinity();
    // clang-format off
    const std::pair<std::string, double> read[] = {
        {"4590", 4590}, {"5000xyz", 5000}, {"abc", 0}, {"", 0}, {" -1", -1}, {"\t+7", 7}, {"1e3", 1000}, {"1e", 1},
        {"1E+2", 100}, {"2e-1", 0.2}, {".25", 0.25}, {"5.", 5}, {"-.5", -0.5}, {"1.5.5", 1.5}, {"- 3", 0}, {"1,5", 1},
        {"1e-400", 0}, {"0x10", 0}, {"1e400", inf}, {"1.5E+2", 150}, {"-" + std::string(400, '9'), -inf}};
    const std::pair<float, std::string> single[] = {{4590, "4590"}, {-1, "-1"}, {-0.0f, "0"}, {0.5f, "0.5"},
        {1234567, "1234567"}, {-49995, "-49995"}, {1.2345678e7f, "1.234568E+07"}};
    const std::pair<double, std::optional<int16_t>> round[] = {{0.5, 0}, {1.4, 1}, {1.5, 2}, {2.5, 2}, {-2.5, -2},
        {32767.4, 32767}, {32767.5, {}}, {-32768.5, -32768}, {-32768.6, {}}, {70000, {}}, {inf, {}}, {NAN, {}}};
    // clang-format on
    for (const auto& [text, value] : read) EXPECT_EQ(ReadNumber(text), value) << text;
    for (const auto& [value, text] : single) EXPECT_EQ(SingleText(value), text) << value;
    EXPECT_EQ(SingleText(NAN), "0");
    for (const auto& [value, result] : round) EXPECT_EQ(RoundToInt16(value), result) << value;
}
