// The INI reader/writer: what the settings file relies on, on real files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <tuple>

#include "TestSupport.h"
#include "platform/profile.h"

using namespace testsupport;

TEST(ProfileRead, PropertiesOfTheFormat) {
    using Case = std::tuple<std::string, std::string, std::string, std::optional<std::string>>;
    // clang-format off
    const Case cases[] = {  // content, section, key, value
        {"[aPP]\nlastdir=/m/\n", "App", "LastDir", "/m/"}, {"[\xc3\xa9]\n\xc3\x89=1\n", "\xc3\xa9", "\xc3\x89", "1"},
        {"[App]\n \tTop \t=  \t15 \t\n", "App", "Top", "15"}, {"[App]\r\nTop=15\r\n", "App", "Top", "15"},
        {"[App]\nTop=  \r\n", "App", "Top", {}}, {"[Other]\nTop=1\n[App]\nLeft=2\n", "App", "Top", {}},
        {"Top=1\n[App]\n", "App", "Top", {}}, {"[App]\nTop=1\n[App]\nTop=2\nLeft=3\n", "App", "Top", "1"},
        {"[App]\n;Top=1\n#Top=2\n", "App", "Top", {}}, {"[App]\nLastDir=/\xff= x/\n", "App", "LastDir", "/\xff= x/"}};
    // clang-format on
    TempDir dir;
    for (const auto& [content, section, key, value] : cases)
        EXPECT_EQ(profile::Read(dir.write("s.ini", content), section, key), value) << content;
    EXPECT_FALSE(profile::Read(dir.file("missing.ini"), "App", "Top") ||
                 profile::Read(dir.path(), "App", "Top"));
}

TEST(ProfileWrite, ChangesOnlyWhatItMust) {
    // Each is written twice into section "App": the second time must change nothing.
    struct Case {
        std::string before;
        std::vector<std::pair<std::string, std::string>> keys;
        std::string after;
        size_t written = 1;
    };
    // clang-format off
    const Case cases[] = {
        {"; mine\r\n[app]\r\n  lastdir = /old/ \r\nTop=1\r\n\r\n# end\r\n", {{"LastDir", "/new/"}}, "; mine\r\n[app]\r\n  lastdir = /new/\r\nTop=1\r\n\r\n# end\r\n"},
        {"[App]\nTop=1\n\n[Other]\nx=2\n", {{"Left", "5"}}, "[App]\nTop=1\nLeft=5\n\n[Other]\nx=2\n"},
        {"[Other]\nTop=1\n[App]\nLeft=2\n", {{"Top", "9"}}, "[Other]\nTop=1\n[App]\nLeft=2\nTop=9\n"},
        {"[Other]\r\nx=2\r\n", {{"Top", "1"}}, "[Other]\r\nx=2\r\n\r\n[App]\r\nTop=1\r\n"},
        {"[App]\nx=2", {{"Top", "1"}}, "[App]\nx=2\nTop=1\n"}, {"[App]\nTop=2", {{"Top", "1"}}, "[App]\nTop=1"},
        {"[App]\nTop=1\n[App]\nTop=2\n", {{"Top", "3"}}, "[App]\nTop=3\n[App]\nTop=2\n"},
        {"[App]\n", {{"LastDir", "/\xff\xfe\xc3\xa9/"}}, "[App]\nLastDir=/\xff\xfe\xc3\xa9/\n"},
        {"[App]\nTop = 1\n", {{"Top", "  \t5"}}, "[App]\nTop = 5\n"},  // blanks before a value are not stored
        {"[App]\nLeft=1\n", {{"Top", " \t5"}}, "[App]\nLeft=1\nTop=5\n"}, {"", {{"Top", "\t\t/x/"}}, "[App]\nTop=/x/\n"},
        // Many in one go, one of them refused.
        {"", {{"LastDir", "/m/"}, {"Top", "15"}, {"bad=key", "x"}, {"top", " 16"}, {"Loop", "2"}}, "[App]\nLastDir=/m/\nTop=16\nLoop=2\n", 4},
        {"; mine\r\n[app]\r\nloop = 1\r\n[Other]\r\nTop=1", {{"LastDir", "/m/"}, {"Loop", "2"}}, "; mine\r\n[app]\r\nloop = 2\r\nLastDir=/m/\r\n[Other]\r\nTop=1", 2}};
    // clang-format on
    TempDir dir;
    for (const auto& [before, keys, after, written] : cases) {
        std::string ini = dir.write("s.ini", before);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(profile::WriteAll(ini, "App", keys), written) << before;
            EXPECT_EQ(ReadAll(ini), after) << before << " #" << i;
        }
    }
}

