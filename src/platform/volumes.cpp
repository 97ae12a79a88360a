// Volumes: what the drive box offers, the mount point a folder lies on, and lexically normal
// absolute paths. Reads /proc/self/mountinfo; never touches network volumes.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

#include "platform/dirlist.h"

namespace dirlist {

namespace {
// Undoes the octal escapes (\040 for a blank and so on) of /proc/self/mountinfo.
std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out.push_back(
                static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

struct Mount {
    std::string root;  // the folder of the file system that is mounted (not "/" for binds)
    std::string point;
    std::string type;
};

std::vector<Mount> ReadMounts(std::istream& in) {
    std::vector<Mount> mounts;
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root point options [optional...] - type source super-options
        std::vector<std::string_view> f;
        std::string_view rest(line);
        while (!rest.empty()) {
            size_t sp = rest.find(' ');
            std::string_view tok = rest.substr(0, sp);
            if (!tok.empty()) f.push_back(tok);
            if (sp == std::string_view::npos) break;
            rest.remove_prefix(sp + 1);
        }
        if (f.size() < 5) continue;
        Mount m;
        m.root = Unescape(f[3]);
        m.point = Unescape(f[4]);
        for (size_t i = 6; i + 1 < f.size(); ++i) {
            if (f[i] == "-") {
                m.type = std::string(f[i + 1]);
                break;
            }
        }
        if (m.point.empty() || m.point[0] != '/') continue;
        mounts.push_back(std::move(m));
    }
    return mounts;
}

std::vector<Mount> ReadMounts() {
    std::ifstream in("/proc/self/mountinfo");
    return ReadMounts(in);
}

bool IsUnder(const std::string& path, std::string_view folder) {
    if (folder == "/") return !path.empty() && path[0] == '/';
    return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

bool IsVolumeType(const std::string& type) {
    static const char* const kTypes[] = {
        "ext2",     "ext3",     "ext4",     "xfs",        "btrfs",      "jfs",
        "reiserfs", "vfat",     "msdos",    "exfat",      "ntfs",       "ntfs3",
        "hfs",      "hfsplus",  "fuseblk",  "iso9660",    "udf",        "f2fs",
        "zfs",      "nfs",      "nfs4",     "cifs",       "smb3",       "smbfs",
        "9p",       "virtiofs", "bcachefs", "fuse.sshfs", "fuse.rclone"};
    for (const char* t : kTypes)
        if (type == t) return true;
    return false;
}

// System folders that hold real file systems but are nothing to browse for sounds.
bool IsSystemPlace(const std::string& point) {
    if (IsUnder(point, "/run/media")) return false;  // where removable media appear on some systems
    static const char* const kPlaces[] = {"/proc", "/sys",  "/dev",     "/run",     "/boot",
                                          "/efi",  "/snap", "/var/lib", "/var/snap"};
    for (const char* p : kPlaces)
        if (IsUnder(point, p)) return true;
    return false;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return NormalPath(home);
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return NormalPath(pw->pw_dir);
    return {};
}

std::vector<std::string> DrivesOf(const std::vector<Mount>& mounts, const std::string& home) {
    std::vector<std::string> out{"/"};
    auto add = [&out](const std::string& p) {
        if (!p.empty() && std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
    };
    add(home);
    for (const Mount& m : mounts) {
        if (!IsVolumeType(m.type)) continue;
        std::string point = NormalPath(m.point);
        if (IsSystemPlace(point)) continue;
        // A bind mount may put a single file in place (containers do so for /etc/hosts).
        // Only binds can do that, so only they are checked, and network volumes are never
        // touched here.
        if (m.root != "/") {
            struct stat st;
            if (stat(point.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        }
        add(point);
    }
    return out;
}

}  // namespace

std::string NormalPath(const std::string& path) {
    if (path.empty()) return {};
    std::string full;
    if (path[0] != '/') {
        char* cwd = getcwd(nullptr, 0);  // no length limit
        if (cwd && cwd[0] == '/') full = cwd;
        std::free(cwd);
        if (full.empty()) return {};
        full += '/';
    }
    full += path;
    std::string out;
    out.reserve(full.size());
    size_t i = 0;
    while (i < full.size()) {
        while (i < full.size() && full[i] == '/') ++i;
        size_t e = full.find('/', i);
        if (e == std::string::npos) e = full.size();
        std::string_view comp(full.data() + i, e - i);
        i = e;
        if (comp.empty() || comp == ".") continue;
        if (comp == "..") {
            size_t cut = out.rfind('/');
            out.resize(cut == std::string::npos ? 0 : cut);
            continue;
        }
        out += '/';
        out += comp;
    }
    return out.empty() ? std::string("/") : out;
}

std::string MountPointOf(const std::string& path) {
    const std::string p = NormalPath(path);
    std::string best = "/";
    if (p.empty()) return best;
    for (const Mount& m : ReadMounts()) {
        std::string point = NormalPath(m.point);
        if (point.size() > best.size() && IsUnder(p, point)) best = std::move(point);
    }
    return best;
}

std::vector<std::string> PseudoMounts() {
    // Kernel views and automount triggers: endless or changing files, nothing to find sounds in.
    static const char* const kPseudo[] = {
        "proc",      "sysfs",   "devtmpfs",    "devpts",   "cgroup",     "cgroup2", "securityfs",
        "debugfs",   "tracefs", "pstore",      "bpf",      "configfs",   "fusectl", "mqueue",
        "hugetlbfs", "autofs",  "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",    "selinuxfs"};
    std::vector<std::string> out;
    for (const Mount& m : ReadMounts())
        for (const char* t : kPseudo)
            if (m.type == t) out.push_back(NormalPath(m.point));
    return out;
}

std::vector<std::string> Drives() { return DrivesOf(ReadMounts(), HomeFolder()); }

std::vector<std::string> Drives(const std::string& mountinfo, const std::string& home) {
    std::istringstream in(mountinfo);
    return DrivesOf(ReadMounts(in), home);
}

}  // namespace dirlist
