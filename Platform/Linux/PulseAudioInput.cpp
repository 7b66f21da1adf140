#include "PulseAudioInput.h"
#include "Platform/Linux/PulseLoopLock.h"

#include "Foundation/DispatchQueue.h"
#include "Foundation/SystemLog.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <map>
#include <utility>

namespace {

using namespace std::chrono_literals;

// How long a caller waits for the first connection: the server is local and answers in milliseconds,
// so a longer wait means it is stuck, and the main thread must not be held up by that.
constexpr auto firstAnswerLimit = 1s;
constexpr double firstRetrySeconds = 1;
constexpr double longestRetrySeconds = 60;

struct MainloopFree {
    void operator()(pa_threaded_mainloop* loop) const { pa_threaded_mainloop_free(loop); }
};
struct ContextUnref {
    void operator()(pa_context* context) const { pa_context_unref(context); }
};

// One kind of request to the server, asked again once the answer in flight is in when events came
// meanwhile, so that a burst of events costs two requests rather than one per event.
struct Fetch {
    bool inFlight = false;
    bool again = false;

    // Whether to send the request now.
    bool begin() {
        if (inFlight)
            again = true;
        return !std::exchange(inFlight, true);
    }
    // Whether to send it again.
    bool finish() {
        inFlight = false;
        return std::exchange(again, false);
    }
};

void forget(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation); // the callback still comes; we never cancel or wait
}

} // namespace

// Who to call on the main queue. Set from any thread; each call looks its listener up when it runs,
// so a listener removed meanwhile is not called.
class PulseAudioInput::Listeners {
public:
    void setDefaultInput(std::function<void()> listener) {
        std::lock_guard lock(mutex_);
        defaultInput_ = std::move(listener);
    }
    void setRunning(DeviceID device, std::function<void()> listener) {
        std::lock_guard lock(mutex_);
        if (listener)
            running_[device] = std::move(listener);
        else
            running_.erase(device);
    }

    static void announce(const std::shared_ptr<Listeners>& self, const InputChanges& changes) {
        const std::weak_ptr<Listeners> weak = self;
        std::lock_guard lock(self->mutex_);
        if (changes.defaultDeviceChanged && self->defaultInput_)
            DispatchQueue::main().async([weak] {
                if (auto listeners = weak.lock())
                    listeners->call(std::nullopt);
            });
        for (const DeviceID device : changes.runningChanged)
            if (self->running_.contains(device))
                DispatchQueue::main().async([weak, device] {
                    if (auto listeners = weak.lock())
                        listeners->call(device);
                });
    }

private:
    // Calls the running listener of `device`, or the default-input listener when there is no device.
    // The listener runs without the lock, so that it may set listeners itself.
    void call(std::optional<DeviceID> device) {
        std::function<void()> listener;
        {
            std::lock_guard lock(mutex_);
            if (!device)
                listener = defaultInput_;
            else if (const auto found = running_.find(*device); found != running_.end())
                listener = found->second;
        }
        if (listener)
            listener();
    }

    std::mutex mutex_;
    std::function<void()> defaultInput_;
    std::map<DeviceID, std::function<void()>> running_;
};

// The link to the server and the picture made from its answers. Members under "libpulse's thread" are
// used there only, or with its lock held; the published picture is shared with callers under mutex_.
class PulseAudioInput::Connection {
public:
    explicit Connection(std::shared_ptr<Listeners> listeners)
        : listeners_(std::move(listeners)) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void start();
    // The published picture, after waiting at most `limit` for the first connection attempt's outcome.
    InputState state(std::chrono::milliseconds limit);

private:
    pa_mainloop_api* api() { return pa_threaded_mainloop_get_api(loop_.get()); }
    void connect();
    void onStateChange(pa_context* context);
    void onReady();
    void onLost();
    void scheduleRetry();
    void onEvent(pa_subscription_event_type_t type);
    void requestServerInfo();
    void onServerInfo(pa_context* context, const pa_server_info* info);
    void requestSources();
    void onSource(pa_context* context, const pa_source_info* info, int eol);
    void publishPicture();
    void publish(const InputState& state);

    const std::shared_ptr<Listeners> listeners_;

    // libpulse's thread
    std::unique_ptr<pa_threaded_mainloop, MainloopFree> loop_;
    std::unique_ptr<pa_context, ContextUnref> context_;
    pa_time_event* retryTimer_ = nullptr;
    double retrySeconds_ = firstRetrySeconds;
    bool outageLogged_ = false;
    std::optional<std::string> defaultSourceName_; // nothing until the server has said
    std::optional<std::vector<Source>> sources_;
    std::vector<Source> incomingSources_;
    Fetch serverFetch_;
    Fetch sourceFetch_;

    std::mutex mutex_;
    std::condition_variable answered_;
    bool hasAnswered_ = false;
    InputState published_;
};

