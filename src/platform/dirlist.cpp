#include "platform/dirlist.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>

namespace dirlist {

namespace {

inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline unsigned char Fold(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Three-way natural comparison without the final byte tie-break. Equal digit values written
// with different numbers of leading zeros compare equal here but leave zeroTie set, so the
// caller can still give them a fixed order (fewer zeros first).
int NaturalCompare(std::string_view a, std::string_view b) {
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    const size_t na = a.size(), nb = b.size();
    size_t i = 0, j = 0;
    int zeroTie = 0;
    while (i < na && j < nb) {
        unsigned char ca = pa[i], cb = pb[j];
        if (IsDigit(ca) && IsDigit(cb)) {
            size_t si = i, sj = j;
            while (si < na && pa[si] == '0') ++si;
            while (sj < nb && pb[sj] == '0') ++sj;
            size_t ei = si, ej = sj;
            while (ei < na && IsDigit(pa[ei])) ++ei;
            while (ej < nb && IsDigit(pb[ej])) ++ej;
            // Without leading zeros the longer run is the larger number.
            if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
            if (int m = std::memcmp(pa + si, pb + sj, ei - si)) return m < 0 ? -1 : 1;
            if (zeroTie == 0 && si - i != sj - j) zeroTie = si - i < sj - j ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        ca = Fold(ca);
        cb = Fold(cb);
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < na) return 1;
    if (j < nb) return -1;
    return zeroTie;
}

bool NaturalLessView(std::string_view a, std::string_view b) {
    if (int c = NaturalCompare(a, b)) return c < 0;
    return a < b;
}

// Appends a sort key for name whose plain byte order equals NaturalCompare's order up to its
// leading-zero tie. Sorting 100k names by memcmp on these keys is much cheaper than running
// the natural comparison in every step of the sort. A digit run becomes '0' (so it still sorts
// against other characters as a digit does), the count of its significant digits, then those
// digits; every other byte is folded to lower case.
void AppendKey(std::string& out, std::string_view name) {
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const size_t n = name.size();
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (!IsDigit(c)) {
            out.push_back(static_cast<char>(Fold(c)));
            ++i;
            continue;
        }
        while (i < n && p[i] == '0') ++i;
        size_t s = i;
        while (i < n && IsDigit(p[i])) ++i;
        size_t len = i - s;
        out.push_back('0');
        if (len < 0xFF) {
            out.push_back(static_cast<char>(len));
        } else {  // absurdly long runs: an escape, then the count big-endian
            out.push_back(static_cast<char>(0xFF));
            uint32_t l = static_cast<uint32_t>(std::min<size_t>(len, UINT32_MAX));
            for (int shift = 24; shift >= 0; shift -= 8)
                out.push_back(static_cast<char>((l >> shift) & 0xFF));
        }
        out.append(reinterpret_cast<const char*>(p + s), len);
    }
}

// One name collected by the scan: name bytes at off, its key right behind them.
struct Entry {
    uint64_t head;  // first 8 key bytes, big-endian, so most comparisons never touch the arena
    size_t off;
    uint32_t nameLen;
    uint32_t keyLen;
};

class Collector {
  public:
    explicit Collector(std::string& arena) : arena_(arena) {}

    void Add(std::string_view name) {
        Entry e;
        e.off = arena_.size();
        e.nameLen = static_cast<uint32_t>(name.size());
        arena_.append(name);
        AppendKey(arena_, name);
        e.keyLen = static_cast<uint32_t>(arena_.size() - e.off - e.nameLen);
        e.head = Head(arena_.data(), e, 0);
        entries_.push_back(e);
    }

    void SortInto(std::vector<std::string>* out) {
        const char* base = arena_.data();
        // Names in one folder often share a long prefix ("Sample 1", "Sample 2", ...); the
        // 8-byte head then says nothing. Skip the prefix that every key shares and take the
        // head from the bytes after it, so most comparisons still end at the head.
        size_t skip = CommonKeyPrefix(base);
        if (skip > 0) {
            for (Entry& e : entries_) e.head = Head(base, e, skip);
        }
        std::sort(entries_.begin(), entries_.end(), [base, skip](const Entry& x, const Entry& y) {
            if (x.head != y.head) return x.head < y.head;
            std::string_view kx(base + x.off + x.nameLen + skip, x.keyLen - skip);
            std::string_view ky(base + y.off + y.nameLen + skip, y.keyLen - skip);
            if (int c = kx.compare(ky)) return c < 0;
            return NaturalLessView(std::string_view(base + x.off, x.nameLen),
                                   std::string_view(base + y.off, y.nameLen));
        });
        out->clear();
        out->reserve(entries_.size());
        for (const Entry& e : entries_) out->emplace_back(base + e.off, e.nameLen);
    }

  private:
    // Eight key bytes from offset skip on, big-endian (zeros past the end).
    static uint64_t Head(const char* base, const Entry& e, size_t skip) {
        const auto* k = reinterpret_cast<const unsigned char*>(base + e.off + e.nameLen);
        uint64_t h = 0;
        for (size_t i = skip; i < skip + 8; ++i) h = (h << 8) | (i < e.keyLen ? k[i] : 0u);
        return h;
    }

    // Length of the prefix that all keys share (0 for fewer than two names).
    size_t CommonKeyPrefix(const char* base) const {
        if (entries_.size() < 2) return 0;
        const Entry& first = entries_[0];
        std::string_view common(base + first.off + first.nameLen, first.keyLen);
        for (const Entry& e : entries_) {
            std::string_view k(base + e.off + e.nameLen, e.keyLen);
            size_t n = 0, limit = std::min(common.size(), k.size());
            while (n < limit && common[n] == k[n]) ++n;
            common = common.substr(0, n);
            if (common.empty()) return 0;
        }
        return common.size();
    }

    std::string& arena_;
    std::vector<Entry> entries_;
};

bool IsWavName(const char* name, size_t len) {
    if (len < 5) return false;  // "x.wav" at least; ".wav" alone is hidden anyway
    const char* e = name + len - 4;
    return e[0] == '.' && Fold(e[1]) == 'w' && Fold(e[2]) == 'a' && Fold(e[3]) == 'v';
}

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

std::vector<Mount> ReadMounts() {
    std::vector<Mount> mounts;
    std::ifstream in("/proc/self/mountinfo");
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

// What a scan saw of the folder itself, to tell later whether its entries may have changed.
struct Snapshot {
    bool trusted = false;
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{}, ctime{};
    std::chrono::steady_clock::time_point taken;
};

constexpr int64_t kRacyNs = 100'000'000;
constexpr auto kHandoffAge = std::chrono::seconds(1);

int64_t Ns(const timespec& t) { return t.tv_sec * int64_t{1000000000} + t.tv_nsec; }

bool Scan(const std::string& folder, std::vector<std::string>* subfolders,
          std::vector<std::string>* wavFiles, Snapshot* snap) {
    // A NUL inside the name would silently open a different folder.
    DIR* dir = folder.empty() || folder.find('\0') != std::string::npos ? nullptr
                                                                        : opendir(folder.c_str());
    if (!dir) {
        if (subfolders) subfolders->clear();
        if (wavFiles) wavFiles->clear();
        return false;
    }
    const int fd = dirfd(dir);
    if (snap) {
        snap->trusted = false;
        timespec now;
        struct stat st;
        if (clock_gettime(CLOCK_REALTIME, &now) == 0 && fstat(fd, &st) == 0) {
            snap->dev = st.st_dev;
            snap->ino = st.st_ino;
            snap->mtime = st.st_mtim;
            snap->ctime = st.st_ctim;
            snap->taken = std::chrono::steady_clock::now();
            // File systems stamp changes with a coarse clock: a change made in the same tick
            // as the last one may leave the stamp as it is. Only a folder whose last change
            // lies well before the scan can be told unchanged by its stamps later.
            const int64_t settled = Ns(now) - kRacyNs;
            snap->trusted = Ns(st.st_mtim) < settled && Ns(st.st_ctim) < settled;
        }
    }
    std::string arena;
    arena.reserve(1 << 16);
    Collector dirs(arena), files(arena);
    while (const dirent* d = readdir(dir)) {
        const char* name = d->d_name;
        if (name[0] == '.') continue;
        const size_t len = std::strlen(name);
        bool isDir = false, isFile = false;
        switch (d->d_type) {
            case DT_DIR:
                isDir = true;
                break;
            case DT_REG:
                isFile = true;
                break;
            case DT_LNK:
            case DT_UNKNOWN: {
                if (!subfolders && !IsWavName(name, len)) continue;
                // Follows the link; a broken link fails here and is left out. stat never opens
                // the entry, so a FIFO cannot block the scan.
                struct stat st;
                if (fstatat(fd, name, &st, 0) != 0) continue;
                isDir = S_ISDIR(st.st_mode);
                isFile = S_ISREG(st.st_mode);
                break;
            }
            default:  // FIFOs, sockets, devices
                continue;
        }
        if (isDir) {
            if (subfolders) dirs.Add(std::string_view(name, len));
        } else if (isFile && wavFiles && IsWavName(name, len)) {
            files.Add(std::string_view(name, len));
        }
    }
    closedir(dir);
    if (subfolders) dirs.SortInto(subfolders);
    if (wavFiles) files.SortInto(wavFiles);
    return true;
}

// The window reads a folder's sub-folders and then, at once, its WAV files: two scans of
// the same folder. The directory box reads both lists in its scan and leaves the file list
// here for the file box to take, provided the folder is provably unchanged since.
struct Handoff {
    bool valid = false;
    std::string path;
    Snapshot snap;
    std::vector<std::string> files;
};
thread_local Handoff handoff;

bool TakeHandoff(const std::string& path, std::vector<std::string>* files) {
    if (!handoff.valid) return false;
    handoff.valid = false;  // one use only
    if (handoff.path != path) return false;
    if (std::chrono::steady_clock::now() - handoff.snap.taken > kHandoffAge) return false;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    const Snapshot& s = handoff.snap;
    if (st.st_dev != s.dev || st.st_ino != s.ino || Ns(st.st_mtim) != Ns(s.mtime) ||
        Ns(st.st_ctim) != Ns(s.ctime))
        return false;
    *files = std::move(handoff.files);
    handoff.files.clear();
    return true;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) { return NaturalLessView(a, b); }

bool ReadFolder(const std::string& folder, std::vector<std::string>* subfolders,
                std::vector<std::string>* wavFiles) {
    return Scan(folder, subfolders, wavFiles, nullptr);
}

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

std::vector<std::string> Drives() {
    std::vector<std::string> out{"/"};
    auto add = [&out](const std::string& p) {
        if (!p.empty() && std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
    };
    add(HomeFolder());
    for (const Mount& m : ReadMounts()) {
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

bool DirListBox::SetPath(const std::string& folder) {
    std::string p = NormalPath(folder);
    if (p.empty()) return false;
    std::vector<std::string> names, files;
    Snapshot snap;
    if (!Scan(p, &names, &files, &snap)) return false;
    handoff.valid = snap.trusted;
    handoff.files = snap.trusted ? std::move(files) : std::vector<std::string>();
    handoff.path = p;
    handoff.snap = snap;
    const bool changed = p != path_;
    path_ = std::move(p);
    subfolders_ = std::move(names);
    if (changed && onChange) onChange();
    return true;
}

std::string DirListBox::List(int i) const {
    if (i < 0 || static_cast<size_t>(i) >= subfolders_.size()) return {};
    const std::string& name = subfolders_[static_cast<size_t>(i)];
    return path_ == "/" ? "/" + name : path_ + "/" + name;
}

void FileListBox::SetPath(const std::string& folder) {
    path_ = NormalPath(folder);
    if (!TakeHandoff(path_, &files_)) Refresh();
}

void FileListBox::Refresh() {
    if (!ReadFolder(path_, nullptr, &files_)) files_.clear();
}

const std::string& FileListBox::List(int i) const {
    static const std::string kNone;
    if (i < 0 || static_cast<size_t>(i) >= files_.size()) return kNone;
    return files_[static_cast<size_t>(i)];
}

}  // namespace dirlist
