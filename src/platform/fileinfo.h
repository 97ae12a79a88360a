// What a sound file is before it plays: its length, rate, sample format and channels, read from
// the header with libsndfile, the loop it carries and a picture of its peaks; and a small cache
// that reads off the caller's thread and answers when the read is done (a file on a share that
// has gone quiet must not hold the window).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/audio/LoopPlan.h"
#include "platform/overview.h"
#include "platform/workers.h"

namespace fileinfo {

struct WaveInfo {
    int64_t frames = 0;
    int rate = 0;
    int channels = 0;
    int format = 0;  // SF_FORMAT_* container | subtype
};

// All the tooltip shows of a file, about 1 KB.
struct Info {
    std::optional<WaveInfo> wave;  // nullopt when the player would not play the file
    audio::LoopPlan loop;          // what Loop mode makes of the file's own loop
    overview::Overview overview;
};

// The header, loop and overview of path, read in one open; bytesRead, when given, gets how many
// bytes of the file were read.
Info ReadInfo(const std::string& path, int64_t* bytesRead = nullptr);
// The header and loop alone, no overview: what a screen reader says of a file costs a few reads.
Info ReadHeader(const std::string& path, int64_t* bytesRead = nullptr);

// "m:ss.mmm", or "h:mm:ss.mmm" from an hour on; rounded to the millisecond.
std::string LengthText(int64_t frames, int rate);
// "44.1 kHz", "8 kHz", "800 Hz".
std::string RateText(int rate);
// "16-bit", "32-bit float", "IMA ADPCM", "u-law", ... for the subtype of format.
std::string FormatText(int format);
// "mono", "stereo", "5.1", "7.1", otherwise "N Kanäle".
std::string ChannelText(int channels);

// "0:01.250 · 44.1 kHz · 24-bit · stereo" (UTF-8), or "keine abspielbare WAV-Datei".
std::string InfoText(const std::optional<WaveInfo>& info);
// InfoText of the header of path.
std::string Describe(const std::string& path);
// "Schleife 0:00.250–0:00.290 · vorwärts", "Schleife übergangen: Ende hinter den Daten", or "" for
// a file without a loop.
std::string LoopText(const Info& info);

// Infos by path, kept while the file's size and modification time stay the same. Each read runs
// on a thread of its own, at most maxReads at a time; while that many hang, nothing new is read.
class InfoCache {
  public:
    using Reader = std::function<Info(const std::string& path)>;
    // Runs on the reading thread under the cache's lock: it should only hand the info on.
    using Answer = std::function<void(const Info& info)>;
    explicit InfoCache(
        Reader reader = [](const std::string& p) { return ReadInfo(p); }, int maxReads = 4,
        size_t capacity = 512);
    // Answers not given yet are dropped; reads still running finish on their own.
    ~InfoCache();
    InfoCache(const InfoCache&) = delete;
    InfoCache& operator=(const InfoCache&) = delete;

    // Asks for path's info without waiting; answer gets it once read, or straight from the cache
    // when the file is unchanged (that check, too, runs on the reading thread: even a file's
    // status can hang on a share). A lookup while path is being read joins that read. false,
    // and no answer, when maxReads reads hang or no thread can be had.
    bool Lookup(const std::string& path, Answer answer);

  private:
    struct State;
    std::shared_ptr<State> state_;
    workers::Pool reads_;  // goes first, waiting for no read
};

}  // namespace fileinfo