PulseAudioInput::Connection::~Connection() {
    if (!loop_)
        return;
    {
        PulseLoopLock lock(loop_.get());
        if (retryTimer_)
            api()->time_free(retryTimer_);
        if (context_) {
            // Our own disconnection is no outage to recover from.
            pa_context_set_state_callback(context_.get(), nullptr, nullptr);
            pa_context_set_subscribe_callback(context_.get(), nullptr, nullptr);
            pa_context_disconnect(context_.get());
        }
    }
    pa_threaded_mainloop_stop(loop_.get());
    context_.reset();
    loop_.reset();
}

void PulseAudioInput::Connection::start() {
    loop_.reset(pa_threaded_mainloop_new());
    // Named before it starts: libpulse names a running loop's thread by renaming the calling one,
    // which would be ours.
    if (loop_)
        pa_threaded_mainloop_set_name(loop_.get(), "Vigilor.audio");
    if (!loop_ || pa_threaded_mainloop_start(loop_.get()) < 0) {
        loop_.reset();
        systemLog("audio", "Cannot start the sound server connection's thread");
        publish({});
        return;
    }
    PulseLoopLock lock(loop_.get());
    connect();
}

PulseAudioInput::InputState PulseAudioInput::Connection::state(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    answered_.wait_for(lock, limit, [this] { return hasAnswered_; });
    return published_;
}

void PulseAudioInput::Connection::connect() {
    if (context_) {
        pa_context_set_state_callback(context_.get(), nullptr, nullptr);
        pa_context_disconnect(context_.get());
    }
    context_.reset(pa_context_new(api(), "Vigilor"));
    if (!context_) {
        onLost();
        return;
    }
    pa_context_set_state_callback(
        context_.get(), [](pa_context* c, void* self) { static_cast<Connection*>(self)->onStateChange(c); },
        this);
    // Starting a server of our own would put a second one beside the desktop's, or one where the user
    // runs none; the desktop's session starts it.
    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 &&
        pa_context_get_state(context_.get()) != PA_CONTEXT_FAILED)
        onLost(); // refused before trying, so no state change reported it
}

void PulseAudioInput::Connection::onStateChange(pa_context* context) {
    if (context != context_.get())
        return;
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        onReady();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        onLost();
        break;
    default:
        break;
    }
}

void PulseAudioInput::Connection::onReady() {
    retrySeconds_ = firstRetrySeconds;
    if (std::exchange(outageLogged_, false))
        systemLog("audio", "Sound server connected");
    pa_context_set_subscribe_callback(
        context_.get(),
        [](pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
            static_cast<Connection*>(self)->onEvent(type);
        },
        this);
    // Source-output events too: a recording that starts or stops is what "running" is about, and
    // reading the sources again on it does not depend on every server announcing the state change.
    const auto mask = static_cast<pa_subscription_mask_t>(
        PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT);
    forget(pa_context_subscribe(context_.get(), mask, nullptr, nullptr));
    requestServerInfo();
    requestSources();
}

// The server is gone (or never answered): nothing is the default and nothing runs until it is back.
void PulseAudioInput::Connection::onLost() {
    if (!std::exchange(outageLogged_, true)) {
        const char* why = context_ ? pa_strerror(pa_context_errno(context_.get())) : "out of memory";
        systemLog("audio", std::string("Sound server unavailable (") + why +
                               "): no microphone information until it answers");
    }
    defaultSourceName_.reset();
    sources_.reset();
    serverFetch_ = {};
    sourceFetch_ = {};
    publish({});
    scheduleRetry();
}

void PulseAudioInput::Connection::scheduleRetry() {
    if (retryTimer_)
        return;
    timeval due{};
    pa_gettimeofday(&due);
    pa_timeval_add(&due, static_cast<pa_usec_t>(retrySeconds_ * PA_USEC_PER_SEC));
    retrySeconds_ = std::min(retrySeconds_ * 2, longestRetrySeconds);
    retryTimer_ = api()->time_new(
        api(), &due,
        [](pa_mainloop_api* api, pa_time_event* timer, const timeval*, void* self) {
            api->time_free(timer);
            static_cast<Connection*>(self)->retryTimer_ = nullptr;
            static_cast<Connection*>(self)->connect();
        },
        this);
}

void PulseAudioInput::Connection::onEvent(pa_subscription_event_type_t type) {
    switch (type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) {
    case PA_SUBSCRIPTION_EVENT_SERVER: // the default source is the server's setting
        requestServerInfo();
        break;
    case PA_SUBSCRIPTION_EVENT_SOURCE:
    case PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT:
        requestSources();
        break;
    default:
        break;
    }
}

