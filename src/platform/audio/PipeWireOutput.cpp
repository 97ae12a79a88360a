#include "platform/audio/PipeWireOutput.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/audio/StreamNames.h"

namespace audio {

namespace {

constexpr std::uint32_t kChannels = 2;
constexpr std::uint32_t kStride = kChannels * sizeof(float);
constexpr int kQuantum = 256;
// A server that has not answered by then counts as absent; a stream that no sink took by then
// as no device.
constexpr std::int64_t kAnswerNs = 1000000000;
constexpr std::int64_t kSettleNs = 2000000000;

// Since 1.3.81 every client's data thread runs real-time and client-rt.conf is only a warning.
bool NeedsRtConfig() {
    int major = 0, minor = 0, micro = 0;
    if (std::sscanf(pw_get_library_version(), "%d.%d.%d", &major, &minor, &micro) != 3) return true;
    if (major != 1) return major < 1;
    return minor < 3 || (minor == 3 && micro < 81);
}

std::string Latency(int rate) { return std::to_string(kQuantum) + "/" + std::to_string(rate); }

}  // namespace

// One connection to the server with its stream. Everything but the renderer's frames is under
// the loop's lock, which the loop thread holds while it calls back.
struct PipeWireOutput::Session {
    ~Session();
    bool Connect();
    bool Offers();
    bool Wait(std::int64_t ns, bool (*done)(const Session&));

    static void OnCoreInfo(void* self, const pw_core_info* info);
    static void OnCoreDone(void* self, std::uint32_t id, int seq);
    static void OnCoreError(void* self, std::uint32_t id, int seq, int res, const char* message);
    static void OnGlobal(void* self, std::uint32_t id, std::uint32_t permissions, const char* type,
                         std::uint32_t version, const spa_dict* props);
    static void OnState(void* self, pw_stream_state old, pw_stream_state state, const char* error);
    static void OnParam(void* self, std::uint32_t id, const spa_pod* param);
    static void OnProcess(void* self);

    Renderer* renderer = nullptr;
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook coreListener{};
    spa_hook streamListener{};
    pw_core_events coreEvents{};
    pw_stream_events streamEvents{};
    bool running = false;  // the loop thread is started

    int syncSeq = -1;
    bool answered = false;
    bool sink = false;        // the registry lists an audio sink node
    bool manager = false;     // and a session manager's default metadata, so a stream gets linked
    int defaultRate = 48000;  // the graph's, from the server's info
    bool failed = false;      // stream error or unconnected, or the server gone
    bool active = true;
    std::atomic<int> rate{0};          // the negotiated rate, 0 until settled
    std::atomic<int> preparedRate{0};  // the rate the renderer was last prepared for
};

PipeWireOutput::Session::~Session() {
    if (!loop) return;
    pw_thread_loop_lock(loop);
    if (stream) {
        pw_stream_disconnect(stream);
        pw_stream_destroy(stream);  // waits out a process cycle on the data thread
    }
    if (core) pw_core_disconnect(core);
    pw_thread_loop_unlock(loop);
    if (running) pw_thread_loop_stop(loop);
    if (context) pw_context_destroy(context);
    pw_thread_loop_destroy(loop);
}

void PipeWireOutput::Session::OnCoreInfo(void* self, const pw_core_info* info) {
    auto* s = static_cast<Session*>(self);
    const char* r = info->props ? spa_dict_lookup(info->props, "default.clock.rate") : nullptr;
    if (r && std::atoi(r) > 0) s->defaultRate = std::atoi(r);
}

void PipeWireOutput::Session::OnGlobal(void* self, std::uint32_t /*id*/,
                                       std::uint32_t /*permissions*/, const char* type,
                                       std::uint32_t /*version*/, const spa_dict* props) {
    auto* s = static_cast<Session*>(self);
    if (!props) return;
    if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
        const char* c = spa_dict_lookup(props, PW_KEY_MEDIA_CLASS);
        if (c && (std::strcmp(c, "Audio/Sink") == 0 || std::strcmp(c, "Audio/Duplex") == 0))
            s->sink = true;
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0) {
        const char* n = spa_dict_lookup(props, "metadata.name");
        if (n && std::strcmp(n, "default") == 0) s->manager = true;
    }
}

