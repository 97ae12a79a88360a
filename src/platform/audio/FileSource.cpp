#include "platform/audio/FileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace audio {

namespace {

std::atomic<IoHook> g_hook{nullptr};

// open(2) for a path of any length: one longer than the kernel takes is walked in pieces that
// end at a "/", each opened relative to the one before.
int OpenPath(const std::string& path, int flags) {
    if (path.empty() || path.find('\0') != std::string::npos) return -1;  // no file has that name
    if (path.size() < PATH_MAX) return ::open(path.c_str(), flags);
    int dir = AT_FDCWD;
    std::size_t at = 0;
    while (path.size() - at >= PATH_MAX) {
        std::size_t cut = path.rfind('/', at + PATH_MAX - 1);
        if (cut == std::string::npos || cut < at) {
            if (dir != AT_FDCWD) ::close(dir);
            errno = ENAMETOOLONG;
            return -1;
        }
        std::string piece = cut == at ? std::string("/") : path.substr(at, cut - at);
        int next = ::openat(dir, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir != AT_FDCWD) ::close(dir);
        if (next < 0) return -1;
        dir = next;
        at = cut + 1;
    }
    int fd = ::openat(dir, path.c_str() + at, flags);
    if (dir != AT_FDCWD) ::close(dir);
    return fd;
}

}  // namespace

void SetIoHook(IoHook hook) { g_hook.store(hook, std::memory_order_release); }

// Each read of a file passes the test seam first.
sf_count_t FileSource::Length(void* p) {
    auto* s = static_cast<FileSource*>(p);
    struct stat st {};
    if (s->fd < 0) return s->size;
    return ::fstat(s->fd, &st) == 0 ? st.st_size : 0;
}

sf_count_t FileSource::Seek(sf_count_t offset, int whence, void* p) {
    auto* s = static_cast<FileSource*>(p);
    sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s->pos : Length(p);
    // Past the end is allowed, as with a file; before the start or overflowing is not.
    if (offset < -base || (offset > 0 && base > INT64_MAX - offset)) return -1;
    return s->pos = base + offset;
}

sf_count_t FileSource::Read(void* dst, sf_count_t count, void* p) {
    auto* s = static_cast<FileSource*>(p);
    if (count <= 0) return 0;
    if (s->fd >= 0 && s->stage == IoStage::Header) return s->ReadBlocks(dst, count);
    if (s->fd < 0) {
        sf_count_t n = std::clamp<sf_count_t>(s->size - s->pos, 0, count);
        if (n > 0) std::memcpy(dst, s->data + s->pos, static_cast<std::size_t>(n));
        s->pos += n;
        return n;
    }
    const sf_count_t got = s->ReadDisk(dst, count, s->pos);
    s->pos += got;
    return got;
}

sf_count_t FileSource::ReadDisk(void* dst, sf_count_t count, sf_count_t at) {
    if (IoHook hook = g_hook.load(std::memory_order_acquire)) hook(stage, path);
    sf_count_t got = 0;
    while (got < count) {
        ssize_t n = ::pread(fd, static_cast<char*>(dst) + got,
                            static_cast<std::size_t>(count - got), static_cast<off_t>(at + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    bytesRead += got;
    return got;
}

sf_count_t FileSource::Tell(void* p) { return static_cast<FileSource*>(p)->pos; }

SNDFILE* FileSource::Open(SF_INFO* info) {
    static SF_VIRTUAL_IO io = {&Length, &Seek, &Read,
                               [](const void*, sf_count_t, void*) -> sf_count_t { return 0; },
                               &Tell};
    stage = IoStage::Header;
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, info, this);
    stage = IoStage::Stream;
    headerBlocks.clear();
    return file;
}

sf_count_t FileSource::ReadBlocks(void* dst, sf_count_t count) {
    constexpr sf_count_t kBlock = 4096;
    constexpr std::size_t kMostBlocks = 256;  // a header that wanders far is read as it goes
    sf_count_t got = 0;
    const sf_count_t want = pos;
    while (got < count) {
        const sf_count_t here = want + got, at = here / kBlock * kBlock;
        auto it = headerBlocks.find(at);
        if (it == headerBlocks.end()) {
            if (headerBlocks.size() >= kMostBlocks) headerBlocks.clear();
            std::string block(kBlock, '\0');
            block.resize(static_cast<std::size_t>(ReadDisk(block.data(), kBlock, at)));
            it = headerBlocks.emplace(at, std::move(block)).first;
        }
        const sf_count_t from = here - at;
        const sf_count_t n =
            std::min(count - got, static_cast<sf_count_t>(it->second.size()) - from);
        if (n <= 0) break;
        std::memcpy(static_cast<char*>(dst) + got, it->second.data() + from,
                    static_cast<std::size_t>(n));
        got += n;
    }
    pos = want + got;
    return got;
}

bool Playable(const SF_INFO& info) {
    return info.frames > 0 && info.frames <= sf_count_t(1) << 40 && info.channels >= 1 &&
           info.channels <= 64 && info.samplerate >= kMinRate && info.samplerate <= kMaxRate;
}

int OpenRegularFile(const std::string& path) {
    if (IoHook hook = g_hook.load(std::memory_order_acquire)) hook(IoStage::Open, path);
    int fd = OpenPath(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    // Reads may block from here on, as they do on any file.
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace audio
