// The music folder from user-dirs.dirs, as the desktop's own tools read it.
#include <gtest/gtest.h>

#include <tuple>

#include "TestSupport.h"
#include "platform/userdirs.h"

TEST(UserDirs, MusicFolderFromTheFile) {
    // user-dirs.dirs (nullptr: none at all), then the music folder it gives ("@" is home), and
    // where an installed program started without a folder opens: the music folder, else home.
    // clang-format off
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"XDG_MUSIC_DIR=\"$HOME/Tunes\"\n", "@/Tunes/", "@/Tunes/"},
        {"# XDG_MUSIC_DIR=\"$HOME/Old\"\n  XDG_MUSIC_DIR = \"$HOME/Tunes/\"\n", "@/Tunes/", "@/Tunes/"},
        {"XDG_MUSIC_DIR=\"$HOME/Old\"\nXDG_MUSIC_DIR=\"@/My \\\"Tunes\\\"\"\n", "@/My \"Tunes\"/", "@/My \"Tunes\"/"},
        {"XDG_MUSIC_DIR=\"$HOME\"\n", "@/", "@/"},
        {"XDG_MUSIC_DIR=\"$HOMEX/Tunes\"\nXDG_MUSIC_DIR=\"Tunes\"\n", "", "@/"},
        {"XDG_MUSIC_DIRS=\"$HOME/Tunes\"\nXDG_VIDEOS_DIR=\"$HOME/Tunes\"\n", "", "@/"},
        {"XDG_MUSIC_DIR=\"$HOME/Gone\"\n", "", "@/"}, {nullptr, "", "@/"}};
    // clang-format on
    const std::string realHome = std::getenv("HOME");
    setenv("XDG_CONFIG_HOME", "", 1);  // home + "/.config"
    for (const auto& [file, music, start] : cases) {
        testsupport::TempDir home;
        for (const char* folder : {".config", "Tunes", "My \"Tunes\""}) home.mkdir(folder);
        if (file) home.write(".config/user-dirs.dirs", home.fill(file));
        for (const char* config : {"", "relative"})  // both mean home + "/.config"
            EXPECT_EQ(userdirs::MusicDir(config, home.path()), home.fill(music)) << file;
        EXPECT_EQ(userdirs::MusicDir(home.file("Tunes"), home.path()), "") << file;
        setenv("HOME", home.path().c_str(), 1);
        EXPECT_EQ(userdirs::FirstStartDir("/app/"), home.fill(start)) << file;
    }
    setenv("HOME", realHome.c_str(), 1);
}
