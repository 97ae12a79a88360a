#include "platform/fileinfo.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/audio/FileSource.h"

namespace fileinfo {

namespace {

const char kDot[] = " \xc2\xb7 ";  // " · "
const char kNotPlayable[] = "keine abspielbare WAV-Datei";

std::string TwoDigits(int64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); }

Info Read(const std::string& path, int64_t* bytesRead, bool withOverview) {
    Info info;
    audio::FileSource src;
    src.path = path;
    src.fd = audio::OpenRegularFile(path);
    SF_INFO sf{};
    SNDFILE* file = src.fd < 0 ? nullptr : src.Open(&sf);
    // What the player would not play shows as not playable, with no picture.
    if (file && audio::Playable(sf)) {
        info.wave = WaveInfo{sf.frames, sf.samplerate, sf.channels, sf.format};
        SF_INSTRUMENT inst{};
        bool have = sf_command(file, SFC_GET_INSTRUMENT, &inst, sizeof inst) == SF_TRUE;
        info.loop = audio::PlanLoop(sf.frames, have ? &inst : nullptr);
        if (withOverview) info.overview = overview::Read(file, sf, audio::FileSource::Length(&src));
    }
    if (file) sf_close(file);
    if (src.fd >= 0) ::close(src.fd);
    if (bytesRead) *bytesRead = src.bytesRead;
    return info;
}

}  // namespace

Info ReadInfo(const std::string& path, int64_t* bytesRead) { return Read(path, bytesRead, true); }

Info ReadHeader(const std::string& path, int64_t* bytesRead) {
    return Read(path, bytesRead, false);
}

std::string LengthText(int64_t frames, int rate) {
    if (frames < 0 || rate <= 0) return "";
    // Split before multiplying: frames * 1000 would overflow for the longest files.
    int64_t seconds = frames / rate;
    int64_t ms = ((frames % rate) * 1000 + rate / 2) / rate;
    if (ms == 1000) ++seconds, ms = 0;
    std::string msText = std::to_string(ms);
    msText.insert(0, 3 - msText.size(), '0');
    int64_t hours = seconds / 3600, minutes = seconds / 60 % 60;
    std::string head =
        hours > 0 ? std::to_string(hours) + ":" + TwoDigits(minutes) : std::to_string(minutes);
    return head + ":" + TwoDigits(seconds % 60) + "." + msText;
}

std::string RateText(int rate) {
    if (rate < 1000) return std::to_string(rate) + " Hz";
    std::string text = std::to_string(rate / 1000);
    if (int rest = rate % 1000) {
        std::string decimals = std::to_string(rest);
        decimals.insert(0, 3 - decimals.size(), '0');
        while (decimals.back() == '0') decimals.pop_back();
        text += "." + decimals;
    }
    return text + " kHz";
}

std::string FormatText(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
            return "8-bit";
        case SF_FORMAT_PCM_16:
            return "16-bit";
        case SF_FORMAT_PCM_24:
            return "24-bit";
        case SF_FORMAT_PCM_32:
            return "32-bit";
        case SF_FORMAT_FLOAT:
            return "32-bit float";
        case SF_FORMAT_DOUBLE:
            return "64-bit float";
        case SF_FORMAT_ULAW:
            return "u-law";
        case SF_FORMAT_ALAW:
            return "A-law";
        case SF_FORMAT_IMA_ADPCM:
            return "IMA ADPCM";
        case SF_FORMAT_MS_ADPCM:
            return "MS ADPCM";
        case SF_FORMAT_GSM610:
            return "GSM 6.10";
        case SF_FORMAT_G721_32:
            return "G.721 ADPCM";
        case SF_FORMAT_G723_24:
        case SF_FORMAT_G723_40:
            return "G.723 ADPCM";
        default: {
            // Anything rarer under the name libsndfile gives it.
            SF_FORMAT_INFO info{};
            info.format = format & SF_FORMAT_SUBMASK;
            if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
                return info.name;
            return "unbekanntes Format";
        }
    }
}

std::string ChannelText(int channels) {
    switch (channels) {
        case 1:
            return "mono";
        case 2:
            return "stereo";
        case 6:
            return "5.1";
        case 8:
            return "7.1";
        default:
            return std::to_string(channels) + " Kan\xc3\xa4le";
    }
}

std::string InfoText(const std::optional<WaveInfo>& info) {
    if (!info) return kNotPlayable;
    return LengthText(info->frames, info->rate) + kDot + RateText(info->rate) + kDot +
           FormatText(info->format) + kDot + ChannelText(info->channels);
}