void PulseAudioInput::Connection::requestServerInfo() {
    if (!serverFetch_.begin())
        return;
    forget(pa_context_get_server_info(
        context_.get(),
        [](pa_context* c, const pa_server_info* info, void* self) {
            static_cast<Connection*>(self)->onServerInfo(c, info);
        },
        this));
}

void PulseAudioInput::Connection::onServerInfo(pa_context* context, const pa_server_info* info) {
    if (context != context_.get())
        return;
    if (info)
        defaultSourceName_ = info->default_source_name ? info->default_source_name : "";
    if (serverFetch_.finish())
        requestServerInfo();
    publishPicture();
}

void PulseAudioInput::Connection::requestSources() {
    if (!sourceFetch_.begin())
        return;
    incomingSources_.clear();
    forget(pa_context_get_source_info_list(
        context_.get(),
        [](pa_context* c, const pa_source_info* info, int eol, void* self) {
            static_cast<Connection*>(self)->onSource(c, info, eol);
        },
        this));
}

// One source per call, then one call with `eol` 1 (complete) or negative (failed).
void PulseAudioInput::Connection::onSource(pa_context* context, const pa_source_info* info, int eol) {
    if (context != context_.get())
        return;
    if (eol == 0) {
        if (info)
            incomingSources_.push_back(sourceFrom(*info));
        return;
    }
    if (eol > 0)
        sources_ = std::exchange(incomingSources_, {});
    if (sourceFetch_.finish())
        requestSources();
    if (eol > 0)
        publishPicture();
}

void PulseAudioInput::Connection::publishPicture() {
    if (defaultSourceName_ && sources_)
        publish(inputStateOf(*defaultSourceName_, *sources_));
}

// The listeners to call are chosen before anyone can see the new picture: a listener set by a caller
// that has already seen it is not told of a change that it knows of.
void PulseAudioInput::Connection::publish(const InputState& state) {
    {
        std::lock_guard lock(mutex_);
        Listeners::announce(listeners_, changesBetween(published_, state));
        published_ = state;
        hasAnswered_ = true;
    }
    answered_.notify_all();
}

PulseAudioInput::Source PulseAudioInput::sourceFrom(const pa_source_info& info) {
    return {.index = info.index,
            .name = info.name ? info.name : "",
            .isMonitor = info.monitor_of_sink != PA_INVALID_INDEX,
            .running = info.state == PA_SOURCE_RUNNING};
}

PulseAudioInput::InputState PulseAudioInput::inputStateOf(std::string_view defaultSourceName,
                                                          const std::vector<Source>& sources) {
    InputState state;
    for (const auto& source : sources) {
        if (source.index == PA_INVALID_INDEX)
            continue;
        if (source.running)
            state.runningDevices.insert(deviceID(source.index));
        if (!source.isMonitor && !defaultSourceName.empty() && source.name == defaultSourceName)
            state.defaultDevice = deviceID(source.index);
    }
    return state;
}

PulseAudioInput::InputChanges PulseAudioInput::changesBetween(const InputState& before,
                                                              const InputState& after) {
    InputChanges changes;
    changes.defaultDeviceChanged = before.defaultDevice != after.defaultDevice;
    std::set_symmetric_difference(before.runningDevices.begin(), before.runningDevices.end(),
                                  after.runningDevices.begin(), after.runningDevices.end(),
                                  std::back_inserter(changes.runningChanged));
    return changes;
}

PulseAudioInput::PulseAudioInput()
    : listeners_(std::make_shared<Listeners>()) {
}

PulseAudioInput::~PulseAudioInput() = default;

std::shared_ptr<PulseAudioInput::Connection> PulseAudioInput::connection() {
    std::lock_guard lock(startMutex_);
    if (!connection_ && !shutDown_) {
        connection_ = std::make_shared<Connection>(listeners_);
        connection_->start();
    }
    return connection_;
}

// The connection ends (its thread joined) outside the lock, once no caller holds it.
void PulseAudioInput::shutdown() {
    std::shared_ptr<Connection> ended;
    std::lock_guard lock(startMutex_);
    shutDown_ = true;
    ended = std::move(connection_);
}

std::optional<AudioInputDevices::DeviceID> PulseAudioInput::defaultInputDevice() {
    const auto link = connection();
    return link ? link->state(firstAnswerLimit).defaultDevice : std::nullopt;
}

void PulseAudioInput::setDefaultInputListener(std::function<void()> listener) {
    const bool listening = bool(listener);
    listeners_->setDefaultInput(std::move(listener));
    if (listening)
        connection();
}

void PulseAudioInput::setRunningListener(DeviceID device, std::function<void()> listener) {
    const bool listening = bool(listener);
    listeners_->setRunning(device, std::move(listener));
    if (listening)
        connection();
}

bool PulseAudioInput::isRunning(DeviceID device) {
    const auto link = connection();
    return link && link->state(firstAnswerLimit).runningDevices.contains(device);
}
