#include "platform/profile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "platform/textfile.h"

namespace profile {
namespace {

// One line of the file: its text and its own line ending ("\n", "\r\n" or "" for a last line
// without one). Offsets point into the file's bytes so that untouched lines are copied verbatim.
struct Line {
    size_t begin;  // first byte of the text
    size_t end;    // one past the text, before the line ending
    size_t next;   // first byte of the following line
};

std::string_view TextOf(const std::string& bytes, const Line& line) {
    return std::string_view(bytes).substr(line.begin, line.end - line.begin);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

std::vector<Line> SplitLines(const std::string& bytes) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back({pos, bytes.size(), bytes.size()});
            break;
        }
        size_t end = (nl > pos && bytes[nl - 1] == '\r') ? nl - 1 : nl;
        lines.push_back({pos, end, nl + 1});
        pos = nl + 1;
    }
    return lines;
}

// The name of a "[name]" line, or nullopt when the line is no section header.
std::optional<std::string_view> SectionName(std::string_view text) {
    text = Trim(text);
    if (text.empty() || text.front() != '[') return std::nullopt;
    size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(text.substr(1, close - 1));
}

bool IsComment(std::string_view text) {
    text = Trim(text);
    return !text.empty() && (text.front() == ';' || text.front() == '#');
}

// Where a section's lines lie: the header's index and one past its last line.
struct Section {
    size_t header;
    size_t end;
};

std::optional<Section> FindSection(const std::string& bytes, const std::vector<Line>& lines,
                                   std::string_view name) {
    for (size_t i = 0; i < lines.size(); ++i) {
        auto n = SectionName(TextOf(bytes, lines[i]));
        if (!n || !SameName(*n, name)) continue;
        size_t j = i + 1;
        while (j < lines.size() && !SectionName(TextOf(bytes, lines[j]))) ++j;
        return Section{i, j};
    }
    return std::nullopt;
}

// Index of the first "key=..." line of the section, and the offset just past its "=".
struct KeyLine {
    size_t index;
    size_t afterEquals;
};

std::optional<KeyLine> FindKey(const std::string& bytes, const std::vector<Line>& lines,
                               const Section& sec, std::string_view key) {
    for (size_t i = sec.header + 1; i < sec.end; ++i) {
        std::string_view text = TextOf(bytes, lines[i]);
        if (IsComment(text)) continue;
        size_t eq = text.find('=');
        if (eq == std::string_view::npos) continue;
        if (SameName(Trim(text.substr(0, eq)), key)) return KeyLine{i, lines[i].begin + eq + 1};
    }
    return std::nullopt;
}

bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

}  // namespace

std::optional<std::string> Read(const std::string& file, const std::string& section,
                                const std::string& key) {
    if (HasNul(file)) return std::nullopt;
    std::string bytes;
    if (textfile::Read(file, bytes) != textfile::Load::ok) return std::nullopt;
    std::vector<Line> lines = SplitLines(bytes);
    auto sec = FindSection(bytes, lines, Trim(section));
    if (!sec) return std::nullopt;
    auto kl = FindKey(bytes, lines, *sec, Trim(key));
    if (!kl) return std::nullopt;
    const Line& line = lines[kl->index];
    std::string_view value =
        Trim(std::string_view(bytes).substr(kl->afterEquals, line.end - kl->afterEquals));
    if (value.empty()) return std::nullopt;
    return std::string(value);
}

namespace {

// Sets key=value of section in the file's bytes, as one write of the file would; false (bytes
// unchanged) when the line format cannot hold the names or the value.
bool Apply(std::string& bytes, const std::string& section, const std::string& key,
           const std::string& value) {
    std::string_view sectionName = Trim(section);
    std::string_view keyName = Trim(key);
    // Names and values that the line format cannot hold are refused rather than written in a
    // form that would read back as something else.
    auto breaksLine = [](std::string_view s) {
        return s.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos;
    };
    if (breaksLine(section) || breaksLine(key) || breaksLine(value) || keyName.empty() ||
        keyName.find('=') != std::string_view::npos || keyName.front() == '[' ||
        keyName.front() == ';' || keyName.front() == '#' ||
        sectionName.find(']') != std::string_view::npos)
        return false;

    std::vector<Line> lines = SplitLines(bytes);
    const char* eol = (!lines.empty() && lines[0].next - lines[0].end == 2) ? "\r\n" : "\n";
    // Leading blanks of a value are lost on reading anyway; written, they would pile up behind
    // the "=" with every rewrite, which keeps the line's own blanks there.
    std::string_view val = value;
    while (!val.empty() && IsBlank(val.front())) val.remove_prefix(1);
    std::string entry = std::string(keyName) + "=" + std::string(val);

    std::string out;
    out.reserve(bytes.size() + entry.size() + sectionName.size() + 8);
    auto sec = FindSection(bytes, lines, sectionName);
    if (!sec) {
        out = bytes;
        if (!out.empty() && out.back() != '\n') out += eol;
        if (!lines.empty() && !Trim(TextOf(bytes, lines.back())).empty())
            out += eol;  // a blank line between sections
        out += "[" + std::string(sectionName) + "]" + eol + entry + eol;
    } else if (auto kl = FindKey(bytes, lines, *sec, keyName)) {
        // Keep the line's key spelling, the blanks after "=" and its line ending.
        const Line& line = lines[kl->index];
        size_t start = kl->afterEquals;
        while (start < line.end && IsBlank(bytes[start])) ++start;
        out.append(bytes, 0, start);
        out += val;
        out.append(bytes, line.end, std::string::npos);
    } else {
        size_t last = sec->header;
        for (size_t i = sec->header + 1; i < sec->end; ++i) {
            if (!Trim(TextOf(bytes, lines[i])).empty()) last = i;
        }
        const Line& line = lines[last];
        out.append(bytes, 0, line.next);
        if (line.next == line.end) out += eol;  // the file's last line had no ending
        out += entry + eol;
        out.append(bytes, line.next, std::string::npos);
    }
    bytes = std::move(out);
    return true;
}

}  // namespace

bool Write(const std::string& file, const std::string& section, const std::string& key,
           const std::string& value) {
    return WriteAll(file, section, {{key, value}}) == 1;
}

size_t WriteAll(const std::string& file, const std::string& section,
                const std::vector<std::pair<std::string, std::string>>& entries) {
    if (file.empty() || HasNul(file)) return 0;
    std::string target = textfile::WriteTarget(file);
    std::string bytes;
    textfile::Load load = textfile::Read(target, bytes);
    if (load == textfile::Load::failed) return 0;
    bool hadFile = load == textfile::Load::ok;
    const std::string before = bytes;
    size_t written = 0;
    for (const auto& [key, value] : entries) written += Apply(bytes, section, key, value) ? 1 : 0;
    if (written == 0) return 0;
    if (hadFile && bytes == before) return written;
    return textfile::Replace(target, bytes) ? written : 0;
}

}  // namespace profile
