// Writes small waves of many kinds into a folder, for the decode fuzz target to start from.
//   write_decode_seeds DIR
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "TestSupport.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const struct {
        const char* name;
        int format, channels, rate, frames;
    } seeds[] = {
        {"pcm16_stereo_44k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 600},
        {"u8_mono_8k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000, 800},
        {"float_mono_48k.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, 500},
        {"ima_adpcm_stereo_22k.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 22050, 2000},
        {"ms_adpcm_mono_11k.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 1, 11025, 2000},
        {"gsm610_mono_8k.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 8000, 1600},
        {"ulaw_mono_8k.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, 800},
        {"extensible_pcm16_6ch.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 6, 48000, 300},
        {"rf64_pcm24_stereo.wav", SF_FORMAT_RF64 | SF_FORMAT_PCM_24, 2, 48000, 400},
        {"truncated_pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 16000, 1000},
    };
    int failed = 0;
    for (const auto& s : seeds) {
        const std::string path = std::string(argv[1]) + "/" + s.name;
        const auto tone = testsupport::Tone(440, s.rate, s.frames, s.channels, 0.6f);
        bool ok = testsupport::WriteWave(path, tone, s.channels, s.rate, s.format);
        // The truncated one keeps its header and half its data.
        if (ok && std::string(s.name).rfind("truncated", 0) == 0)
            ok = truncate(path.c_str(), 44 + s.frames) == 0;
        if (!ok) std::fprintf(stderr, "%s: not written\n", s.name);
        failed += ok ? 0 : 1;
    }
    return failed ? 1 : 0;
}
