// Streams one wave file as float stereo at the output rate (on the reader thread of its voice).
#pragma once
#include <sndfile.h>
#include <soxr.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/FileSource.h"
#include "platform/audio/LoopPlan.h"
#include "platform/audio/Ring.h"

namespace audio {

class Decoder {
  public:
    // Null when the file cannot be played (missing, not a regular file, not a wave libsndfile
    // reads, no frames, implausible length, channel count or rate). The path is bytes, of any
    // length.
    static std::unique_ptr<Decoder> Open(const std::string& path, int outRate, bool loop);
    // The same for a file held in memory; data must outlive the decoder.
    static std::unique_ptr<Decoder> OpenMemory(const void* data, std::size_t size, int outRate,
                                               bool loop);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Writes at most limit frames into ring, as many as fit.
    void Fill(Ring& ring, std::size_t limit);
    // Before the first fill: moves to a little before where out frames of output from the start
    // would have got to, and returns how many output frames that passed over (the rest is for
    // the caller to decode and drop, which gives the resampler its history). Within the first
    // pass and in forward loops, which repeat exactly; other loops stop at the first pass's end.
    std::uint64_t SeekNear(std::uint64_t out);
    // Every frame of a one-shot file is in the ring.
    bool Done() const { return done_; }
    // How often a loop started over: back to frame 0 or its own start, or turning around.
    std::uint64_t Restarts() const { return restarts_; }

  private:
    Decoder() = default;
    static std::unique_ptr<Decoder> Setup(std::unique_ptr<Decoder> d, const SF_INFO& info,
                                          int outRate, bool loop);
    void Decode();
    // The next want frames of the pass into raw; fewer when the file could not give them.
    sf_count_t Read(float* raw, sf_count_t want);
    // Where the next pass of a loop starts; false when it cannot.
    bool Turn();
    void ToStereo(const float* raw, std::size_t frames);

    FileSource src_;
    SNDFILE* sf_ = nullptr;
    soxr_t soxr_ = nullptr;
    int channels_ = 0;
    int inRate_ = 0, outRate_ = 0;
    bool loop_ = false;
    LoopPlan plan_;          // fixed for the sound: a one-shot file plays [0, end) once
    bool float_ = false;     // samples may be anything, NaN and infinity included
    bool backward_ = false;  // reading the loop from its end down
    bool retried_ = false;   // the last read came up short and is asked again
    bool seek_ = false;      // libsndfile's position may not be pos_
    sf_count_t pos_ = 0;     // next frame forward, or one past the next frame backward
    std::vector<float> raw_, in_, out_;
    std::vector<float> left_, right_;  // mix-down weights for more than two channels
    std::size_t inPos_ = 0, inLen_ = 0, outPos_ = 0, outLen_ = 0, outCap_ = 0;
    long long passFrames_ = 0;
    bool fileEnd_ = false, done_ = false;
    std::uint64_t restarts_ = 0;
    std::size_t bytes_ = 0;
};

}  // namespace audio
