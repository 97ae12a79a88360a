#include "platform/audio/Decoder.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "platform/audio/Voice.h"

namespace audio {

namespace {

constexpr std::size_t kBlock = 1024;  // input frames decoded at a time
// Float files may hold anything; beyond this a resampler's sum could overflow to infinity.
constexpr float kHeadroom = 64.f;

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
    // A position the map does not name: the usual wave order (front L, R, centre, LFE, pairs).
    if (index == 2) {
        l = c, r = c;
    } else if (index == 3) {
        l = 0, r = 0;
    } else {
        l = index % 2 == 0 ? 1.f : 0.f;
        r = 1.f - l;
    }
}

// Samples clamped to [-bound, bound]; NaN and infinity become 0.
void Bound(float* s, std::size_t n, float bound) {
    for (std::size_t i = 0; i < n; ++i)
        s[i] = std::isfinite(s[i]) ? std::clamp(s[i], -bound, bound) : 0.f;
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
    if (!d->sf_ || !Playable(info) || outRate < kMinRate || outRate > kMaxRate) return nullptr;

    d->channels_ = info.channels;
    d->inRate_ = info.samplerate;
    d->outRate_ = outRate;
    d->loop_ = loop;
    d->plan_.end = info.frames;
    if (loop) {
        SF_INSTRUMENT inst{};
        bool have = sf_command(d->sf_, SFC_GET_INSTRUMENT, &inst, sizeof inst) == SF_TRUE;
        d->plan_ = PlanLoop(info.frames, have ? &inst : nullptr);
    }
    const int sub = info.format & SF_FORMAT_SUBMASK;
    d->float_ = sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
    if (info.channels > 2) {
        std::vector<int> map(info.channels, 0);
        bool haveMap = sf_command(d->sf_, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                  static_cast<int>(map.size() * sizeof(int))) == SF_TRUE;
        float sumL = 0, sumR = 0;
        for (int i = 0; i < info.channels; ++i) {
            // Without a mask no position is known: channels alternate left and right, as a
            // four-track recorder's quad does (left 1 and 3, right 2 and 4); no LFE is guessed.
            float l = i % 2 == 0 ? 1.f : 0.f, r = 1.f - l;
            if (haveMap) Weights(map[i], i, l, r);
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
        const sf_count_t left = backward_ ? pos_ - plan_.start : plan_.end - pos_;
        const sf_count_t want = std::min(static_cast<sf_count_t>(kBlock - got), left);
        if (want > 0) {
            const sf_count_t n = Read(at, want);
            got += static_cast<std::size_t>(n);
            passFrames_ += n;
            if (n == want) {
                retried_ = false;
                continue;
            }
            // Short: storage that answered late, or data that ends before its header says. It
            // is asked again at the next fill; only nothing twice at one frame ends the pass.
            if (n > 0 || !retried_) {
                retried_ = true;
                break;
            }
        }
        retried_ = false;
        // The end of the pass. One that yielded nothing would spin forever: the sound ends.
        if (!loop_ || passFrames_ == 0 || !Turn()) {
            fileEnd_ = true;
            break;
        }
        passFrames_ = 0;
        ++restarts_;
    }
    // Damaged float files: nothing non-finite reaches the resampler or the device.
    if (float_) Bound(raw_.data(), got * static_cast<std::size_t>(channels_), kHeadroom);
    ToStereo(raw_.data(), got);
    inPos_ = 0;
    inLen_ = got;
}

sf_count_t Decoder::Read(float* raw, sf_count_t want) {
    // Backward a block at a time, one seek a block, the frames reversed in place. Forward seeks
    // only after a turn or a short read, when libsndfile's position is not ours.
    const sf_count_t from = backward_ ? pos_ - want : pos_;
    if ((backward_ || seek_) && sf_seek(sf_, from, SEEK_SET) != from) return 0;
    seek_ = false;
    const sf_count_t n = std::max<sf_count_t>(0, sf_readf_float(sf_, raw, want));
    if (!backward_) {
        seek_ = n < want;
        pos_ += n;
        return n;
    }
    if (n < want) return 0;
    const auto ch = static_cast<std::size_t>(channels_);
    for (std::size_t a = 0, b = static_cast<std::size_t>(n) - 1; a < b; ++a, --b)
        std::swap_ranges(raw + a * ch, raw + (a + 1) * ch, raw + b * ch);
    pos_ -= n;
    return n;
}

std::uint64_t Decoder::SeekNear(std::uint64_t out) {
    // A block short of the position: the resampler starts there without history.
    auto in = static_cast<sf_count_t>(static_cast<double>(out) * inRate_ / outRate_) -
              static_cast<sf_count_t>(kBlock);
    sf_count_t at = in;
    const sf_count_t span = plan_.end - plan_.start;
    if (in >= plan_.end && loop_ && plan_.mode == LoopPlan::Forward && span > 0) {
        at = plan_.start + (in - plan_.start) % span;
        restarts_ = static_cast<std::uint64_t>((in - plan_.start) / span);
    } else {
        in = at = std::min(in, plan_.end - static_cast<sf_count_t>(kBlock));
    }
    if (in <= 0) return 0;
    pos_ = at;
    seek_ = true;
    passFrames_ = 1;  // not an empty pass
    return static_cast<std::uint64_t>(std::llround(static_cast<double>(in) * outRate_ / inRate_));
}

bool Decoder::Turn() {
    seek_ = true;
    switch (plan_.mode) {
        case LoopPlan::Forward:
            pos_ = plan_.start;
            return true;
        case LoopPlan::Backward:
            backward_ = true;
            pos_ = plan_.end;
            return true;
        case LoopPlan::Alternating:
            // The turning frame plays once: down from end - 2, up from start + 1.
            backward_ = !backward_;
            pos_ = backward_ ? plan_.end - 1 : plan_.start + 1;
            return plan_.end - plan_.start >= 2;
    }
    return false;
}

void Decoder::Fill(Ring& ring, std::size_t limit) {
    std::size_t written = 0;
    bool cameShort = false;
    while (!done_ && written < limit) {
        if (outPos_ < outLen_) {
            std::size_t n =
                ring.Write(&out_[outPos_ * 2], std::min(outLen_ - outPos_, limit - written));
            outPos_ += n;
            written += n;
            if (outPos_ < outLen_) return;  // ring full or limit reached
            continue;
        }
        if (inPos_ == inLen_ && !fileEnd_) {
            if (cameShort) return;  // asked again at the next fill, not at once
            Decode();
            cameShort = retried_;
        }
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
