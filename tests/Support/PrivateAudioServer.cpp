#include "PrivateAudioServer.h"
#include "Platform/Linux/PulseLoopLock.h"

#include "Foundation/ChildProcess.h"

#include <pulse/pulseaudio.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

constexpr auto patience = 5s;

std::string contentsOf(const fs::path& file) {
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

// Polls rather than waiting on libpulse's condition, so that a server that dies mid-way costs the
// test a few seconds instead of hanging it.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

} // namespace

PrivateAudioServer::PrivateAudioServer() {
    std::string pattern = (fs::temp_directory_path() / "vigilor-pulse-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr)
        directory_ = pattern;
}

PrivateAudioServer::~PrivateAudioServer() {
    if (running_)
        stop();
    std::error_code ignored;
    if (!directory_.empty())
        fs::remove_all(directory_, ignored);
}

bool PrivateAudioServer::fail(std::string why) {
    failure_ = std::move(why);
    return false;
}

bool PrivateAudioServer::start() {
    if (directory_.empty())
        return fail("Cannot make a folder for the sound server: " + std::string(std::strerror(errno)));
    const fs::path runtime = directory_ / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::unsetenv("PULSE_RUNTIME_PATH");
    ::setenv("PULSE_SERVER", ("unix:" + (directory_ / "native").string()).c_str(), 1);
    const fs::path log = directory_ / "pulseaudio.log";
    // Daemonised, pulseaudio returns once it is ready to take clients.
    const auto started = ChildProcess::run(
        "pulseaudio",
        {"--daemonize=yes", "-n", "--exit-idle-time=10", "--disable-shm=yes", "--realtime=no",
         "--high-priority=no", "--log-target=file:" + log.string(),
         "--load=module-null-sink sink_name=speakers", "--load=module-null-source source_name=microphone",
         "--load=module-native-protocol-unix socket=" + (directory_ / "native").string()},
        10);
    if (!started.launched)
        return fail("pulseaudio is not installed (Debian package pulseaudio): " + started.launchError);
    if (!started.succeeded())
        return fail("pulseaudio would not start: " + started.standardError + contentsOf(log));
    running_ = true;
    return true;
}

bool PrivateAudioServer::stop() {
    running_ = false;
    if (!ChildProcess::run("pulseaudio", {"--kill"}, 10).succeeded())
        return fail("pulseaudio --kill failed");
    // The server removes its pid file as it exits; a new one may start after that.
    const fs::path pidFile = directory_ / "runtime" / "pulse" / "pid";
    return eventually([&] { return !fs::exists(pidFile); }) || fail("pulseaudio did not stop");
}

struct AudioServerClient::State {
    struct MainloopFree {
        void operator()(pa_threaded_mainloop* loop) const { pa_threaded_mainloop_free(loop); }
    };
    struct ContextUnref {
        void operator()(pa_context* context) const { pa_context_unref(context); }
    };
    struct StreamUnref {
        void operator()(pa_stream* stream) const { pa_stream_unref(stream); }
    };

    std::unique_ptr<pa_threaded_mainloop, MainloopFree> loop{pa_threaded_mainloop_new()};
    std::unique_ptr<pa_context, ContextUnref> context;
    std::unique_ptr<pa_stream, StreamUnref> stream;

    // Whether `condition`, checked under libpulse's lock, came true in time.
    bool await(const std::function<bool()>& condition) {
        return eventually([&] {
            PulseLoopLock lock(loop.get());
            return condition();
        });
    }

    // Sends the request that `send` makes (under the lock) and waits for its answer.
    bool request(const std::function<pa_operation*()>& send) {
        pa_operation* operation = nullptr;
        {
            PulseLoopLock lock(loop.get());
            operation = send();
        }
        if (!operation)
            return false;
        const bool answered = await([&] { return pa_operation_get_state(operation) == PA_OPERATION_DONE; });
        PulseLoopLock lock(loop.get());
        pa_operation_unref(operation);
        return answered;
    }
};

AudioServerClient::AudioServerClient()
    : state_(std::make_unique<State>()) {
    pa_threaded_mainloop_start(state_->loop.get());
    {
        PulseLoopLock lock(state_->loop.get());
        state_->context.reset(
            pa_context_new(pa_threaded_mainloop_get_api(state_->loop.get()), "vigilor-test"));
        pa_context_connect(state_->context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    }
    connected_ =
        state_->await([&] { return pa_context_get_state(state_->context.get()) == PA_CONTEXT_READY; });
}

AudioServerClient::~AudioServerClient() {
    {
        PulseLoopLock lock(state_->loop.get());
        if (state_->stream)
            pa_stream_disconnect(state_->stream.get());
        pa_context_disconnect(state_->context.get());
    }
    pa_threaded_mainloop_stop(state_->loop.get());
}

bool AudioServerClient::addSource(const std::string& name) {
    uint32_t index = PA_INVALID_INDEX;
    const bool answered = state_->request([&] {
        return pa_context_load_module(
            state_->context.get(), "module-null-source", ("source_name=" + name).c_str(),
            [](pa_context*, uint32_t loaded, void* result) { *static_cast<uint32_t*>(result) = loaded; },
            &index);
    });
    return answered && index != PA_INVALID_INDEX;
}

std::optional<uint32_t> AudioServerClient::sourceIndex(const std::string& name) {
    std::optional<uint32_t> index;
    state_->request([&] {
        return pa_context_get_source_info_by_name(
            state_->context.get(), name.c_str(),
            [](pa_context*, const pa_source_info* info, int eol, void* result) {
                if (eol == 0 && info)
                    *static_cast<std::optional<uint32_t>*>(result) = info->index;
            },
            &index);
    });
    return index;
}

bool AudioServerClient::setDefaultSource(const std::string& name) {
    int succeeded = 0;
    const bool answered = state_->request([&] {
        return pa_context_set_default_source(
            state_->context.get(), name.c_str(),
            [](pa_context*, int success, void* result) { *static_cast<int*>(result) = success; }, &succeeded);
    });
    return answered && succeeded;
}

bool AudioServerClient::startRecording(const std::string& source, bool corked) {
    {
        PulseLoopLock lock(state_->loop.get());
        const pa_sample_spec format{PA_SAMPLE_S16LE, 8000, 1};
        state_->stream.reset(pa_stream_new(state_->context.get(), "call", &format, nullptr));
        pa_stream_set_read_callback(
            state_->stream.get(),
            [](pa_stream* stream, size_t, void*) {
                const void* data = nullptr;
                size_t size = 0;
                while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &size) == 0 &&
                       size > 0)
                    pa_stream_drop(stream);
            },
            nullptr);
        // Pinned to `source`: the server would otherwise move it along when the default input changes.
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_DONT_MOVE | (corked ? PA_STREAM_START_CORKED : 0));
        pa_stream_connect_record(state_->stream.get(), source.c_str(), nullptr, flags);
    }
    return state_->await([&] { return pa_stream_get_state(state_->stream.get()) == PA_STREAM_READY; });
}

bool AudioServerClient::setCorked(bool corked) {
    return state_->request(
        [&] { return pa_stream_cork(state_->stream.get(), corked ? 1 : 0, nullptr, nullptr); });
}

bool AudioServerClient::stopRecording() {
    PulseLoopLock lock(state_->loop.get());
    if (!state_->stream)
        return false;
    const bool disconnected = pa_stream_disconnect(state_->stream.get()) == 0;
    state_->stream.reset();
    return disconnected;
}
