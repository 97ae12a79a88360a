// A file's own loop in Loop mode: the output equals the one-pass resampling of the frames a
// sampler plays (the attack once, then the loop region as its type says).
#include "AudioFixtures.h"

using namespace audiotest;

namespace {

constexpr int kFrames = 3000, kFrom = 44100;

// n or more stereo frames of file in the order Loop mode plays them.
std::vector<float> Sequence(const std::vector<float>& file, int s, int e, int mode, std::size_t n) {
    std::vector<int> order;
    for (int i = 0; i < e; ++i) order.push_back(i);
    for (bool back = false; order.size() < n;) {
        back = mode == SF_LOOP_BACKWARD || (mode == SF_LOOP_ALTERNATING && !back);
        for (int i = 0; i < e - s; ++i) order.push_back(back ? e - 1 - i : s + i);
    }
    std::vector<float> out;
    for (int f : order) out.insert(out.end(), {file[2 * f], file[2 * f + 1]});
    return out;
}

// A 16-bit stereo wave whose smpl chunk holds one loop as given, inclusive end and all, byte by
// byte: libsndfile writes no malformed loops.
std::string RawLoop(const TempDir& dir, const std::string& name, const std::vector<float>& v,
                    std::uint32_t start, std::uint32_t last) {
    std::string data, smpl = Le(0, 4 * 7) + Le(1, 4) + Le(0, 4) + Le(0, 8) + Le(start, 4) +
                             Le(last, 4) + Le(0, 8);
    for (float x : v) data += Le(std::uint32_t(std::lround(x * 32767)) & 0xffff, 2);
    std::string body = WaveHeader(2, kFrom, 16, 0).substr(12, 24) + "smpl" + Le(smpl.size(), 4) +
                       smpl + "data" + Le(data.size(), 4) + data;
    return dir.write(name, "RIFF" + Le(body.size() + 4, 4) + "WAVE" + body);
}

}  // namespace

TEST(Loop, PlaysTheFilesOwnLoopAsTheOnePassResampling) {
    const int fwd = SF_LOOP_FORWARD, alt = SF_LOOP_ALTERNATING, back = SF_LOOP_BACKWARD;
    struct Row {
        const char* name;
        bool raw;  // start and end as the chunk holds them (inclusive end), else as libsndfile's
        int type;
        std::uint32_t start, end;
        int s, e, mode;  // what plays
    };
    const std::uint32_t f = kFrames;
    // clang-format off
    const Row rows[] = {
        {"forward", false, fwd, 1000, 2500, 1000, 2500, fwd},
        {"alternating", false, alt, 1000, 2500, 1000, 2500, alt},
        {"backward", false, back, 1000, 2500, 1000, 2500, back},
        {"alternating over two frames", false, alt, 100, 102, 100, 102, alt},
        {"another type plays forward", false, SF_LOOP_NONE, 1000, 2500, 1000, 2500, fwd},
        {"the whole file", false, fwd, 0, f, 0, kFrames, fwd},
        {"end = frames + 1", true, 0, 500, f, 500, kFrames, fwd},
        {"end past the data", true, 0, 500, f + 1, 0, kFrames, fwd},
        {"end wraps to 0", true, 0, 500, 0xffffffff, 0, kFrames, fwd},
        {"start not before end", true, 0, 2000, 1999, 0, kFrames, fwd},
        {"one frame", true, 1, 100, 100, 0, kFrames, fwd},
    };
    // clang-format on
    TempDir dir;
    std::vector<float> noise = ReadStereo(NoiseWave(dir, "noise.wav", kFrames, 2, 3));
    for (const Row& r : rows) {
        SF_INSTRUMENT inst{};
        inst.loop_count = 1;
        inst.loops[0] = {r.type, r.start, r.end, 0};
        std::string path =
            r.raw ? RawLoop(dir, "raw.wav", noise, r.start, r.end) : dir.file("w.wav");
        ASSERT_TRUE(r.raw ||
                    WriteWave(path, noise, 2, kFrom, SF_FORMAT_WAV | SF_FORMAT_PCM_16, &inst));
        const std::vector<float> file = ReadStereo(path);
        for (int to : {kFrom, 48000}) {
            SCOPED_TRACE(std::string(r.name) + " at " + std::to_string(to));
            const std::size_t frames = 12000;
            const std::vector<float> want =
                OnePass(Sequence(file, r.s, r.e, r.mode, frames * kFrom / to + 1000), kFrom, to);
            Rig rig(to);
            const std::vector<float> got = rig.Hear(path, frames, true);
            for (std::size_t i = 0; i < frames * 2; ++i)
                ASSERT_NEAR(got[i], want[i], 1e-6f) << "frame " << i / 2;
        }
    }
}
