#include "platform/audio/Decoder.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "platform/audio/Voice.h"

namespace audio {

namespace {

constexpr std::size_t kBlock = 1024;  // input frames decoded at a time
constexpr int kMaxChannels = 64;
constexpr sf_count_t kMaxFrames = sf_count_t(1) << 40;
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;

// Left and right weight of one channel in the stereo mix-down.
void Weights(int channelId, int index, float& l, float& r) {
    const float c = 0.70710678f;
    switch (channelId) {
        case SF_CHANNEL_MAP_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT:
        case SF_CHANNEL_MAP_REAR_LEFT:
        case SF_CHANNEL_MAP_SIDE_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
        case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
        case SF_CHANNEL_MAP_TOP_REAR_LEFT:
            l = 1, r = 0;
            return;
        case SF_CHANNEL_MAP_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT:
        case SF_CHANNEL_MAP_REAR_RIGHT:
        case SF_CHANNEL_MAP_SIDE_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
        case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
        case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
            l = 0, r = 1;
            return;
        case SF_CHANNEL_MAP_MONO:
        case SF_CHANNEL_MAP_CENTER:
        case SF_CHANNEL_MAP_FRONT_CENTER:
        case SF_CHANNEL_MAP_REAR_CENTER:
        case SF_CHANNEL_MAP_TOP_CENTER:
        case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
        case SF_CHANNEL_MAP_TOP_REAR_CENTER:
            l = c, r = c;
            return;
        case SF_CHANNEL_MAP_LFE:
            l = 0, r = 0;
            return;
        default:
            break;
    }
    // No usable map: the usual wave order (front L, R, centre, LFE, then pairs).
    if (index == 2) {
        l = c, r = c;
    } else if (index == 3) {
        l = 0, r = 0;
    } else {
        l = index % 2 == 0 ? 1.f : 0.f;
        r = 1.f - l;
    }
}

}  // namespace

std::unique_ptr<Decoder> Decoder::Open(const std::string& path, int outRate, bool loop) {
    int fd = OpenRegularFile(path);
    if (fd < 0) return nullptr;
    std::unique_ptr<Decoder> d(new Decoder);
    d->src_.fd = fd;
    d->src_.path = path;
    SF_INFO info{};
    d->sf_ = d->src_.Open(&info);
    return Setup(std::move(d), info, outRate, loop);
}

std::unique_ptr<Decoder> Decoder::OpenMemory(const void* data, std::size_t size, int outRate,
                                             bool loop) {
    std::unique_ptr<Decoder> d(new Decoder);
    d->src_.data = static_cast<const unsigned char*>(data);
    d->src_.size = static_cast<sf_count_t>(size);
    SF_INFO info{};
    d->sf_ = d->src_.Open(&info);
    return Setup(std::move(d), info, outRate, loop);
}

std::unique_ptr<Decoder> Decoder::Setup(std::unique_ptr<Decoder> d, const SF_INFO& info,
                                        int outRate, bool loop) {
    // Caps of our own where a header could claim anything: a wave of more than 2^40 frames is
    // a lie (years at any rate), and the rates bound the resampler's buffers.
    if (!d->sf_ || info.frames <= 0 || info.frames > kMaxFrames || info.channels < 1 ||
        info.channels > kMaxChannels || info.samplerate < kMinRate || info.samplerate > kMaxRate ||
        outRate < kMinRate || outRate > kMaxRate)
        return nullptr;

    d->channels_ = info.channels;
    d->loop_ = loop;
    if (loop) {
        SF_INSTRUMENT inst{};
        bool have = sf_command(d->sf_, SFC_GET_INSTRUMENT, &inst, sizeof inst) == SF_TRUE;
        d->plan_ = PlanLoop(info.frames, have ? &inst : nullptr);
        d->whole_ = d->plan_.Whole(info.frames);
    }
    if (info.channels > 2) {
        std::vector<int> map(info.channels, 0);
        bool haveMap = sf_command(d->sf_, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                  static_cast<int>(map.size() * sizeof(int))) == SF_TRUE;
        float sumL = 0, sumR = 0;
        for (int i = 0; i < info.channels; ++i) {
            float l, r;
            Weights(haveMap ? map[i] : SF_CHANNEL_MAP_INVALID, i, l, r);
            d->left_.push_back(l);
            d->right_.push_back(r);
            sumL += l, sumR += r;
        }
        // Keep a full-scale signal on every channel at full scale in the mix.
        for (int i = 0; i < info.channels; ++i) {
            if (sumL > 0) d->left_[i] /= sumL;
            if (sumR > 0) d->right_[i] /= sumR;
        }
    }

    d->raw_.resize(kBlock * info.channels);
    d->in_.resize(kBlock * 2);
    if (info.samplerate != outRate) {
        soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        soxr_runtime_spec_t rt = soxr_runtime_spec(1);
        soxr_error_t err = nullptr;
        d->soxr_ = soxr_create(info.samplerate, outRate, 2, &err, &io, &q, &rt);
        if (err || !d->soxr_) return nullptr;
        d->outCap_ =
            static_cast<std::size_t>(std::ceil(double(kBlock) * outRate / info.samplerate)) + 64;
        d->out_.resize(d->outCap_ * 2);
    }
    d->bytes_ = (d->raw_.size() + d->in_.size() + d->out_.size()) * sizeof(float);
    BufferBytesCounter() += d->bytes_;
    return d;
}

Decoder::~Decoder() {
    BufferBytesCounter() -= bytes_;
    if (soxr_) soxr_delete(soxr_);
    if (sf_) sf_close(sf_);
    if (src_.fd >= 0) ::close(src_.fd);
}

void Decoder::ToStereo(const float* raw, std::size_t frames) {
    float* out = in_.data();
    if (channels_ == 1) {
        for (std::size_t i = 0; i < frames; ++i) out[2 * i] = out[2 * i + 1] = raw[i];
    } else if (channels_ == 2) {
        std::copy(raw, raw + frames * 2, out);
    } else {
        for (std::size_t i = 0; i < frames; ++i) {
            const float* f = raw + i * channels_;
            float l = 0, r = 0;
            for (int c = 0; c < channels_; ++c) l += f[c] * left_[c], r += f[c] * right_[c];
            out[2 * i] = l, out[2 * i + 1] = r;
        }
    }
}

void Decoder::Decode() {
    std::size_t got = 0;
    while (got < kBlock) {
        float* at = raw_.data() + got * channels_;
        const auto room = static_cast<sf_count_t>(kBlock - got);
        sf_count_t n = whole_ ? sf_readf_float(sf_, at, room) : ReadLoop(at, room);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            passFrames_ += n;
            continue;
        }
        // End of the data, of the loop, or of what a truncated file holds. A pass that yielded
        // nothing would spin forever, so it ends the sound instead.
        if (n < 0 || !loop_ || passFrames_ == 0 || !Turn()) {
            fileEnd_ = true;
            break;
        }
        passFrames_ = 0;
        ++restarts_;
    }
    ToStereo(raw_.data(), got);
    inPos_ = 0;
    inLen_ = got;
}

