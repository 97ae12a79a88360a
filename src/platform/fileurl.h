// file:// URLs for byte paths, as other programs expect them in a text/uri-list.
#pragma once
#include <string>

namespace fileurl {

// The URL of an absolute path. Every byte but "/" and the unreserved ones (letters, digits,
// "-", ".", "_", "~") is percent-escaped, so a name that is not valid UTF-8 keeps its bytes.
std::string FileUrl(const std::string& path);

}  // namespace fileurl