void PipeWireOutput::Session::OnCoreDone(void* self, std::uint32_t id, int seq) {
    auto* s = static_cast<Session*>(self);
    if (id != PW_ID_CORE || seq != s->syncSeq) return;
    s->answered = true;
    pw_thread_loop_signal(s->loop, false);
}

void PipeWireOutput::Session::OnCoreError(void* self, std::uint32_t id, int /*seq*/, int res,
                                          const char* /*message*/) {
    auto* s = static_cast<Session*>(self);
    if (id != PW_ID_CORE || res != -EPIPE) return;
    s->failed = true;
    pw_thread_loop_signal(s->loop, false);
}

void PipeWireOutput::Session::OnState(void* self, pw_stream_state /*old*/, pw_stream_state state,
                                      const char* /*error*/) {
    auto* s = static_cast<Session*>(self);
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) s->failed = true;
    pw_thread_loop_signal(s->loop, false);
}

void PipeWireOutput::Session::OnParam(void* self, std::uint32_t id, const spa_pod* param) {
    auto* s = static_cast<Session*>(self);
    if (id != SPA_PARAM_Format || !param) return;
    spa_audio_info_raw info{};
    if (spa_format_audio_raw_parse(param, &info) < 0 || info.rate == 0) return;
    const int rate = static_cast<int>(info.rate);
    const int was = s->rate.exchange(rate);
    // The first format comes before the stream's first cycle; Open is waiting for it meanwhile.
    // A later one (the graph changed its rate) is prepared for in the next cycle.
    if (s->preparedRate.load() == 0) {
        s->renderer->Prepare(rate);
        s->preparedRate.store(rate);
    } else if (was != rate) {
        const std::string latency = Latency(rate);
        const spa_dict_item item = SPA_DICT_ITEM_INIT(PW_KEY_NODE_LATENCY, latency.c_str());
        const spa_dict dict = SPA_DICT_INIT(&item, 1);
        pw_stream_update_properties(s->stream, &dict);
    }
    pw_thread_loop_signal(s->loop, false);
}

// On the graph's real-time thread: no lock, allocation, logging or system call.
void PipeWireOutput::Session::OnProcess(void* self) {
    auto* s = static_cast<Session*>(self);
    const int rate = s->rate.load(std::memory_order_relaxed);
    if (rate != s->preparedRate.load(std::memory_order_relaxed)) {
        s->renderer->Prepare(rate);
        s->preparedRate.store(rate, std::memory_order_relaxed);
    }
    pw_buffer* b = pw_stream_dequeue_buffer(s->stream);
    if (!b) return;
    spa_data& d = b->buffer->datas[0];
    std::uint32_t frames = d.data ? d.maxsize / kStride : 0;
    // Fill what this cycle asks for: other clients may have shrunk the quantum.
    if (b->requested != 0 && b->requested < frames)
        frames = static_cast<std::uint32_t>(b->requested);
    if (frames > 0) s->renderer->Render(static_cast<float*>(d.data), frames);
    d.chunk->offset = 0;
    d.chunk->stride = static_cast<std::int32_t>(kStride);
    d.chunk->size = frames * kStride;
    pw_stream_queue_buffer(s->stream, b);
}

// Under the lock: waits up to ns for done, or until the stream failed.
bool PipeWireOutput::Session::Wait(std::int64_t ns, bool (*done)(const Session&)) {
    timespec until{};
    pw_thread_loop_get_time(loop, &until, ns);
    while (!done(*this) && !failed)
        if (pw_thread_loop_timed_wait_full(loop, &until) != 0) break;
    return done(*this) && !failed;
}

// Under the lock: whether the server plays sound at all. A daemon that serves only screen sharing
// beside another sound server has no sink and nothing that would link a stream to one; the
// registry says so within one round trip, where a stream would wait out its bounds unlinked.
bool PipeWireOutput::Session::Offers() {
    pw_registry* registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
    if (!registry) return false;
    spa_hook registryListener{};
    pw_registry_events events{};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global = &OnGlobal;
    pw_registry_add_listener(registry, &registryListener, &events, this);
    syncSeq = pw_core_sync(core, PW_ID_CORE, 0);
    const bool answer = Wait(kAnswerNs, [](const Session& s) { return s.answered; });
    spa_hook_remove(&registryListener);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
    return answer && sink && manager;
}

