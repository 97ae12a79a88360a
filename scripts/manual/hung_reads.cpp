// By hand, with hung-reads.sh: the sound service on a FUSE mount whose reads of hang.wav wait.
// Prints how long other files take to be ready, whether Stop silences, and what the service
// holds before and after the share answers again.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/CaptureOutput.h"
#include "platform/audio/SoundService.h"

using audio::SoundService;
using Clock = std::chrono::steady_clock;

static void Holdings(const char* when) {
    std::printf("%s: %d readers, %d parked, %zu buffer bytes\n", when,
                SoundService::ReaderThreads(), SoundService::ParkedReaders(),
                SoundService::BufferBytes());
}

static float Peak(audio::CaptureOutput& cap, std::size_t frames) {
    std::vector<float> buf(frames * 2);
    cap.Pull(buf.data(), frames);
    float p = 0;
    for (float s : buf) p = std::max(p, std::fabs(s));
    return p;
}

int main(int argc, char** argv) {
    if (argc < 4) return std::fprintf(stderr, "usage: hung_reads MOUNT STOP.wav RELEASE\n"), 2;
    const std::string mount = argv[1], stop = argv[2], release = argv[3];
    {
        audio::CaptureOutput cap;
        SoundService svc(cap);
        auto ready = [&](const std::string& name) {
            auto t0 = Clock::now();
            svc.Start(mount + "/" + name, true);
            bool settled = svc.Settle(std::chrono::seconds(2));
            return settled ? std::chrono::duration<double, std::milli>(Clock::now() - t0).count()
                           : -1.0;
        };
        for (const char* name : {"a.wav", "b.wav", "c.wav"})
            std::printf("%s with nothing hung: ready in %.2f ms\n", name, ready(name));
        svc.Start(mount + "/hang.wav", true);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
            double ms = ready(name);
            std::printf("%s beside the hung read: ready in %.2f ms, peak %.3f\n", name, ms,
                        Peak(cap, 4800));
            svc.Start(mount + "/hang.wav", false);  // hangs again: a parked reader each time
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        svc.Start(stop, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Peak(cap, 192);  // the fade
        std::printf("Stop during the hang: peak after the fade %.4f\n", Peak(cap, 4800));
        Holdings("before the share answers");
        std::ofstream(release).put('x');
        std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    Holdings("after it answers, service closed");
    return 0;
}
