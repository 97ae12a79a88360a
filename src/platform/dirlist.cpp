#include "platform/dirlist.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/libindex.h"
#include "platform/workers.h"

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

// Whether the handed-off list still describes path. Touches the folder, so it runs bounded.
bool Fresh(const Handoff& h, const std::string& path) {
    if (!h.valid || h.path != path) return false;
    if (std::chrono::steady_clock::now() - h.snap.taken > kHandoffAge) return false;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    const Snapshot& s = h.snap;
    return st.st_dev == s.dev && st.st_ino == s.ino && Ns(st.st_mtim) == Ns(s.mtime) &&
           Ns(st.st_ctim) == Ns(s.ctime);
}

// The scan seam, and the workers scans run on. Each parked worker waits in the kernel for its
// share; past 32 of them folders stop opening rather than piling up threads without end.
std::atomic<void (*)(const std::string&)> g_beforeScan{nullptr};
std::atomic<int64_t> g_boundMs{kScanBound.count()};
workers::Pool& Scanners() {
    static auto* pool = new workers::Pool(32);  // never destroyed: exit waits for no scan
    return *pool;
}

// What a bounded scan hands back; shared with the scanning thread, which may outlive the wait.
struct ScanResult {
    bool ok = false;
    std::vector<std::string> dirs, files;
    Snapshot snap;
};

// On the scan's worker: the listing goes to the library index, written by its own worker so
// that the listing waits for no database (nor the mount table's read).
void Remember(const std::string& path, const ScanResult& r) {
    if (!libindex::Wanted()) return;  // no index: no task, no copy of the names
    libindex::Folder f{path == "/" ? path : path + "/", r.snap.trusted ? Ns(r.snap.mtime) : 0,
                       libindex::Join(r.dirs), libindex::Join(r.files)};
    Scanners().Run([f = std::move(f)]() mutable {
        for (const std::string& pseudo : PseudoMounts())  // kernel views are not kept
            if (f.path.compare(0, pseudo.size(), pseudo) == 0 &&
                (pseudo == "/" || f.path[pseudo.size()] == '/'))
                return;
        if (auto index = libindex::Shared()) index->Record(std::move(f));
    });
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) { return NaturalLessView(a, b); }

bool ReadFolder(const std::string& folder, std::vector<std::string>* subfolders,
                std::vector<std::string>* wavFiles) {
    return Scan(folder, subfolders, wavFiles, nullptr);
}

void SetScanSeam(void (*beforeScan)(const std::string& folder), std::chrono::milliseconds bound) {
    g_beforeScan.store(beforeScan);
    g_boundMs.store(bound.count());
}

std::chrono::milliseconds ScanBound() { return std::chrono::milliseconds(g_boundMs.load()); }

bool Within(const std::string& folder, std::function<void()> work) {
    return Scanners().RunWithin(
        [folder, work = std::move(work)] {
            if (auto hook = g_beforeScan.load()) hook(folder);
            work();
        },
        std::chrono::milliseconds(g_boundMs.load()));
}

bool FolderOpens(const std::string& folder) {
    if (folder.find('\0') != std::string::npos) return false;
    auto opens = std::make_shared<bool>(false);
    return Within(folder,
                  [opens, folder] {
                      if (DIR* d = opendir(folder.c_str())) {
                          closedir(d);
                          *opens = true;
                      }
                  }) &&
           *opens;
}

bool DirListBox::SetPath(const std::string& folder) {
    std::string p = NormalPath(folder);
    if (p.empty()) return false;
    auto r = std::make_shared<ScanResult>();
    if (!Within(p,
                [r, p] {
                    r->ok = Scan(p, &r->dirs, &r->files, &r->snap);
                    if (r->ok) Remember(p, *r);
                }) ||
        !r->ok)
        return false;
    handoff.valid = r->snap.trusted;
    handoff.files = r->snap.trusted ? std::move(r->files) : std::vector<std::string>();
    handoff.path = p;
    handoff.snap = r->snap;
    const bool changed = p != path_;
    path_ = std::move(p);
    subfolders_ = std::move(r->dirs);
    if (changed && onChange) onChange();
    return true;
}

void FileListBox::SetPath(const std::string& folder) {
    path_ = NormalPath(folder);
    Handoff h = std::move(handoff);
    handoff.valid = false;  // one use only
    auto r = std::make_shared<ScanResult>();
    bool answered = Within(path_, [r, h = std::move(h), p = path_]() mutable {
        if (Fresh(h, p)) {
            r->files = std::move(h.files);
            r->ok = true;
        } else {
            r->ok = Scan(p, nullptr, &r->files, nullptr);
        }
    });
    files_ = answered && r->ok ? std::move(r->files) : std::vector<std::string>();
}

}  // namespace dirlist