std::string Describe(const std::string& path) { return InfoText(ReadInfo(path).wave); }

std::string LoopText(const Info& info) {
    if (!info.wave) return "";
    const std::string ignored =
        "Schleife \xc3\xbc"
        "bergangen: ";
    switch (info.loop.check) {
        case audio::LoopPlan::None:
            return "";
        case audio::LoopPlan::Used:
            break;
        case audio::LoopPlan::NoEnd:
            return ignored + "kein Ende";
        case audio::LoopPlan::EndPastData:
            return ignored + "Ende hinter den Daten";
        case audio::LoopPlan::StartNotBeforeEnd:
            return ignored + "Anfang nicht vor dem Ende";
        case audio::LoopPlan::TooShort:
            return ignored + "k\xc3\xbcrzer als zwei Frames";
    }
    const char* mode = info.loop.mode == audio::LoopPlan::Alternating ? "wechselnd"
                       : info.loop.mode == audio::LoopPlan::Backward  ? "r\xc3\xbc"
                                                                        "ckw\xc3\xa4rts"
                                                                      : "vorw\xc3\xa4rts";
    return "Schleife " + LengthText(info.loop.start, info.wave->rate) + "\xe2\x80\x93" +  // "–"
           LengthText(info.loop.end, info.wave->rate) + kDot + mode;
}

// Shared with the reads, so that one still hanging when the cache goes finds it alive.
struct InfoCache::State {
    struct Cached {
        int64_t size, mtimeNs;
        Info info;
        uint64_t used;
    };

    Reader reader;
    size_t capacity;
    int maxReads = 0, reading = 0;  // reading: reads not done yet, under mutex
    std::mutex mutex;
    uint64_t clock = 0;
    std::unordered_map<std::string, Cached> cache;
    std::unordered_map<std::string, std::vector<Answer>> pending;  // by path being read

    void Store(const std::string& path, int64_t size, int64_t mtimeNs, const Info& info) {
        if (cache.size() >= capacity && !cache.count(path)) {
            auto oldest = cache.begin();
            for (auto it = cache.begin(); it != cache.end(); ++it)
                if (it->second.used < oldest->second.used) oldest = it;
            cache.erase(oldest);
        }
        cache[path] = Cached{size, mtimeNs, info, ++clock};
    }

    static void Read(const std::shared_ptr<State>& s, const std::string& path) {
        struct stat st {};
        bool known = ::stat(path.c_str(), &st) == 0;
        int64_t size = st.st_size, mtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        std::optional<Info> info;
        if (known) {
            std::lock_guard lock(s->mutex);
            auto it = s->cache.find(path);
            if (it != s->cache.end() && it->second.size == size && it->second.mtimeNs == mtimeNs) {
                it->second.used = ++s->clock;
                info = it->second.info;
            }
        }
        if (!info) {
            try {
                info = s->reader(path);
            } catch (...) {
                info = Info{};  // no playable wave
            }
        }
        std::lock_guard lock(s->mutex);
        --s->reading;  // free before the answers, so a lookup they prompt finds room
        if (known) s->Store(path, size, mtimeNs, *info);
        if (auto it = s->pending.find(path); it != s->pending.end()) {
            for (const Answer& answer : it->second) answer(*info);
            s->pending.erase(it);
        }
    }
};

InfoCache::InfoCache(Reader reader, int maxReads, size_t capacity)
    : state_(std::make_shared<State>()), reads_(INT_MAX) {
    state_->reader = std::move(reader);
    state_->maxReads = maxReads;
    state_->capacity = capacity > 0 ? capacity : 1;
}

InfoCache::~InfoCache() {
    std::lock_guard lock(state_->mutex);
    state_->pending.clear();
}

bool InfoCache::Lookup(const std::string& path, Answer answer) {
    std::lock_guard lock(state_->mutex);
    if (auto it = state_->pending.find(path); it != state_->pending.end()) {
        it->second.push_back(std::move(answer));
        return true;
    }
    // At maxReads unfinished reads (or with no thread to be had) there is no info this time.
    if (state_->reading >= state_->maxReads ||
        !reads_.Run([s = state_, path] { State::Read(s, path); }))
        return false;
    ++state_->reading;
    state_->pending[path].push_back(std::move(answer));
    return true;
}

}  // namespace fileinfo
