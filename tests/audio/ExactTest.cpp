// What plays of a file: channels without a mask, damaged floats, and what the player takes at
// all, where the tooltip agrees.
#include <cstdio>

#include "AudioFixtures.h"
#include "platform/fileinfo.h"

using namespace audiotest;

// Each channel holds one level for a tenth of a second (the levels repeat across the channels).
// The middle frame heard, left and right; or kNo: the fallback plays, the tooltip shows no wave.
TEST(Exact, WhatPlaysOfAFile) {
    const float kNo = 9, nan = NAN, inf = INFINITY;
    // clang-format off
    const std::tuple<int, int, std::vector<float>, float, float, int> rows[] = {  // channels, rate
        {4, kRate, {.1f, .2f, .4f, .8f}, .25f, .5f, 0},  // no mask: left 1 and 3, right 2 and 4
        {6, kRate, {.1f, .2f, .4f, .8f, .05f, .025f}, .183333f, .341667f, 0},
        // A mask naming front left and right only: centre, LFE, then left and right, as waves go.
        {6, kRate, {.1f, .2f, .4f, .8f, .05f, .025f}, .159891f, .187596f, 3},
        {2, kRate, {nan, -inf}, 0, 0, 0}, {2, 44100, {inf, nan}, 0, 0, 0},
        {1, kRate, {}, kNo, kNo, 0}, {1, 999, {.5f}, kNo, kNo, 0}, {1, 1000, {.5f}, .5f, .5f, 0},
        {2, 768000, {.5f}, .5f, .5f, 0}, {2, 768001, {.5f}, kNo, kNo, 0},
        {64, kRate, {.5f}, .5f, .5f, 0}, {65, kRate, {.5f}, kNo, kNo, 0}};
    // clang-format on
    TempDir dir;
    const std::string path = dir.file("w.wav");
    for (const auto& [channels, rate, levels, left, right, mask] : rows) {
        std::vector<float> s(levels.empty() ? 0 : std::size_t(rate / 10 * channels));
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = levels[i % channels % levels.size()];
        ASSERT_TRUE(WriteWave(path, s, channels, rate,
                              (mask ? SF_FORMAT_WAVEX : SF_FORMAT_WAV) | SF_FORMAT_FLOAT));
        if (mask) {  // the extensible header's channel mask, at byte 40
            std::FILE* f = std::fopen(path.c_str(), "r+b");
            ASSERT_TRUE(f && !std::fseek(f, 40, SEEK_SET) && std::fputc(mask, f) == mask);
            std::fclose(f);
        }
        const fileinfo::Info info = fileinfo::ReadInfo(path);
        const std::vector<float> got = Rig().Hear(path, 4800);
        const bool plays = ToneLevel(got, 0, 1920, 880) < 0.03;  // the fallback: 880, 660 Hz
        EXPECT_EQ(plays * 10 + bool(info.wave), left == kNo ? 0 : 11) << channels << ", " << rate;
        EXPECT_LT(plays ? std::fabs(got[4800] - left) + std::fabs(got[4801] - right) : 0, 1e-4f)
            << channels << " channels at " << rate << ": " << got[4800] << ", " << got[4801];
    }
}
