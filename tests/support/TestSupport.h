// Fixtures shared by the tests: temporary folders and generated wave files.
#pragma once
#include <sndfile.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The folder, without a trailing "/".
    const std::string& path() const { return path_; }
    // path() + "/" + name.
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Creates a sub-folder (and its parents); returns its path.
    std::string mkdir(const std::string& name) const;
    // Creates a file with the given bytes; returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;
    // text with every "@" replaced by path(): table rows name paths below the folder this way.
    std::string fill(std::string text) const;

  private:
    std::string path_;
};

// Writes a wave file of interleaved float samples in [-1, 1] with libsndfile.
// format is an SF_FORMAT_* combination (e.g. SF_FORMAT_WAV | SF_FORMAT_PCM_16).
// Returns false when libsndfile refuses the combination. An instrument puts its loops in the file.
bool WriteWave(const std::string& path, const std::vector<float>& interleaved, int channels,
               int rate, int format, SF_INSTRUMENT* instrument = nullptr);

// v as `bytes` little-endian bytes.
inline std::string Le(std::uint32_t v, int bytes) {
    return bytes ? char(v & 0xff) + Le(v >> 8, bytes - 1) : "";
}

// A canonical 44-byte wave header; data bytes are declared, not written.
inline std::string WaveHeader(int channels, int rate, int bits, std::uint32_t dataBytes,
                              int format = 1) {
    std::uint32_t align = std::uint32_t(channels * bits / 8);
    return "RIFF" + Le(36 + dataBytes, 4) + "WAVEfmt " + Le(16, 4) + Le(format, 2) +
           Le(channels, 2) + Le(rate, 4) + Le(rate * align, 4) + Le(align, 2) + Le(bits, 2) +
           "data" + Le(dataBytes, 4);
}

// Makes the folders subs in folder, one inside the other, step by step so that the whole path may
// exceed PATH_MAX, and writes bytes to name in the last one (in every one when inEach). Returns
// the file's path, "" on failure.
std::string Chain(const std::string& folder, const std::vector<std::string>& subs,
                  const std::string& name, const std::string& bytes = "", bool inEach = false);

// A sine tone, interleaved, the same on every channel.
std::vector<float> Tone(double hz, int rate, int frames, int channels = 1, float amp = 0.5f);

// Polls done every millisecond until it holds, for at most ten seconds; its last answer.
bool Eventually(const std::function<bool()>& done);

// The whole content of a file ("" when it cannot be read).
std::string ReadAll(const std::string& path);

// Runs fn in a forked copy of the process and returns its result (false if the copy dies). When
// running as root the copy becomes nobody unless keepRoot, so that permissions bind; a fileLimit
// above 0 caps the size of any file it writes, as a full disk would.
bool AsUnprivileged(const std::function<bool()>& fn, long fileLimit = 0, bool keepRoot = false);

}  // namespace testsupport
