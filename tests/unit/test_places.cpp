// Places and favourites: GTK's bookmarks file and the favourites' playlist, shared with other
// programs, keep every line they do not own; a favourite whose file is gone shows as such.
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "TestSupport.h"
#include "mainwindow/FormLogic.h"
#include "platform/bookmarks.h"

using namespace testsupport;

TEST(Places, BookmarksKeepTheirLines) {
    // bookmarks file before; folder toggled; the file after; the places read from before.
    using Case = std::tuple<const char*, const char*, const char*, std::vector<bookmarks::Place>>;
    // clang-format off
    const Case cases[] = {
        {"", "/m/Kit", "file:///m/Kit\n", {}},
        {"file:///m/My%20Kit Drums and Bass\n# note\n", "/m/Kit",
         "file:///m/My%20Kit Drums and Bass\n# note\nfile:///m/Kit\n", {{"/m/My Kit", "Drums and Bass"}}},
        {"sftp://host/x Remote\r\nfile:///m/Kit/\r\nfile:///n", "/m/Kit", "sftp://host/x Remote\r\nfile:///n",
         {{"/m/Kit", "Kit"}, {"/n", "n"}}},
        {"file:///a\nfile:///m/K%C3%BCche%FF\n", "/m/K\xc3\xbc" "che\xff", "file:///a\n",
         {{"/a", "a"}, {"/m/K\xc3\xbc" "che\xff", "K\xc3\xbc" "che\xff"}}},
        {"file:///a\r\nfile:///b", "/m/My Kit", "file:///a\r\nfile:///b\r\nfile:///m/My%20Kit\r\n",
         {{"/a", "a"}, {"/b", "b"}}}};
    // clang-format on
    for (const auto& [before, folder, after, places] : cases) {
        EXPECT_EQ(bookmarks::ParseGtk(before), places) << before;
        std::string text = before;
        bookmarks::ToggleGtk(text, folder);
        EXPECT_EQ(text, after) << before;
    }
    const char* xbel =
        "<xbel><bookmark href=\"file:///home/u\"><title>Home</title></bookmark>\n"
        "<bookmark href=\"remote:/\"><title>Network</title></bookmark>\n"
        "<bookmark href=\"file:///s/A%20%26%20B\"><title>A &amp; B</title></bookmark>\n"
        "<bookmark href=\"file:///t\"><title>T</title><info><metadata><IsHidden>true</IsHidden>"
        "</metadata></info></bookmark></xbel>";
    EXPECT_EQ(bookmarks::ParseXbel(xbel),
              (std::vector<bookmarks::Place>{{"/home/u", "Home"}, {"/s/A & B", "A & B"}}));
}

TEST(Places, PlaylistKeepsItsLines) {
    // playlist before; path toggled; the playlist after; the favourites read from before.
    using Case = std::tuple<const char*, const char*, const char*, std::vector<std::string>>;
    // clang-format off
    const Case cases[] = {
        {"", "/s/\xff.wav", "#EXTM3U\n/s/\xff.wav\n", {}},
        {"#EXTM3U\r\n#EXTINF:1,x\r\n/s/a b.wav\r\nrel.wav\r\nhttp://x/y.wav", "/s/a.wav",
         "#EXTM3U\r\n#EXTINF:1,x\r\n/s/a b.wav\r\nrel.wav\r\nhttp://x/y.wav\r\n/s/a.wav\r\n", {"/s/a b.wav"}},
        {"/s/a.wav\nfile:///s/a.wav\n\n/s/b.wav", "/s/a.wav", "\n/s/b.wav", {"/s/a.wav", "/s/b.wav"}},
        {"file:///s/%C3%A4%20x.wav\n", "/s/\xc3\xa4 x.wav", "", {"/s/\xc3\xa4 x.wav"}},
        {"#EXTM3U\n", "/s/a\nb.wav", "#EXTM3U\nfile:///s/a%0Ab.wav\n", {}}};
    // clang-format on
    for (const auto& [before, path, after, paths] : cases) {
        EXPECT_EQ(playlist::Paths(before), paths) << before;
        std::string text = before;
        playlist::Toggle(text, path);
        EXPECT_EQ(text, after) << before;
    }
}

TEST(Places, FavouritesInTheListAndOnDisk) {
    TempDir dir;
    dir.mkdir("s");
    dir.write("s/kick.wav", "x");
    dir.write("s/snare.wav", "x");
    const std::string file = dir.write("fav.m3u8", dir.fill("# mine\n@/s/gone.wav\n"));
    FormLogic logic;
    logic.favourites = playlist::Favourites(file);
    logic.OpenAndRebuild(dir.file("s"));
    ASSERT_TRUE(logic.ToggleFavourite(1));  // [..], kick.wav, snare.wav
    EXPECT_EQ(ReadAll(file), dir.fill("# mine\n@/s/gone.wav\n@/s/kick.wav\n"));
    EXPECT_FALSE(logic.ToggleFavourite(0));
    // Renamed after it was marked: the old name shows as gone, and is unmarked from the list.
    std::rename(dir.file("s/kick.wav").c_str(), dir.file("s/k2.wav").c_str());
    ASSERT_TRUE(logic.OpenPlace(""));
    ASSERT_EQ(logic.Entries().size(), 2u);
    EXPECT_EQ(logic.WavePath(1), dir.file("s/kick.wav"));
    EXPECT_TRUE(logic.FavouriteGone(dir.file("s/gone.wav")) &&
                logic.FavouriteGone(dir.file("s/kick.wav")));
    EXPECT_TRUE(logic.ToggleFavourite(0));
    EXPECT_EQ(ReadAll(file), dir.fill("# mine\n@/s/kick.wav\n"));
    EXPECT_EQ(logic.OpenFavourite(1), -1);  // its folder opens; the file is not there
    EXPECT_EQ(logic.dirDirs.Path(), dir.file("s"));
    EXPECT_FALSE(logic.ShowingFavourites());
    logic.OpenPlace("");
    EXPECT_EQ(logic.OpenPlace(dir.file("nowhere")), false);
    logic.favourites.Toggle(dir.file("nowhere/x.wav"));  // its folder cannot be opened
    logic.OpenPlace("");
    EXPECT_EQ(logic.OpenFavourite(0), -2);
    EXPECT_TRUE(logic.ShowingFavourites());
    // A file too big to be a list of favourites is neither read nor rewritten.
    const std::string big = "/s/a.wav\n" + std::string(9 << 20, '#');
    dir.write("fav.m3u8", big);
    logic.favourites.Load();
    EXPECT_FALSE(logic.favourites.Toggle("/s/b.wav").has_value());
    EXPECT_TRUE(logic.favourites.Paths().empty());
    EXPECT_EQ(ReadAll(file), big);
}
