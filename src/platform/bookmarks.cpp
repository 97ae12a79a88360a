#include "platform/bookmarks.h"

#include <cstdlib>
#include <filesystem>

#include "platform/fileurl.h"
#include "platform/textfile.h"
#include "platform/userdirs.h"

namespace bookmarks {

namespace {

// Bookmarks files are a few lines; anything far bigger is no bookmarks file and is left alone.
constexpr size_t kGtkLimit = 1 << 20, kXbelLimit = 4 << 20;

std::string Env(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && v[0] == '/' ? v : fallback;  // relative values are invalid by the XDG rules
}

std::string Home() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return path.size() > 1 ? path.substr(slash + 1) : path;
}

// The folder a bookmarks line names, "" for none.
std::string FolderOf(std::string_view line) {
    const std::string path = fileurl::PathOf(line.substr(0, line.find(' ')));
    return path.empty() ? path : Trimmed(path);
}

// Undoes XML's character references in a text or attribute.
std::string XmlText(std::string_view s) {
    static const std::pair<std::string_view, char> named[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        bool done = false;
        for (auto [ref, c] : named) {
            if (s.substr(i, ref.size()) == ref) {
                out += c;
                i += ref.size() - 1;
                done = true;
                break;
            }
        }
        if (!done) out += s[i];
    }
    return out;
}

std::string_view Between(std::string_view s, std::string_view open, std::string_view close) {
    const size_t a = s.find(open);
    if (a == std::string_view::npos) return {};
    const size_t b = s.find(close, a + open.size());
    return b == std::string_view::npos ? std::string_view()
                                       : s.substr(a + open.size(), b - a - open.size());
}

std::vector<Place> ReadPlaces(const std::string& file, size_t limit,
                              std::vector<Place> (*parse)(std::string_view)) {
    std::string text;
    if (textfile::Read(file, text, limit) != textfile::Load::ok) return {};
    return parse(text);
}

}  // namespace

std::vector<Place> ParseGtk(std::string_view text) {
    std::vector<Place> out;
    textfile::EachLine(text, [&out](std::string_view line) {
        std::string path = FolderOf(line);
        if (path.empty()) return;
        const size_t blank = line.find(' ');
        std::string label(blank == std::string_view::npos ? "" : line.substr(blank + 1));
        out.push_back({path, label.empty() ? NameOf(path) : label});
    });
    return out;
}

std::vector<Place> ParseXbel(std::string_view text) {
    std::vector<Place> out;
    for (size_t at = text.find("<bookmark "); at != std::string_view::npos;
         at = text.find("<bookmark ", at + 1)) {
        const size_t end = text.find("</bookmark>", at);
        const std::string_view tag = text.substr(at, text.find('>', at) - at);
        const std::string_view body = text.substr(at, end == std::string_view::npos ? 0 : end - at);
        if (body.find("<IsHidden>true</IsHidden>") != std::string_view::npos) continue;
        std::string_view href = Between(tag, "href=\"", "\"");
        std::string path = fileurl::PathOf(XmlText(href));
        if (path.empty()) continue;
        path = Trimmed(path);
        std::string title = XmlText(Between(body, "<title>", "</title>"));
        out.push_back({path, title.empty() ? NameOf(path) : title});
    }
    return out;
}

bool ToggleGtk(std::string& text, const std::string& folder) {
    const std::string path = Trimmed(folder);
    return textfile::ToggleLine(
        text, [&path](std::string_view line) { return FolderOf(line) == path; },
        fileurl::FileUrl(path));
}

std::string GtkFile() { return Env("XDG_CONFIG_HOME", Home() + "/.config") + "/gtk-3.0/bookmarks"; }

std::string KdeFile() {
    return Env("XDG_DATA_HOME", Home() + "/.local/share") + "/user-places.xbel";
}

std::optional<bool> ToggleIn(const std::string& file, const std::string& folder) {
    const std::string target = textfile::WriteTarget(file);
    std::string text;
    if (textfile::Read(target, text, kGtkLimit) == textfile::Load::failed) return std::nullopt;
    std::error_code ec;  // gtk-3.0 may not exist yet
    std::filesystem::create_directories(target.substr(0, target.rfind('/')), ec);
    const bool now = ToggleGtk(text, folder);
    if (!textfile::Replace(target, text)) return std::nullopt;
    return now;
}

std::vector<Place> UserPlaces() {
    const std::string home = Trimmed(Home());
    std::vector<Place> all{{home, "Pers\xc3\xb6nlicher Ordner"}};
    const std::string music = Trimmed(userdirs::MusicDir(Env("XDG_CONFIG_HOME", ""), home));
    if (!music.empty()) all.push_back({music, NameOf(music)});
    for (auto& p : ReadPlaces(GtkFile(), kGtkLimit, ParseGtk)) all.push_back(std::move(p));
    for (auto& p : ReadPlaces(KdeFile(), kXbelLimit, ParseXbel)) all.push_back(std::move(p));
    std::vector<Place> out;
    for (Place& p : all) {
        bool seen = false;
        for (const Place& q : out) seen = seen || q.path == p.path;
        if (!seen) out.push_back(std::move(p));
    }
    return out;
}

}  // namespace bookmarks
