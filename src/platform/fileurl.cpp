#include "platform/fileurl.h"

namespace fileurl {

std::string FileUrl(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    url.reserve(url.size() + path.size() * 3);
    for (unsigned char c : path) {
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (keep) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

}  // namespace fileurl

namespace fileurl {

std::string PathOf(std::string_view url) {
    for (std::string_view host : {"file://localhost/", "file:///"}) {
        if (url.substr(0, host.size()) != host) continue;
        url.remove_prefix(host.size() - 1);
        auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        std::string path;
        for (size_t i = 0; i < url.size(); ++i) {
            if (url[i] == '%' && i + 2 < url.size() && hex(url[i + 1]) >= 0 &&
                hex(url[i + 2]) >= 0) {
                path += static_cast<char>(hex(url[i + 1]) * 16 + hex(url[i + 2]));
                i += 2;
            } else {
                path += url[i];
            }
        }
        return path.find('\0') == std::string::npos ? path : std::string();
    }
    return {};
}

}  // namespace fileurl