// Under the lock: the server, then a stream whose format the graph has settled.
bool PipeWireOutput::Session::Connect() {
    core = pw_context_connect(context, nullptr, 0);
    if (!core) return false;
    coreEvents.version = PW_VERSION_CORE_EVENTS;
    coreEvents.info = &OnCoreInfo;
    coreEvents.done = &OnCoreDone;
    coreEvents.error = &OnCoreError;
    pw_core_add_listener(core, &coreListener, &coreEvents, this);
    if (!Offers()) return false;

    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_APP_NAME, kAppName,
        PW_KEY_APP_ID, kAppId, PW_KEY_APP_ICON_NAME, kIconName, PW_KEY_NODE_NAME, kNodeName,
        PW_KEY_NODE_DESCRIPTION, kAppName, PW_KEY_MEDIA_NAME, kStreamName, nullptr);
    if (!props) return false;
    pw_properties_set(props, PW_KEY_NODE_LATENCY, Latency(defaultRate).c_str());
    stream = pw_stream_new(core, kStreamName, props);
    if (!stream) return false;
    streamEvents.version = PW_VERSION_STREAM_EVENTS;
    streamEvents.state_changed = &OnState;
    streamEvents.param_changed = &OnParam;
    streamEvents.process = &OnProcess;
    pw_stream_add_listener(stream, &streamListener, &streamEvents, this);

    // No rate: the stream plays at whatever rate the graph runs, with no resampler in it.
    std::uint8_t buf[256];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buf, sizeof buf);
    spa_audio_info_raw want{};
    want.format = SPA_AUDIO_FORMAT_F32;
    want.channels = kChannels;
    want.position[0] = SPA_AUDIO_CHANNEL_FL;
    want.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* params[1] = {spa_format_audio_raw_build(&b, SPA_PARAM_EnumFormat, &want)};
    const auto flags = static_cast<pw_stream_flags>(
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
    if (pw_stream_connect(stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) < 0)
        return false;
    if (!Wait(kSettleNs, [](const Session& s) { return s.preparedRate.load() > 0; })) return false;
    if (rate.load() != defaultRate) {
        const std::string latency = Latency(rate.load());
        const spa_dict_item item = SPA_DICT_ITEM_INIT(PW_KEY_NODE_LATENCY, latency.c_str());
        const spa_dict dict = SPA_DICT_INIT(&item, 1);
        pw_stream_update_properties(stream, &dict);
    }
    return true;
}

PipeWireOutput::PipeWireOutput() = default;

PipeWireOutput::~PipeWireOutput() { Close(); }

bool PipeWireOutput::Open(Renderer& renderer) {
    if (session_) {
        pw_thread_loop_lock(session_->loop);
        const bool failed = session_->failed;
        if (!failed && !session_->active) {
            pw_stream_set_active(session_->stream, true);
            session_->active = true;
        }
        pw_thread_loop_unlock(session_->loop);
        if (!failed) return true;
        Close();  // the server went away while the stream rested: connect afresh
    }
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });

    auto s = std::make_unique<Session>();
    s->renderer = &renderer;
    s->loop = pw_thread_loop_new("wavplayer-audio", nullptr);
    if (!s->loop) return false;
    pw_properties* props = NeedsRtConfig()
                               ? pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr)
                               : nullptr;
    s->context = pw_context_new(pw_thread_loop_get_loop(s->loop), props, 0);
    if (!s->context || pw_thread_loop_start(s->loop) < 0) return false;
    s->running = true;

    pw_thread_loop_lock(s->loop);
    const bool ok = s->Connect();
    pw_thread_loop_unlock(s->loop);
    if (!ok) return false;
    session_ = std::move(s);
    return true;
}

int PipeWireOutput::Rate() const { return session_ ? session_->rate.load() : 0; }

bool PipeWireOutput::Lost() {
    if (!session_) return false;
    pw_thread_loop_lock(session_->loop);
    const bool lost = session_->failed;
    pw_thread_loop_unlock(session_->loop);
    return lost;
}

void PipeWireOutput::Close() { session_.reset(); }

// The node goes idle, so the graph drops the quantum it asked for and the sink may suspend;
// the connection and the stream stay, so running again takes one message to the server.
void PipeWireOutput::Rest() {
    if (!session_) return;
    pw_thread_loop_lock(session_->loop);
    if (session_->active && !session_->failed) pw_stream_set_active(session_->stream, false);
    session_->active = false;
    pw_thread_loop_unlock(session_->loop);
}

}  // namespace audio
