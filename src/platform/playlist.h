// The favourite sounds, kept as an M3U8 playlist that other players and DAWs open too: one
// absolute path a line, names as bytes (UTF-8 where they are). Lines this program does not
// understand (comments, #EXTINF, URLs of other kinds) are kept as they are.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace playlist {

// The local files a playlist names, each once, in order: absolute paths and file:// URLs;
// blank lines, "#" lines and anything else are not paths.
std::vector<std::string> Paths(std::string_view text);

// Adds path as a line, or removes every line that names it; returns whether it is in now. A
// new playlist starts with "#EXTM3U".
bool Toggle(std::string& text, const std::string& path);

// $XDG_DATA_HOME/wavplayer/Favoriten.m3u8 (~/.local/share/... without it).
std::string FavouritesFile();

// The favourites of one playlist file, read again before every change, so that a hand edit or
// another copy of the program loses nothing.
class Favourites {
  public:
    explicit Favourites(std::string file) : file_(std::move(file)) {}
    // Reads the file; one that cannot be read (or is too big) counts as no favourites.
    void Load();
    bool Contains(const std::string& path) const { return set_.count(path) != 0; }
    const std::vector<std::string>& Paths() const { return paths_; }
    // Marks or unmarks path; none when the file could not be read whole or replaced, which
    // leaves it as it was.
    std::optional<bool> Toggle(const std::string& path);

  private:
    void Take(const std::string& text);

    std::string file_;
    std::vector<std::string> paths_;
    std::unordered_set<std::string> set_;
};

}  // namespace playlist
