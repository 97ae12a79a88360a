// What libsndfile reads a sound file through: positioned reads on a descriptor of our own, or a
// block of memory. No lock is held, so a read that hangs holds up only the thread that made it.
#pragma once
#include <sndfile.h>

#include <map>
#include <string>

namespace audio {

// Sample rates the player takes, of files and of outputs.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;

// Where a file read stands: before open(), reading the header, streaming the samples.
enum class IoStage { Open, Header, Stream };
// Test seam: called before each of those reads of a file on disk; it may block, as storage that
// stopped answering does. Costs one atomic load while none is set.
using IoHook = void (*)(IoStage stage, const std::string& path);
void SetIoHook(IoHook hook);

// The regular file at path (bytes, of any length) opened for reading, or -1. A FIFO or device
// node cannot hold the caller.
int OpenRegularFile(const std::string& path);

// Whether the player plays a file with this header at all; the tooltip answers by the same rule.
// Caps of our own where a header could claim anything: more than 2^40 frames is a lie (years at
// any rate), and the rates bound the resampler's buffers.
bool Playable(const SF_INFO& info);

struct FileSource {
    int fd = -1;  // the file, or -1 for the memory at data
    const unsigned char* data = nullptr;
    sf_count_t size = 0, pos = 0;
    sf_count_t bytesRead = 0;  // from the file, all reads together
    std::string path;
    IoStage stage = IoStage::Stream;
    // libsndfile reads a header in dozens of small pieces, each a round trip on a share: while
    // the header is read, each 4 KB block of the file (the head, and the tail where a loop often
    // lies) is read once and kept until the header is done.
    std::map<sf_count_t, std::string> headerBlocks;

    // libsndfile over this source (the header read at the Header stage), or null.
    SNDFILE* Open(SF_INFO* info);
    static sf_count_t Length(void* p);
    static sf_count_t Seek(sf_count_t offset, int whence, void* p);
    static sf_count_t Read(void* dst, sf_count_t count, void* p);
    static sf_count_t Tell(void* p);

  private:
    sf_count_t ReadBlocks(void* dst, sf_count_t count);  // at pos, through headerBlocks
    sf_count_t ReadDisk(void* dst, sf_count_t count, sf_count_t at);
};

}  // namespace audio
