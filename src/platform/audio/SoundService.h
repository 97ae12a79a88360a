// Plays wave files, one at a time: each start ends the sound before it and returns at once.
#pragma once
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace audio {

class Output;

class SoundService {
  public:
    // Plays through the sound device, opened when the user first comes to the window or at an
    // earlier start, and rested half a minute after the user left and the sound ended.
    SoundService();
    // Plays through output, which must outlive the service; rests it grace after the user left
    // and nothing plays (never without a grace).
    explicit SoundService(Output& output,
                          std::optional<std::chrono::milliseconds> grace = std::nullopt);
    ~SoundService();
    SoundService(const SoundService&) = delete;
    SoundService& operator=(const SoundService&) = delete;

    // Ends the current sound and plays path, once or repeating until the next start. A name that
    // cannot be played gives a short built-in blip instead. Never blocks on the file or device.
    void Start(const std::string& path, bool loop);

    // Whether the user is at the window (it is active, or the pointer is over it). Coming runs
    // the output at once, so that the next key is heard without a device to wake.
    void Attend(bool present);

    // Waits until every start made so far has been taken up and the playing sound is buffered
    // as far as it goes; false if that did not happen within timeout. For tests and benchmarks.
    bool Settle(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // The preview level, a linear gain (1 full, 0 silent) on the sound playing now and on every
    // later start; it ramps over a few milliseconds, so changing it never clicks. Any thread.
    void SetGain(float gain);

    // Bytes held by sound buffers of all services in the process.
    static std::size_t BufferBytes();
    // Threads reading files for any service in the process, those left in a hung read included.
    static int ReaderThreads();
    // Of them, those whose sound is no longer wanted but whose read has not returned yet.
    static int ParkedReaders();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace audio
