// file:// URLs for byte paths, as other programs expect them in a text/uri-list.
#pragma once
#include <string>
#include <string_view>

namespace fileurl {

// The URL of an absolute path. Every byte but "/" and the unreserved ones (letters, digits,
// "-", ".", "_", "~") is percent-escaped, so a name that is not valid UTF-8 keeps its bytes.
std::string FileUrl(const std::string& path);

// The path of a local file URL ("file:///..." or "file://localhost/..."), its escapes undone
// to bytes; "" for any other URL, or one that names no path the system could open.
std::string PathOf(std::string_view url);

}  // namespace fileurl
