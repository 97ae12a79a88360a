#include "platform/textfile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace textfile {

Load Read(const std::string& path, std::string& out, size_t limit) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? Load::missing : Load::failed;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Load::failed;
    }
    // Grow as the file turns out to be longer than fstat said (it may be written meanwhile).
    size_t have = 0;
    out.resize(static_cast<size_t>(std::min<uint64_t>(st.st_size, limit)) + 1);
    for (;;) {
        if (have == out.size()) out.resize(out.size() * 2);
        ssize_t n = ::read(fd, out.data() + have, out.size() - have);
        if (n > 0) {
            have += static_cast<size_t>(n);
            if (have > limit) break;
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ::close(fd);
            out.clear();
            return Load::failed;
        }
    }
    ::close(fd);
    if (have > limit) {
        out.clear();
        return Load::failed;
    }
    out.resize(have);
    return Load::ok;
}

std::string WriteTarget(const std::string& file) {
    namespace fs = std::filesystem;
    fs::path p = file;
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p.string();
}

namespace {

mode_t CurrentUmask() {
    // umask() can only be read by setting it, which races with other threads; the kernel also
    // reports it here.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtol(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

bool WriteFully(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool Replace(const std::string& target, const std::string& bytes) {
    struct stat old {};
    const bool had = ::stat(target.c_str(), &old) == 0;
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // The temporary name must fit where the target's own name just fits.
    const size_t maxName = NAME_MAX - 8;  // room for "." and ".XXXXXX"
    std::string tmp = dir + "." + name.substr(0, maxName) + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return false;
    mode_t mode = had ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
    bool ok = ::fchmod(fd, mode) == 0 && WriteFully(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here no longer endangers the old content.
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

}  // namespace textfile

namespace textfile {

void EachLine(std::string_view text, const std::function<void(std::string_view line)>& each) {
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (nl != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        each(line);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    }
}

bool ToggleLine(std::string& text, const std::function<bool(std::string_view line)>& names,
                const std::string& line) {
    std::string kept;
    kept.reserve(text.size());
    bool removed = false;
    for (size_t at = 0; at < text.size();) {
        const size_t nl = text.find('\n', at);
        const size_t next = nl == std::string::npos ? text.size() : nl + 1;
        size_t end = nl == std::string::npos ? text.size() : nl;
        if (nl != std::string::npos && end > at && text[end - 1] == '\r') --end;
        if (names(std::string_view(text).substr(at, end - at)))
            removed = true;
        else
            kept.append(text, at, next - at);
        at = next;
    }
    if (removed) {
        text = std::move(kept);
        return false;
    }
    const size_t first = text.find('\n');
    const char* ending =
        first != std::string::npos && first > 0 && text[first - 1] == '\r' ? "\r\n" : "\n";
    if (!text.empty() && text.back() != '\n') text += ending;
    text += line + ending;
    return true;
}

}  // namespace textfile
