// A file's own loop in Loop mode: the output equals the one-pass resampling of the frames a
// sampler plays (the attack once, then the loop region as its type says), and the tooltip's loop
// line tells what plays or why the loop is ignored. One read of the file comes up short.
#include <fstream>

#include "AudioFixtures.h"
#include "platform/audio/FileSource.h"
#include "platform/fileinfo.h"

using namespace audiotest;

// Storage that answers one read short: counted from 0, the first read of the samples finds the
// file cut after its first frame, the second finds it whole again.
static std::atomic<int> g_reads{2};
static void CutOnce(audio::IoStage stage, const std::string& path) {
    static std::string whole;
    if (stage != audio::IoStage::Stream || ++g_reads > 2) return;
    if (g_reads == 1 && !(whole = ReadAll(path)).empty() && truncate(path.c_str(), 116) == 0)
        return;
    std::ofstream(path) << whole;
}

TEST(Loop, PlaysTheFilesOwnLoopAsTheOnePassResampling) {
    const std::uint32_t n = 3000;
    using Runs = std::vector<std::pair<int, int>>;
    // The smpl chunk's type (0 forward, 1 alternating, 2 backward, 3 none), start and inclusive
    // end; then the frames that play, as runs from one frame to another (either way), the first
    // once and the others over and over; and the tooltip's line. The last four loops do not fit
    // the data: the whole file plays.
    const std::tuple<int, std::uint32_t, std::uint32_t, Runs, const char*> rows[] = {
        // clang-format off
        {0, 1000, 2499, {{0, 2499}, {1000, 2499}}, "Schleife 0:00.023–0:00.057 · vorwärts"},
        {1, 1000, 2499, {{0, 2499}, {2498, 1000}, {1001, 2499}},
         "Schleife 0:00.023–0:00.057 · wechselnd"},
        {2, 1000, 2499, {{0, 2499}, {2499, 1000}}, "Schleife 0:00.023–0:00.057 · rückwärts"},
        {1, 100, 101, {{0, 101}, {100, 100}, {101, 101}}, "Schleife 0:00.002–0:00.002 · wechselnd"},
        {1, 100, 103, {{0, 103}, {102, 100}, {101, 103}}, "Schleife 0:00.002–0:00.002 · wechselnd"},
        {3, 10, 2499, {{0, 2499}, {10, 2499}}, "Schleife 0:00.000–0:00.057 · vorwärts"},
        {0, 0, n - 1, {{0, 2999}, {0, 2999}}, "Schleife 0:00.000–0:00.068 · vorwärts"},
        {0, 500, n, {{0, 2999}, {500, 2999}}, "Schleife 0:00.011–0:00.068 · vorwärts"},
        {0, 500, n + 1, {{0, 2999}, {0, 2999}}, "Schleife übergangen: Ende hinter den Daten"},
        {0, 500, 0xffffffff, {{0, 2999}, {0, 2999}}, "Schleife übergangen: kein Ende"},
        {2, 2000, 1999, {{0, 2999}, {0, 2999}}, "Schleife übergangen: Anfang nicht vor dem Ende"},
        {1, 100, 100, {{0, 2999}, {0, 2999}}, "Schleife übergangen: kürzer als zwei Frames"}};
    // clang-format on
    TempDir dir;
    const std::string data = ReadAll(NoiseWave(dir, "noise.wav", n, 2, 3)).substr(44),
                      path = dir.file("loop.wav");
    const std::vector<float> noise = ReadStereo(dir.file("noise.wav"));
    audio::SetIoHook(&CutOnce);
    for (const auto& [type, start, end, runs, text] : rows) {
        std::string body = WaveHeader(2, 44100, 16, 0).substr(12, 24) + "smpl" + Le(60, 4) +
                           Le(0, 28) + Le(1, 4) + Le(0, 8) + Le(type, 4) + Le(start, 4) +
                           Le(end, 4) + Le(0, 8) + "data" + Le(data.size(), 4) + data;
        dir.write("loop.wav", "RIFF" + Le(body.size() + 4, 4) + "WAVE" + body);
        EXPECT_EQ(fileinfo::LoopText(fileinfo::ReadInfo(path)), text);
        std::vector<float> seq;  // as Loop mode plays it
        for (std::size_t r = 0; seq.size() < 2 * 66000; r = r + 1 < runs.size() ? r + 1 : 1)
            for (int f = runs[r].first, d = f <= runs[r].second ? 1 : -1; f != runs[r].second + d;
                 f += d)
                seq.insert(seq.end(), {noise[2 * f], noise[2 * f + 1]});
        for (int to : {44100, 48000}) {
            Rig rig(to);  // the cut comes once the ring is full
            std::vector<float> got = rig.Hear(path, 4096, true),
                               more = (g_reads = 0, rig.Pull(60000));
            got.insert(got.end(), more.begin(), more.end());
            const std::vector<float> want = OnePass(seq, 44100, to);
            for (std::size_t i = 0; i < got.size(); ++i)
                ASSERT_NEAR(got[i], want[i], 1e-6f) << text << " at " << to << ", frame " << i / 2;
        }
    }
    audio::SetIoHook(nullptr);
}
