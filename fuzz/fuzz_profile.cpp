// The settings reader and writer on arbitrary file contents: the input is the INI file; names and
// values are taken from the input itself so that the fuzzer reaches the sections and keys it
// wrote. Checks what every write promises: the value reads back, no other line changes, no
// other key's value changes, a repeated write changes nothing, and no temporary file stays.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

namespace {

std::string g_dir;
std::string g_ini;
std::string g_context;  // what the failing step did, for the report

std::string Escaped(std::string_view s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n%s\n", what, g_context.c_str());
    std::abort();
}

void RemoveDir() {
    if (g_dir.empty()) return;
    if (DIR* d = opendir(g_dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") unlink((g_dir + "/" + n).c_str());
        }
        closedir(d);
    }
    rmdir(g_dir.c_str());
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    return names;
}

bool Put(const std::string& path, std::string_view bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    return done == bytes.size();
}

std::string Get(const std::string& path) {
    std::string out;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fd);
    return out;
}

// Pieces between "\n"s, each with any "\r" it holds; a final "\n" ends the last piece rather
// than starting an empty one.
std::vector<std::string_view> RawLines(std::string_view s) {
    std::vector<std::string_view> out;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t nl = s.find('\n', pos);
        if (nl == std::string_view::npos) nl = s.size();
        out.push_back(s.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return out;
}

bool Blank(char c) { return c == ' ' || c == '\t'; }

// Blanks at both ends, and a stray "\r" at the end as a CRLF file leaves it.
std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (Blank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool SameName(std::string_view a, std::string_view b) {
    a = TrimBlanks(a);
    b = TrimBlanks(b);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool BreaksLine(std::string_view s) {
    return s.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos;
}

// What the line format can hold: anything else must be refused.
bool Writable(std::string_view section, std::string_view key, std::string_view value) {
    if (BreaksLine(section) || BreaksLine(key) || BreaksLine(value)) return false;
    std::string_view k = TrimBlanks(key);
    if (k.empty() || k.find('=') != std::string_view::npos) return false;
    if (k.front() == '[' || k.front() == ';' || k.front() == '#') return false;
    return TrimBlanks(section).find(']') == std::string_view::npos;
}

struct Pair {
    std::string section, key;
};

// Section and key names the input itself uses, plus the program's own.
std::vector<Pair> Candidates(std::string_view input) {
    std::vector<std::string> sections{"Brimvale WAV-Player/Looper"};
    std::vector<std::string> keys{"LastDir", "Top"};
    for (std::string_view line : RawLines(input)) {
        if (sections.size() + keys.size() > 40) break;
        std::string_view t = TrimBlanks(line);
        if (!t.empty() && t.front() == '[') {
            size_t close = t.find(']');
            sections.emplace_back(
                t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1));
        } else if (size_t eq = t.find('='); eq != std::string_view::npos) {
            keys.emplace_back(t.substr(0, eq));
        }
    }
    std::vector<Pair> pairs;
    for (size_t i = 0; i < sections.size(); ++i)
        pairs.push_back({sections[i], keys[(i * 7) % keys.size()]});
    for (size_t i = 0; i < keys.size(); ++i)
        pairs.push_back({sections[(i * 5) % sections.size()], keys[i]});
    return pairs;
}

uint64_t Hash(const uint8_t* data, size_t size) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // tmpfs keeps the writer's fsyncs cheap.
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string tmpl = base + "/fuzz_profile.XXXXXX";
    if (!mkdtemp(tmpl.data())) Fail("no temporary folder");
    g_dir = tmpl;
    g_ini = g_dir + "/wavplayer.ini";
    std::atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    if (!Put(g_ini, input)) Fail("cannot write the input file");

    std::vector<Pair> pairs = Candidates(input);
    std::vector<std::optional<std::string>> before;
    for (const Pair& p : pairs) before.push_back(profile::Read(g_ini, p.section, p.key));

    // The write: one of the pairs, and a value cut from the input (which may hold anything).
    uint64_t h = Hash(data, size);
    const Pair& target = pairs[h % pairs.size()];
    std::vector<std::string_view> lines = RawLines(input);
    std::string value =
        lines.empty() ? std::string("x") : std::string(lines[(h >> 16) % lines.size()]);
    if ((h >> 32) & 1) value = value.substr(0, 64);

    bool ok = profile::Write(g_ini, target.section, target.key, value);
    std::string after = Get(g_ini);
    g_context = "Write([" + Escaped(target.section) + "] " + Escaped(target.key) + " = " +
                Escaped(value) + ")\nbefore: " + Escaped(input) + "\nafter:  " + Escaped(after);
    if (Names(g_dir).size() != 1) Fail("a temporary file was left behind");
    if (ok != Writable(target.section, target.key, value))
        Fail(ok ? "an unwritable entry was accepted" : "a writable entry was refused");
    if (!ok) {
        if (after != input) Fail("a refused write changed the file");
        return 0;
    }

    std::string_view expect = TrimBlanks(value);
    auto got = profile::Read(g_ini, target.section, target.key);
    if (expect.empty() ? got.has_value() : got != std::optional<std::string>(std::string(expect)))
        Fail("the written value does not read back");

    // The write changed one stretch of lines: at most the key's own line went, at most a blank
    // line, a header and the entry came; every other line is kept byte for byte.
    // A last line without an ending gets one, which may be a CRLF.
    std::vector<std::string_view> newLines = RawLines(after);
    const bool openEnd = !input.empty() && input.back() != '\n';
    auto same = [&](size_t i, size_t j) {
        std::string_view o = lines[i], n = newLines[j];
        if (o == n) return true;
        return openEnd && i + 1 == lines.size() && n.size() == o.size() + 1 && n.back() == '\r' &&
               n.substr(0, o.size()) == o;
    };
    size_t head = 0;
    while (head < lines.size() && head < newLines.size() && same(head, head)) ++head;
    size_t tail = 0;
    while (tail < lines.size() - head && tail < newLines.size() - head &&
           same(lines.size() - 1 - tail, newLines.size() - 1 - tail))
        ++tail;
    size_t gone = lines.size() - head - tail, came = newLines.size() - head - tail;
    if (gone > 1 || came > 3) Fail("lines other than the key's changed");
    if (gone == 1) {
        std::string_view line = lines[head];
        size_t eq = line.find('=');
        if (eq == std::string_view::npos || !SameName(line.substr(0, eq), target.key))
            Fail("a line that is not the key's was replaced");
    }

    for (size_t i = 0; i < pairs.size(); ++i) {
        if (SameName(pairs[i].section, target.section) && SameName(pairs[i].key, target.key))
            continue;
        if (profile::Read(g_ini, pairs[i].section, pairs[i].key) != before[i])
            Fail("another key's value changed");
    }

    // Writing the same again changes nothing.
    if (!profile::Write(g_ini, target.section, target.key, value)) Fail("a repeated write failed");
    if (Get(g_ini) != after) Fail("a repeated write changed the file");
    if (Names(g_dir).size() != 1) Fail("a temporary file was left behind");
    return 0;
}
