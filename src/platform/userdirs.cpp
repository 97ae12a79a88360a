#include "platform/userdirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace userdirs {

namespace {

bool IsFolder(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

std::string Home() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

// Sets value and returns true when line assigns a usable folder to key.
bool ParseLine(const std::string& line, const std::string& key, const std::string& home,
               std::string& value) {
    size_t p = line.find_first_not_of(" \t");
    if (p == std::string::npos || line.compare(p, key.size(), key) != 0) return false;
    p = line.find_first_not_of(" \t", p + key.size());
    if (p == std::string::npos || line[p] != '=') return false;
    p = line.find_first_not_of(" \t", p + 1);
    if (p == std::string::npos || line[p] != '"') return false;
    ++p;
    std::string out;
    if (line.compare(p, 5, "$HOME") == 0 &&
        (p + 5 == line.size() || line[p + 5] == '/' || line[p + 5] == '"')) {
        out = home;
        p += 5;
    } else if (p >= line.size() || line[p] != '/') {
        return false;
    }
    for (; p < line.size() && line[p] != '"'; ++p) {
        if (line[p] == '\\' && p + 1 < line.size())
            ++p;  // shell quoting: \" \$ \\ stand for the character
        out += line[p];
    }
    if (out.find('\0') != std::string::npos) return false;  // no path the system could open
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    value = out;
    return true;
}

}  // namespace

std::string Lookup(const std::string& text, const std::string& key, const std::string& home) {
    std::istringstream in(text);
    std::string line, value;
    while (std::getline(in, line)) ParseLine(line, key, home, value);
    return value;
}

std::string MusicDir(const std::string& configHome, const std::string& home) {
    std::string dir = !configHome.empty() && configHome[0] == '/' ? configHome : home + "/.config";
    std::ifstream file(dir + "/user-dirs.dirs", std::ios::binary);
    if (!file) return "";
    std::ostringstream text;
    text << file.rdbuf();
    std::string music = Lookup(text.str(), "XDG_MUSIC_DIR", home);
    return IsFolder(music) ? WithSlash(music) : "";
}

std::string FirstStartDir(const std::string& otherwise) {
    std::string home = Home();
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string music = MusicDir(config ? config : "", home);
    if (!music.empty()) return music;
    return IsFolder(home) ? WithSlash(home) : otherwise;
}

}  // namespace userdirs
