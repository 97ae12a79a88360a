// The INI reader/writer: what the settings file relies on, on real files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestSupport.h"
#include "platform/profile.h"

using testsupport::AsUnprivileged;
using testsupport::ReadAll;
using testsupport::TempDir;

namespace {

// Names in dir, to see that no temporary file was left behind.
std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    return names;
}

TEST(ProfileRead, PropertiesOfTheFormat) {
    const struct {
        const char* what;
        std::string content, section, key;
        std::optional<std::string> value;
    } cases[] = {
        {"names in any case", "[aPP]\nlastdir=/m/\n", "App", "LastDir", "/m/"},
        {"non-ASCII names match bytewise", "[\xc3\xa9]\n\xc3\x89=1\n", "\xc3\xa9", "\xc3\x89", "1"},
        {"blanks around key and value", "[App]\n \tTop \t=  \t15 \t\n", "App", "Top", "15"},
        {"CRLF", "[App]\r\nTop=15\r\n", "App", "Top", "15"},
        {"blank value", "[App]\nTop=  \r\n", "App", "Top", {}},
        {"key of another section", "[Other]\nTop=1\n[App]\nLeft=2\n", "App", "Top", {}},
        {"key before any section", "Top=1\n[App]\n", "App", "Top", {}},
        {"first of duplicate sections", "[App]\nTop=1\n[App]\nTop=2\nLeft=3\n", "App", "Top", "1"},
        {"comments are no keys", "[App]\n;Top=1\n#Top=2\n", "App", "Top", {}},
        {"bytes pass unchanged", "[App]\nLastDir=/\xff= x/\n", "App", "LastDir", "/\xff= x/"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        std::string ini = dir.write("s.ini", c.content);
        EXPECT_EQ(profile::Read(ini, c.section, c.key), c.value) << c.what;
    }
    EXPECT_EQ(profile::Read(dir.file("missing.ini"), "App", "Top"), std::nullopt);
    EXPECT_EQ(profile::Read(dir.path(), "App", "Top"), std::nullopt);
}

TEST(ProfileWrite, ChangesOnlyWhatItMust) {
    // Each is written twice into section "App": the second time must change nothing.
    const struct {
        const char* what;
        std::string before, key, value, after;
    } cases[] = {
        {"in place: spelling, spacing, comments, CRLF kept",
         "; mine\r\n[app]\r\n  lastdir = /old/ \r\nTop=1\r\n\r\n# end\r\n", "LastDir", "/new/",
         "; mine\r\n[app]\r\n  lastdir = /new/\r\nTop=1\r\n\r\n# end\r\n"},
        {"new key in its section", "[App]\nTop=1\n\n[Other]\nx=2\n", "Left", "5",
         "[App]\nTop=1\nLeft=5\n\n[Other]\nx=2\n"},
        {"another section's key", "[Other]\nTop=1\n[App]\nLeft=2\n", "Top", "9",
         "[Other]\nTop=1\n[App]\nLeft=2\nTop=9\n"},
        {"new section, CRLF", "[Other]\r\nx=2\r\n", "Top", "1",
         "[Other]\r\nx=2\r\n\r\n[App]\r\nTop=1\r\n"},
        {"append after no newline", "[App]\nx=2", "Top", "1", "[App]\nx=2\nTop=1\n"},
        {"replace without newline", "[App]\nTop=2", "Top", "1", "[App]\nTop=1"},
        {"first duplicate section", "[App]\nTop=1\n[App]\nTop=2\n", "Top", "3",
         "[App]\nTop=3\n[App]\nTop=2\n"},
        {"bytes", "[App]\n", "LastDir", "/\xff\xfe\xc3\xa9/",
         "[App]\nLastDir=/\xff\xfe\xc3\xa9/\n"},
        // Blanks around a value are not stored.
        {"blank value replaced", "[App]\nTop = 1\n", "Top", "  \t5", "[App]\nTop = 5\n"},
        {"blank value appended", "[App]\nLeft=1\n", "Top", " \t5", "[App]\nLeft=1\nTop=5\n"},
        {"blank value, empty file", "", "Top", "\t\t/x/", "[App]\nTop=/x/\n"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        std::string ini = dir.write("s.ini", c.before);
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(profile::Write(ini, "App", c.key, c.value)) << c.what;
            EXPECT_EQ(ReadAll(ini), c.after) << c.what << " #" << i;
        }
    }
}

TEST(ProfileWrite, CreatesTheFileAndRoundTripsLongValues) {
    TempDir dir;
    std::string ini = dir.file("wavplayer.ini");
    const std::string section = "Brimvale WAV-Player/Looper";
    ASSERT_TRUE(profile::Write(ini, section, "Top", "1"));
    mode_t mask = umask(022);
    umask(mask);
    struct stat st {};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

    std::string longValue(100000, 'v');
    ASSERT_TRUE(profile::Write(ini, section, "LastDir", longValue));
    EXPECT_EQ(profile::Read(ini, section, "lastdir"), longValue);
    EXPECT_EQ(profile::Read(ini, section, "Top"), "1");

    // A name as long as the folder allows still leaves room for the temporary file.
    std::string longName = dir.file(std::string(250, 'n'));
    EXPECT_TRUE(profile::Write(longName, section, "Top", "1"));
    EXPECT_EQ(profile::Read(longName, section, "Top"), "1");
}

TEST(ProfileWrite, KeepsPermissionsAndSymlinks) {
    TempDir dir;
    dir.mkdir("real");
    std::string real = dir.write("real/s.ini", "[App]\nTop=1\n");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    std::string link = dir.file("link.ini");
    ASSERT_EQ(symlink("real/s.ini", link.c_str()), 0);

    // A link whose target does not exist yet gets its target created.
    std::string dangling = dir.file("dangling.ini");
    ASSERT_EQ(symlink("real/new.ini", dangling.c_str()), 0);
    ASSERT_TRUE(profile::Write(link, "App", "Top", "2"));
    ASSERT_TRUE(profile::Write(dangling, "App", "Top", "3"));
    EXPECT_TRUE(std::filesystem::is_symlink(link) && std::filesystem::is_symlink(dangling));
    EXPECT_EQ(ReadAll(real), "[App]\nTop=2\n");
    EXPECT_EQ(ReadAll(dir.file("real/new.ini")), "[App]\nTop=3\n");
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(ProfileWrite, RefusedWritesLeaveTheFileWhole) {
    const std::string original = "[App]\r\nTop=1\r\n";
    const struct {
        const char* what;
        std::string section, key, value;
    } cases[] = {
        {"newline in the value", "App", "LastDir", "/a\n[Evil]\nb/"},
        {"carriage return in the value", "App", "LastDir", "/a\r"},
        {"\"=\" in the key", "App", "a=b", "1"},
        {"empty key", "App", " ", "1"},
        {"comment key", "App", ";x", "1"},
        {"\"]\" in the section", "A]pp", "Top", "1"},
    };
    TempDir dir;
    std::string ini = dir.write("s.ini", original);
    for (const auto& c : cases) {
        EXPECT_FALSE(profile::Write(ini, c.section, c.key, c.value)) << c.what;
        EXPECT_EQ(ReadAll(ini), original) << c.what;
    }
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"s.ini"});
}

