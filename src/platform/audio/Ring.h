// Single-producer single-consumer ring of float stereo frames (loader writes, callback reads).
#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>

namespace audio {

class Ring {
  public:
    explicit Ring(std::size_t minFrames) {
        while (cap_ < minFrames) cap_ <<= 1;
        buf_ = std::make_unique<float[]>(cap_ * 2);
    }
    std::size_t Bytes() const { return cap_ * 2 * sizeof(float); }

    // Producer side.
    std::size_t Write(const float* src, std::size_t frames) {
        std::size_t w = w_.load(std::memory_order_relaxed);
        std::size_t r = r_.load(std::memory_order_acquire);
        frames = std::min(frames, cap_ - (w - r));
        CopyIn(w, src, frames);
        w_.store(w + frames, std::memory_order_release);
        return frames;
    }

    // Consumer side.
    std::size_t Available() const {
        return w_.load(std::memory_order_acquire) - r_.load(std::memory_order_relaxed);
    }
    // Frames read since the ring was made.
    std::size_t Consumed() const { return r_.load(std::memory_order_acquire); }
    std::size_t Read(float* dst, std::size_t frames) {
        std::size_t r = r_.load(std::memory_order_relaxed);
        std::size_t w = w_.load(std::memory_order_acquire);
        frames = std::min(frames, w - r);
        CopyOut(r, dst, frames);
        r_.store(r + frames, std::memory_order_release);
        return frames;
    }

  private:
    void CopyIn(std::size_t pos, const float* src, std::size_t frames) {
        std::size_t at = pos & (cap_ - 1);
        std::size_t first = std::min(frames, cap_ - at);
        std::memcpy(buf_.get() + at * 2, src, first * 2 * sizeof(float));
        std::memcpy(buf_.get(), src + first * 2, (frames - first) * 2 * sizeof(float));
    }
    void CopyOut(std::size_t pos, float* dst, std::size_t frames) const {
        std::size_t at = pos & (cap_ - 1);
        std::size_t first = std::min(frames, cap_ - at);
        std::memcpy(dst, buf_.get() + at * 2, first * 2 * sizeof(float));
        std::memcpy(dst + first * 2, buf_.get(), (frames - first) * 2 * sizeof(float));
    }

    std::size_t cap_ = 1;
    std::unique_ptr<float[]> buf_;
    alignas(64) std::atomic<std::size_t> w_{0};
    alignas(64) std::atomic<std::size_t> r_{0};
};

// Fixed-size single-producer single-consumer queue of pointers (callback to loader).
template <typename T, std::size_t N>
class PtrQueue {
    static_assert((N & (N - 1)) == 0, "N must be a power of two");

  public:
    bool Push(T* p) {
        std::size_t w = w_.load(std::memory_order_relaxed);
        if (w - r_.load(std::memory_order_acquire) == N) return false;
        slots_[w & (N - 1)] = p;
        w_.store(w + 1, std::memory_order_release);
        return true;
    }
    T* Pop() {
        std::size_t r = r_.load(std::memory_order_relaxed);
        if (r == w_.load(std::memory_order_acquire)) return nullptr;
        T* p = slots_[r & (N - 1)];
        r_.store(r + 1, std::memory_order_release);
        return p;
    }

  private:
    T* slots_[N] = {};
    alignas(64) std::atomic<std::size_t> w_{0};
    alignas(64) std::atomic<std::size_t> r_{0};
};

}  // namespace audio
