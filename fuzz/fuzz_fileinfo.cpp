// Whatever bytes a file holds, the tooltip's reader (header, loop, peaks) reads it through a file
// descriptor as it reads any file, its texts describe what it found, and it shows a wave exactly
// when the player would play the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/audio/Decoder.h"
#include "platform/fileinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("fuzz.wav", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) return 0;
    const fileinfo::Info info = fileinfo::ReadInfo(path);
    const std::string text = fileinfo::InfoText(info.wave) + fileinfo::LoopText(info);
    if (text.empty()) __builtin_trap();
    if (info.wave.has_value() != (audio::Decoder::Open(path, 48000, false) != nullptr))
        __builtin_trap();
    if (!info.wave && (info.overview.lanes != 0 || info.loop.check != audio::LoopPlan::None))
        __builtin_trap();
    if (info.wave) {
        const auto& loop = info.loop;
        if (loop.start < 0 || loop.start > loop.end || loop.end > info.wave->frames)
            __builtin_trap();
        const auto peaks = std::size_t(info.overview.lanes) * overview::kColumns * 2;
        if (info.overview.lanes > 2 || info.overview.peaks.size() != peaks) __builtin_trap();
        for (std::size_t at = 0; at < peaks; at += 2)
            if (info.overview.peaks[at] > info.overview.peaks[at + 1]) __builtin_trap();
    }
    return 0;
}
