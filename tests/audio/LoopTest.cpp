// A file's own loop in Loop mode: the output equals the one-pass resampling of the frames a
// sampler plays (the attack once, then the loop region as its type says), and the tooltip's loop
// line tells what plays or why the loop is ignored.
#include "AudioFixtures.h"
#include "platform/fileinfo.h"

using namespace audiotest;

TEST(Loop, PlaysTheFilesOwnLoopAsTheOnePassResampling) {
    const int fwd = SF_LOOP_FORWARD, alt = SF_LOOP_ALTERNATING, back = SF_LOOP_BACKWARD;
    const std::uint32_t n = 3000;
    using Runs = std::vector<std::pair<int, int>>;
    // Written by libsndfile (0, its exclusive end) or as raw smpl bytes (1, inclusive end): type,
    // start, end; then the frames that play, as runs from one frame to another (either way), the
    // first once and the others over and over; and the tooltip's line. The last four raw loops do
    // not fit the data: the whole file plays.
    const std::tuple<int, int, std::uint32_t, std::uint32_t, Runs, const char*> rows[] = {
        // clang-format off
        {0, fwd, 1000, 2500, {{0, 2499}, {1000, 2499}}, "loop 0:00.023–0:00.057 · forward"},
        {0, alt, 1000, 2500, {{0, 2499}, {2498, 1000}, {1001, 2499}},
         "loop 0:00.023–0:00.057 · alternating"},
        {0, back, 1000, 2500, {{0, 2499}, {2499, 1000}}, "loop 0:00.023–0:00.057 · backward"},
        {0, alt, 100, 102, {{0, 101}, {100, 100}, {101, 101}},
         "loop 0:00.002–0:00.002 · alternating"},
        {0, alt, 100, 104, {{0, 103}, {102, 100}, {101, 103}},
         "loop 0:00.002–0:00.002 · alternating"},
        {0, SF_LOOP_NONE, 10, 2500, {{0, 2499}, {10, 2499}}, "loop 0:00.000–0:00.057 · forward"},
        {0, fwd, 0, n, {{0, 2999}, {0, 2999}}, "loop 0:00.000–0:00.068 · forward"},
        {1, 0, 500, n, {{0, 2999}, {500, 2999}}, "loop 0:00.011–0:00.068 · forward"},
        {1, 0, 500, n + 1, {{0, 2999}, {0, 2999}}, "loop ignored: end past the data"},
        {1, 0, 500, 0xffffffff, {{0, 2999}, {0, 2999}}, "loop ignored: no end"},
        {1, 2, 2000, 1999, {{0, 2999}, {0, 2999}}, "loop ignored: start not before end"},
        {1, 1, 100, 100, {{0, 2999}, {0, 2999}}, "loop ignored: shorter than two frames"}};
    // clang-format on
    TempDir dir;
    const std::string wave = NoiseWave(dir, "noise.wav", n, 2, 3), data = ReadAll(wave).substr(44),
                      path = dir.file("loop.wav");
    const std::vector<float> noise = ReadStereo(wave);
    for (const auto& [raw, type, start, end, runs, text] : rows) {
        SF_INSTRUMENT inst{1, 0, 0, 0, 0, 0, 0, 1, {{type, start, end, 0}}};
        std::string body = WaveHeader(2, 44100, 16, 0).substr(12, 24) + "smpl" + Le(60, 4) +
                           Le(0, 28) + Le(1, 4) + Le(0, 8) + Le(type, 4) + Le(start, 4) +
                           Le(end, 4) + Le(0, 8) + "data" + Le(data.size(), 4) + data;
        ASSERT_TRUE(
            raw ? !dir.write("loop.wav", "RIFF" + Le(body.size() + 4, 4) + "WAVE" + body).empty()
                : WriteWave(path, noise, 2, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, &inst));
        EXPECT_EQ(fileinfo::LoopText(fileinfo::ReadInfo(path)), text);
        std::vector<float> seq;  // as Loop mode plays it
        for (std::size_t r = 0; seq.size() < 2 * 13000; r = r + 1 < runs.size() ? r + 1 : 1)
            for (int f = runs[r].first, step = f <= runs[r].second ? 1 : -1;; f += step) {
                seq.insert(seq.end(), {noise[2 * f], noise[2 * f + 1]});
                if (f == runs[r].second) break;
            }
        for (int to : {44100, 48000}) {
            const std::vector<float> want = OnePass(seq, 44100, to),
                                     got = Rig(to).Hear(path, 12000, true);
            for (std::size_t i = 0; i < 12000 * 2; ++i)
                ASSERT_NEAR(got[i], want[i], 1e-6f) << text << " at " << to << ", frame " << i / 2;
        }
    }
}