sf_count_t Decoder::ReadLoop(float* raw, sf_count_t room) {
    if (!backward_) {
        sf_count_t n = sf_readf_float(sf_, raw, std::min(room, plan_.end - pos_));
        if (n < std::min(room, plan_.end - pos_)) plan_.end = pos_ + n;  // the data ends early
        pos_ += n;
        return n;
    }
    // Backward a block at a time: one seek a block, the frames reversed in place.
    const sf_count_t n = std::min(room, pos_ - plan_.start);
    if (n <= 0) return 0;
    if (sf_seek(sf_, pos_ - n, SEEK_SET) != pos_ - n || sf_readf_float(sf_, raw, n) != n) return -1;
    const auto ch = static_cast<std::size_t>(channels_);
    for (std::size_t a = 0, b = static_cast<std::size_t>(n) - 1; a < b; ++a, --b)
        std::swap_ranges(raw + a * ch, raw + (a + 1) * ch, raw + b * ch);
    pos_ -= n;
    return n;
}

bool Decoder::Turn() {
    if (whole_) return sf_seek(sf_, 0, SEEK_SET) == 0;
    if (plan_.end - plan_.start < 1) return false;
    switch (plan_.mode) {
        case LoopPlan::Forward:
            pos_ = plan_.start;
            return sf_seek(sf_, pos_, SEEK_SET) == pos_;
        case LoopPlan::Backward:
            backward_ = true;
            pos_ = plan_.end;
            return true;
        case LoopPlan::Alternating:
            backward_ = !backward_;
            return backward_ || sf_seek(sf_, pos_, SEEK_SET) == pos_;
    }
    return false;
}

void Decoder::Fill(Ring& ring, std::size_t limit) {
    std::size_t written = 0;
    while (!done_ && written < limit) {
        if (outPos_ < outLen_) {
            std::size_t n =
                ring.Write(&out_[outPos_ * 2], std::min(outLen_ - outPos_, limit - written));
            outPos_ += n;
            written += n;
            if (outPos_ < outLen_) return;  // ring full or limit reached
            continue;
        }
        if (inPos_ == inLen_ && !fileEnd_) Decode();
        if (!soxr_) {
            if (inPos_ == inLen_) {
                done_ = fileEnd_;
                return;
            }
            std::size_t n =
                ring.Write(&in_[inPos_ * 2], std::min(inLen_ - inPos_, limit - written));
            inPos_ += n;
            written += n;
            if (n == 0) return;
            continue;
        }
        std::size_t idone = 0, odone = 0;
        if (inPos_ < inLen_) {
            soxr_process(soxr_, &in_[inPos_ * 2], inLen_ - inPos_, &idone, out_.data(), outCap_,
                         &odone);
        } else if (fileEnd_) {
            // The file is over: drain what the resampler still holds.
            soxr_process(soxr_, nullptr, 0, nullptr, out_.data(), outCap_, &odone);
            if (odone == 0) {
                done_ = true;
                return;
            }
        }
        inPos_ += idone;
        outPos_ = 0;
        outLen_ = odone;
        if (idone == 0 && odone == 0 && inPos_ < inLen_) return;  // should not happen; retry later
    }
}

}  // namespace audio
