// The music folder from user-dirs.dirs, as the desktop's own tools read it.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/userdirs.h"

TEST(UserDirs, MusicFolderFromTheFile) {
    const struct {
        const char* file;   // nullptr: no user-dirs.dirs at all
        const char* music;  // expected, below home; nullptr: none
    } cases[] = {
        {"XDG_MUSIC_DIR=\"$HOME/Tunes\"\n", "/Tunes/"},
        {"# XDG_MUSIC_DIR=\"$HOME/Old\"\n  XDG_MUSIC_DIR = \"$HOME/Tunes/\"\n", "/Tunes/"},
        {"XDG_MUSIC_DIR=\"$HOME/Old\"\nXDG_MUSIC_DIR=\"@/My \\\"Tunes\\\"\"\n", "/My \"Tunes\"/"},
        {"XDG_MUSIC_DIR=\"$HOME\"\n", "/"},
        {"XDG_MUSIC_DIR=\"$HOMEX/Tunes\"\nXDG_MUSIC_DIR=\"Tunes\"\n", nullptr},
        {"XDG_MUSIC_DIRS=\"$HOME/Tunes\"\nXDG_VIDEOS_DIR=\"$HOME/Tunes\"\n", nullptr},
        {"XDG_MUSIC_DIR=\"$HOME/Gone\"\n", nullptr},
        {nullptr, nullptr},
    };
    for (const auto& c : cases) {
        testsupport::TempDir home;
        home.mkdir("Tunes");
        home.mkdir("My \"Tunes\"");
        std::string file = c.file ? c.file : "";
        for (size_t at; (at = file.find('@')) != std::string::npos;)
            file.replace(at, 1, home.path());
        home.mkdir(".config");
        if (c.file) home.write(".config/user-dirs.dirs", file);
        std::string expected = c.music ? home.path() + c.music : "";
        EXPECT_EQ(userdirs::MusicDir("", home.path()), expected) << file;
        EXPECT_EQ(userdirs::MusicDir("relative", home.path()), expected) << file;
        EXPECT_EQ(userdirs::MusicDir(home.file("Tunes"), home.path()), "") << file;
    }
}
