// Small text files that other programs share with this one (settings, bookmarks, playlists):
// read whole within a size bound, and replaced atomically, so a crash never leaves half a file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace textfile {

enum class Load { ok, missing, failed };

// Reads a regular file whole. FIFOs and devices are refused so that a strange path can never
// block or run forever; a file longer than limit fails (out empty), so that it is never
// rewritten from a part.
Load Read(const std::string& path, std::string& out, size_t limit = SIZE_MAX);

// The file that a write must replace: a symlinked file is written through to its target
// (created when missing), so the link itself stays.
std::string WriteTarget(const std::string& file);

// Replaces target with bytes through a temporary file in the same folder, so that a reader (or
// a crash) sees either the old file or the new one, never a part. The old file's mode is kept.
// False when it could not be replaced (the old file is then left as it was).
bool Replace(const std::string& target, const std::string& bytes);

}  // namespace textfile

#include <functional>
#include <string_view>

namespace textfile {

// Calls each with every line of text, without its ending ("\n" or "\r\n").
void EachLine(std::string_view text, const std::function<void(std::string_view line)>& each);

// Removes every line that names says is the one; when there is none, appends line with the
// text's own line ending ("\r\n" when its first line has one). Every other line stays byte for
// byte. Returns whether the line is there now.
bool ToggleLine(std::string& text, const std::function<bool(std::string_view line)>& names,
                const std::string& line);

}  // namespace textfile
