#include "platform/playlist.h"

#include <cstdlib>
#include <filesystem>

#include "platform/fileurl.h"
#include "platform/textfile.h"

namespace playlist {

namespace {

// Some ten thousand favourites are a few hundred kilobytes; a file far bigger is no list of
// favourites and is neither read nor rewritten.
constexpr size_t kLimit = 8 << 20;

// The file a line names, "" for none.
std::string PathOfLine(std::string_view line) {
    if (!line.empty() && line[0] == '/')
        return line.find('\0') == std::string_view::npos ? std::string(line) : std::string();
    return fileurl::PathOf(line);
}

}  // namespace

std::vector<std::string> Paths(std::string_view text) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    textfile::EachLine(text, [&](std::string_view line) {
        std::string path = PathOfLine(line);
        if (!path.empty() && seen.insert(path).second) out.push_back(std::move(path));
    });
    return out;
}

bool Toggle(std::string& text, const std::string& path) {
    if (text.empty()) text = "#EXTM3U\n";
    // A name with a line break in it could not be read back as one line: it goes as a URL.
    const bool plain = path.find_first_of("\r\n") == std::string::npos;
    return textfile::ToggleLine(
        text, [&path](std::string_view line) { return PathOfLine(line) == path; },
        plain ? path : fileurl::FileUrl(path));
}

std::string FavouritesFile() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string dir =
        data && data[0] == '/' ? data : std::string(home ? home : "") + "/.local/share";
    return dir + "/wavplayer/Favoriten.m3u8";
}

void Favourites::Load() {
    std::string text;
    textfile::Read(file_, text, kLimit);  // empty when it cannot be read
    Take(text);
}

std::optional<bool> Favourites::Toggle(const std::string& path) {
    const std::string target = textfile::WriteTarget(file_);
    std::string text;
    if (textfile::Read(target, text, kLimit) == textfile::Load::failed) return std::nullopt;
    std::error_code ec;
    std::filesystem::create_directories(target.substr(0, target.rfind('/')), ec);
    const bool now = playlist::Toggle(text, path);
    if (!textfile::Replace(target, text)) return std::nullopt;
    Take(text);
    return now;
}

void Favourites::Take(const std::string& text) {
    paths_ = playlist::Paths(text);
    set_ = std::unordered_set<std::string>(paths_.begin(), paths_.end());
}

}  // namespace playlist
