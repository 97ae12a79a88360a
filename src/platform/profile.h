// INI settings file: case-insensitive section and key names, values trimmed, an empty value
// counts as none. Writes replace a key in its line or append it to its section, keep every other
// line and the file's line endings, and replace the file atomically.
#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace profile {

// The value of key in section, or nullopt when the file, section or key is missing or the value
// is empty.
std::optional<std::string> Read(const std::string& file, const std::string& section,
                                const std::string& key);

// Writes key=value into section, creating file and section when missing. Returns false when the
// file could not be replaced (the old file is then left as it was).
bool Write(const std::string& file, const std::string& section, const std::string& key,
           const std::string& value);

// Writes several keys of one section with one read and one replacement of the file; the result
// is byte for byte what writing them one by one, in order, gives. Returns how many were written
// (0 when the file could not be replaced); a key the format cannot hold is skipped.
size_t WriteAll(const std::string& file, const std::string& section,
                const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace profile
