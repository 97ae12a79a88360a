// Writes the silent stop sound and a small demo library of generated waves:
//   makewaves <path of STOP.wav> <demo folder>
// Everything is synthesised here, so the build needs no sample files.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool Write(const fs::path& path, const std::vector<float>& frames, int channels, int rate,
           int format, const SF_INSTRUMENT* instrument = nullptr) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        std::fprintf(stderr, "makewaves: cannot write %s: %s\n", path.c_str(),
                     sf_strerror(nullptr));
        return false;
    }
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    SF_INSTRUMENT copy = instrument ? *instrument : SF_INSTRUMENT{};
    if (instrument) sf_command(f, SFC_SET_INSTRUMENT, &copy, sizeof copy);
    sf_writef_float(f, frames.data(), static_cast<sf_count_t>(frames.size()) / channels);
    sf_close(f);
    return true;
}

std::vector<float> Sine(double hz, double seconds, int rate, double amp) {
    std::vector<float> out(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        double env = std::min(1.0, std::min(t, seconds - t) / 0.01);  // 10 ms edges, no clicks
        out[i] = static_cast<float>(amp * env * std::sin(2 * M_PI * hz * t));
    }
    return out;
}

// A kick: a falling sine with a fast decay.
std::vector<float> Kick(int rate) {
    std::vector<float> out(static_cast<size_t>(0.4 * rate));
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        double hz = 45 + 110 * std::exp(-t * 30);
        phase += 2 * M_PI * hz / rate;
        out[i] = static_cast<float>(0.9 * std::exp(-t * 9) * std::sin(phase));
    }
    return out;
}

// Snare and hat: filtered noise bursts.
std::vector<float> Noise(int rate, double seconds, double decay, double tone, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> d(-1, 1);
    std::vector<float> out(static_cast<size_t>(seconds * rate));
    double last = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        double n = d(gen);
        double hp = n - last;  // a crude high-pass brightens the hat
        last = n;
        double body = tone > 0 ? 0.4 * std::sin(2 * M_PI * tone * t) : 0;
        out[i] = static_cast<float>(0.6 * std::exp(-t * decay) * (tone > 0 ? n + body : hp));
    }
    return out;
}

void MixInto(std::vector<float>& stereo, const std::vector<float>& mono, size_t at, float pan) {
    for (size_t i = 0; i < mono.size() && (at + i) * 2 + 1 < stereo.size(); ++i) {
        stereo[(at + i) * 2] += mono[i] * (1 - pan);
        stereo[(at + i) * 2 + 1] += mono[i] * pan;
    }
}

// Two bars of a simple beat at 120 bpm, stereo, exactly loopable.
std::vector<float> BeatLoop(int rate) {
    const size_t beat = static_cast<size_t>(rate / 2);
    std::vector<float> out(beat * 8 * 2, 0.0f);
    auto kick = Kick(rate), snare = Noise(rate, 0.25, 18, 190, 7),
         hat = Noise(rate, 0.06, 60, 0, 9);
    for (size_t b = 0; b < 8; ++b) {
        MixInto(out, b % 2 == 0 ? kick : snare, b * beat, 0.5f);
        MixInto(out, hat, b * beat + beat / 2, 0.7f);
    }
    for (float& v : out) v *= 0.8f;
    return out;
}

}  // namespace

// A stereo pad as samplers hold it: a bright attack (0.3 s), a sustain of whole cycles with one
// tremolo cycle (0.2 s, looped in the smpl chunk), then a release tail that Loop mode never plays.
std::vector<float> Pad(int rate, SF_INSTRUMENT& loop) {
    const size_t start = size_t(rate) * 3 / 10, end = size_t(rate) / 2;
    std::vector<float> out(size_t(rate) * 6 / 5 * 2);
    for (size_t i = 0; i < out.size() / 2; ++i) {
        const double t = double(i) / rate;
        const double env = i < start ? 0.4 * t / 0.3 * (1 + 0.8 * std::exp(-t * 40))
                           : i < end ? 0.4 * (1 + 0.25 * std::sin(2 * M_PI * 5 * (t - 0.3)))
                                     : 0.4 * std::exp(-(t - 0.5) * 6);
        const double v = env * (std::sin(2 * M_PI * 110 * t) + 0.5 * std::sin(2 * M_PI * 330 * t));
        out[2 * i] = static_cast<float>(v / 1.5);
        out[2 * i + 1] = static_cast<float>(0.8 * v / 1.5);
    }
    loop.loop_count = 1;
    loop.loops[0] = {SF_LOOP_FORWARD, uint32_t(start), uint32_t(end), 0};
    return out;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: makewaves <STOP.wav> <demo folder>\n");
        return 2;
    }
    const int cd = 44100;
    bool ok = Write(argv[1], std::vector<float>(cd / 20, 0.0f), 1, cd, SF_FORMAT_PCM_16);

    fs::path demo = argv[2];
    for (const char* sub : {"Tones", "Drums", "Loops", "Drums/Extra"})
        fs::create_directories(demo / sub);
    ok &= Write(demo / "Ding.wav", Sine(1318.5, 0.6, cd, 0.4), 1, cd, SF_FORMAT_PCM_16);
    ok &= Write(demo / "Tones/A 440 Hz.wav", Sine(440, 1.0, cd, 0.5), 1, cd, SF_FORMAT_PCM_16);
    ok &= Write(demo / "Tones/Tone 1 kHz float 48k.wav", Sine(1000, 1.0, 48000, 0.5), 1, 48000,
                SF_FORMAT_FLOAT);
    ok &= Write(demo / "Tones/Tone 220 Hz 24-bit 96k.wav", Sine(220, 1.0, 96000, 0.5), 1, 96000,
                SF_FORMAT_PCM_24);
    ok &= Write(demo / "Tones/Tone 660 Hz 8-bit 22k.wav", Sine(660, 1.0, 22050, 0.5), 1, 22050,
                SF_FORMAT_PCM_U8);
    ok &= Write(demo / "Drums/Kick 1.wav", Kick(cd), 1, cd, SF_FORMAT_PCM_16);
    ok &= Write(demo / "Drums/Snare 2.wav", Noise(cd, 0.25, 18, 190, 7), 1, cd, SF_FORMAT_PCM_16);
    ok &= Write(demo / "Drums/Hat 10.wav", Noise(cd, 0.06, 60, 0, 9), 1, cd, SF_FORMAT_PCM_24);
    ok &= Write(demo / "Drums/Extra/Snare ADPCM.wav", Noise(cd, 0.25, 14, 210, 3), 1, cd,
                SF_FORMAT_IMA_ADPCM);
    ok &= Write(demo / "Loops/Beat 120 bpm.wav", BeatLoop(cd), 2, cd, SF_FORMAT_PCM_16);
    ok &=
        Write(demo / "Loops/Drone 48k.wav", Sine(110, 2.0, 48000, 0.3), 1, 48000, SF_FORMAT_PCM_16);
    SF_INSTRUMENT loop{};
    std::vector<float> pad = Pad(cd, loop);
    ok &= Write(demo / "Loops/Pad with sustain loop.wav", pad, 2, cd, SF_FORMAT_PCM_16, &loop);
    return ok ? 0 : 1;
}
