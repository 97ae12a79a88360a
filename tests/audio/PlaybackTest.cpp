// What the service plays, checked sample by sample on the capture output.
#include <unistd.h>

#include <array>

#include "AudioFixtures.h"

using namespace audiotest;

namespace {

// Once: the file resampled, nothing more. Looped over 20 seams or more: the endlessly repeated
// file resampled in one pass, so the pitch is exact and no frame is dropped or doubled.
void PlaysLikeTheRepeatedFile(const std::string& path, int from, int to, std::string same = "") {
    SCOPED_TRACE(path.substr(0, 200) + " " + std::to_string(from) + " -> " + std::to_string(to));
    const std::vector<float> file = ReadStereo(same.empty() ? path : same);
    ASSERT_FALSE(file.empty());
    const std::size_t len = file.size() / 2;
    const std::vector<float> once = OnePass(file, from, to);
    Rig rig(to);
    EXPECT_TRUE(PlaysExactly(rig.Hear(path, once.size() / 2 + 3000), once, 1e-6f));
    const std::size_t frames = std::max<std::size_t>(20 * len * to / from + 1, 9000);
    std::vector<float> repeated;
    while (repeated.size() / 2 < (frames + 1000) * from / to)
        repeated.insert(repeated.end(), file.begin(), file.end());
    const std::vector<float> want = OnePass(repeated, from, to);
    const std::vector<float> got = rig.Hear(path, frames, true);
    for (std::size_t i = 0; i < frames * 2; ++i)
        ASSERT_NEAR(got[i], want[i], 1e-6f)
            << "frame " << i / 2 << " of a " << len << "-frame loop";
}

std::string Chunk(const std::string& id, const std::string& body) {
    return id + Le(std::uint32_t(body.size()), 4) + body + std::string(body.size() % 2, '\0');
}

}  // namespace

TEST(Playback, OnceAndLoopedEqualTheFileResampledInOnePass) {
    TempDir dir;
    const int rates[][2] = {{44100, 48000}, {22050, 48000}, {96000, 48000},
                            {48000, 44100}, {8000, 48000},  {48000, 48000}};
    const int codecs[] = {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT};
    // Around one read block of the decoder (1024 frames) too; the long files (twenty seams each)
    // only where no sanitizer slows the resampler tenfold.
#ifdef WAV_SANITIZED
    const int lengths[] = {1, 37, 441, 1023, 1024, 1025};
#else
    const int lengths[] = {1, 37, 441, 4410, 44100, 1023, 1024, 1025};
#endif
    unsigned n = 0;
    for (auto& r : rates)
        for (int len : lengths) {
            ++n;
            std::string path =
                NoiseWave(dir, std::to_string(n) + ".wav", len, 1 + n % 2, n, codecs[n % 3], r[0]);
            PlaysLikeTheRepeatedFile(path, r[0], r[1]);
        }
    // Less in the file than its header says: what libsndfile reads of it. Ten megabytes of
    // metadata before the data.
    std::string cut = NoiseWave(dir, "cut.wav", 24000, 1, 5), noise = ReadAll(cut).substr(44);
    ASSERT_EQ(truncate(cut.c_str(), 44 + 8000 * 2 + 1), 0);  // mid-sample
    std::vector<std::string> odd = {cut};
    for (auto [ch, bits, claim] : {std::array{1u, 16u, ~15u}, {1u, 16u, ~0u}, {2u, 24u, ~15u}})
        odd.push_back(
            dir.write(std::to_string(odd.size()) + ".wav",
                      WaveHeader(ch, kRate, bits, claim) + noise.substr(0, 8000 * ch * bits / 8)));
    for (std::string id : {"LIST", "junk", "abcd"}) {
        std::string meta = id == "LIST" ? "INFO" + Chunk("ICMT", std::string((10 << 20) - 12, 'c'))
                                        : std::string(10 << 20, '\0');
        std::string fmt = WaveHeader(1, kRate, 16, 0).substr(12, 24);
        odd.push_back(dir.write(
            id + ".wav",
            Chunk("RIFF", "WAVE" + fmt + Chunk(id, meta) + Chunk("data", noise.substr(0, 8000)))));
    }
    for (const std::string& p : odd) PlaysLikeTheRepeatedFile(p, kRate, kRate);
    // Names play by their bytes: a newline, 255 bytes, invalid UTF-8, longer than PATH_MAX.
    std::string w = NoiseWave(dir, "w.wav", 3000, 2, 21), e(250, 'e');
    std::vector<std::string> deep(20, std::string(250, 'd')), up(18, e);
    up.insert(up.begin() + 9, {"f", ".."});
    const std::pair<std::vector<std::string>, std::string> names[] = {
        {{}, "two\nlines.wav"},
        {{}, std::string(251, 'n') + ".wav"},
        {{"\xff\xfe dir"}, "caf\xe9 \xc3(.wav"},
        {deep, "deep.wav"},
        {up, "up.wav"}};
    for (auto& [subs, name] : names)
        PlaysLikeTheRepeatedFile(Chain(dir.path(), subs, name, ReadAll(w)), kRate, kRate, w);
}

// Looped and resampled, one cycle of a sine is a steady tone of its pitch and level, numbers of
// the tone rather than of any resampler: a frame dropped or doubled at each seam moves the pitch.
TEST(Playback, ALoopedCycleResampledIsASteadyTone) {
    TempDir dir;
    const std::string cycle = ToneWave(dir, "c.wav", 441, 44100, 100);
    EXPECT_NEAR(ToneLevel(Rig().Hear(cycle, kRate, true), 4800, kRate, 441), 0.5, 0.005);
}

// Each start fades the sound before it out, a start within that fade too: the level of the
// sounds going falls smoothly to zero within a few milliseconds. The last plays from its first
// sample. Without a device all is silent and the next start tries again.
TEST(Playback, SwitchingSoundsAndDevices) {
    TempDir dir;
    std::string a = dir.file("a.wav"), c = dir.file("c.wav"),
                b = NoiseWave(dir, "b.wav", 20000, 2, 7, SF_FORMAT_FLOAT);
    std::vector<float> wantB = ReadStereo(b);
    for (auto [path, x] : {std::pair{a, 0.25f}, {c, 0.2f}})  // steady levels
        ASSERT_TRUE(WriteWave(path, std::vector<float>(4000, x), 1, kRate,
                              SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    Rig rig;
    for (std::size_t gap : {64u, 150u}) {  // frames between the starts of c and b
        rig.Hear(a, 1000, true);
        std::vector<float> going = rig.Hear(c, gap, true), got = rig.Hear(b, 30000);
        for (std::size_t i = 0; i < kFade * 2; ++i) going.push_back(got[i] - wantB[i]);
        for (std::size_t i = 2; i < going.size(); ++i)
            ASSERT_TRUE(going[i] <= going[i - 2] + 1e-6f && going[i - 2] - going[i] < 0.01f)
                << i / 2;
        EXPECT_TRUE(PlaysExactly(std::vector<float>(got.begin() + kFade * 2, got.end()),
                                 std::vector<float>(wantB.begin() + kFade * 2, wantB.end())));
    }
    rig.cap.SetAvailable(false);
    rig.cap.Disconnect();  // unplugged while playing: closed, and opened afresh later
    EXPECT_EQ(SoundEnd(rig.Hear(a, 4000)), 0u);
    rig.cap.SetAvailable(true);
    EXPECT_TRUE(PlaysExactly(rig.Hear(b, 30000), wantB));
    EXPECT_EQ(rig.cap.Opens(), 2);
}