TEST(ProfileWrite, NewFilesLongValuesPermissionsAndLinks) {
    TempDir dir;
    std::string ini = dir.file("wavplayer.ini"), longValue(100000, 'v');
    ASSERT_TRUE(profile::WriteAll(ini, "App", {{"Top", "1"}, {"LastDir", longValue}}));
    mode_t mask = umask(022);
    umask(mask);
    struct stat st {};
    EXPECT_TRUE(stat(ini.c_str(), &st) == 0 && (st.st_mode & 0777) == (0666 & ~mask));
    EXPECT_EQ(profile::Read(ini, "App", "lastdir"), longValue);
    // A name as long as the folder allows still leaves room for the temporary file.
    EXPECT_TRUE(profile::Write(dir.file(std::string(250, 'n')), "App", "Top", "1"));
    // Written through a link (to a target that may not exist yet), keeping the link and the
    // target's permissions.
    std::string real = dir.write("real.ini", "[App]\nTop=1\n");
    ASSERT_EQ(chmod(real.c_str(), 0640) | symlink("real.ini", dir.file("link.ini").c_str()) |
                  symlink("new.ini", dir.file("dangling.ini").c_str()),
              0);
    ASSERT_TRUE(profile::Write(dir.file("link.ini"), "App", "Top", "2") &&
                profile::Write(dir.file("dangling.ini"), "App", "Top", "3"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_EQ(ReadAll(real) + ReadAll(dir.file("new.ini")), "[App]\nTop=2\n[App]\nTop=3\n");
    EXPECT_TRUE(stat(real.c_str(), &st) == 0 && (st.st_mode & 07777) == 0640u);
}

TEST(ProfileWrite, RefusedAndFailedWritesLeaveTheFileWhole) {
    // Values and names the line format cannot hold; a FIFO or folder in the file's place.
    using Case = std::array<std::string, 3>;
    // clang-format off
    const Case refused[] = {{"App", "LastDir", "/a\n[Evil]\nb/"}, {"App", "LastDir", "/a\r"}, {"App", "a=b", "1"},
                            {"App", " ", "1"}, {"App", ";x", "1"}, {"A]pp", "Top", "1"}};
    // clang-format on
    TempDir dir;
    const std::string original = "[App]\r\nTop=1\r\n";
    std::string ini = dir.write("s.ini", original), fifo = dir.file("fifo.ini");
    for (const auto& [section, key, value] : refused)
        EXPECT_FALSE(profile::Write(ini, section, key, value)) << value;
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(profile::Read(fifo, "App", "Top"), std::nullopt);  // would hang if it opened it
    EXPECT_FALSE(profile::Write(fifo, "App", "Top", "1") ||
                 profile::Write(dir.mkdir("d.ini"), "A", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    // 0555: no temporary file can be made. 01777: a stranger may make one but not replace the
    // owner's file, so the rename fails.
    std::string folder = dir.mkdir("f"), owned = dir.write("f/s.ini", original);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    for (mode_t folderMode : {0555, 01777}) {
        ASSERT_EQ(chmod(folder.c_str(), folderMode), 0);
        EXPECT_FALSE(AsUnprivileged([&] { return profile::Write(owned, "App", "Top", "2"); }));
    }
    // A full disk: the temporary file cannot take the new content.
    EXPECT_FALSE(AsUnprivileged(
        [&] { return profile::Write(ini, "App", "LastDir", std::string(99, 'x')); }, 64, true));
    EXPECT_EQ(ReadAll(ini) + ReadAll(owned), original + original);
    // No temporary file left: s.ini, fifo.ini, d.ini, f and f/s.ini.
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir.path()), {}), 5);
}