TEST(ProfileWrite, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    // 0555: the temporary file cannot be created. 01777 (sticky): a stranger may create the
    // temporary file but not replace the owner's file, so the final rename fails.
    for (mode_t folderMode : {0555, 01777}) {
        TempDir dir;
        std::string folder = dir.mkdir("f");
        const std::string original = "[App]\nTop=1\n";
        std::string ini = dir.write("f/s.ini", original);
        ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
        ASSERT_EQ(chmod(folder.c_str(), folderMode), 0);
        if (folderMode == 01777 && geteuid() != 0) continue;  // needs a file owned by another
        EXPECT_FALSE(AsUnprivileged([&] { return profile::Write(ini, "App", "Top", "2"); }));
        if (folderMode == 0555) {
            EXPECT_FALSE(
                AsUnprivileged([&] { return profile::Write(folder + "/n", "A", "k", "v"); }));
        }
        EXPECT_EQ(ReadAll(ini), original) << folderMode;
        EXPECT_EQ(Entries(folder), std::vector<std::string>{"s.ini"}) << folderMode;
    }
}

TEST(Profile, StrangeFilesNeitherHangNorGetReplaced) {
    TempDir dir;
    std::string fifo = dir.file("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(profile::Read(fifo, "App", "Top"), std::nullopt);
    EXPECT_FALSE(profile::Write(fifo, "App", "Top", "1"));
    EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(fifo)));
    std::string folder = dir.mkdir("folder.ini");
    EXPECT_FALSE(profile::Write(folder, "App", "Top", "1"));
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::symlink_status(folder)));
}

}  // namespace
