#include "DefaultsStore.h"

#include "AtomicFile.h"
#include "DefaultsDomainFile.h"
#include "DispatchQueue.h"
#include "Paths.h"
#include "SystemLog.h"

#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using namespace DefaultsDomainFile;

// Changes within this time go out in one write: at most four writes a second per domain.
constexpr double coalescingDelay = 0.25;
// Rounds of a write whose file another program keeps replacing, before it waits for the next round.
constexpr int writeAttempts = 3;
// How long after it was moved aside a damaged file that becomes whole is still taken back: long enough
// for an editor that paused half-way through its write.
constexpr time_t wholeWithin = 60;

bool finiteNumbers(const Json& value) {
    if (value.is_number_float())
        return std::isfinite(value.get<double>());
    if (value.is_structured())
        for (const auto& element : value)
            if (!finiteNumbers(element))
                return false;
    return true;
}

// "<name><infix>20260301-083000" beside `file`, with "-2", "-3" … when that is taken.
std::filesystem::path datedPathBeside(const std::filesystem::path& file, const std::string& infix) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = file.filename().string() + infix + stamp;
    std::filesystem::path candidate = file.parent_path() / base;
    std::error_code error;
    for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(candidate, error)); ++n)
        candidate = file.parent_path() / (base + "-" + std::to_string(n));
    return candidate;
}

// "a, b and 3 more", for a log line.
std::string listedKeys(const std::vector<std::string>& keys) {
    constexpr size_t shown = 5;
    std::string text;
    for (size_t i = 0; i < keys.size() && i < shown; ++i)
        text += (i == 0 ? "" : i + 1 == keys.size() ? " and " : ", ") + keys[i];
    if (keys.size() > shown)
        text += " and " + std::to_string(keys.size() - shown) + " more";
    return text;
}

std::string errnoText() {
    return std::strerror(errno);
}

// Why the new version of `target` could not be made or put in place, from errno: the folder only when
// the folder refused it, else what did (a full disk, the process's or the system's open files).
std::string whyNotWritten(const std::filesystem::path& target) {
    const int error = errno;
    const std::string folder = target.parent_path().string();
    const std::string words = std::strerror(error);
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOTDIR:
    case ENOENT:
    case EEXIST:
    case ELOOP:
    case ENAMETOOLONG:
        return folder + " cannot be written: " + words;
    case ENOSPC:
        return "the disk of " + folder + " is full (" + words + ")";
    case EDQUOT:
        return "the disk quota of " + folder + " is used up (" + words + ")";
    case EMFILE:
        return "Zorvi has too many files open (" + words + ")";
    case ENFILE:
        return "the system has too many files open (" + words + ")";
    default:
        return target.string() + " could not be written (" + words + ")";
    }
}

struct Domain;

// Every domain of the process, the queue that writes them and the reports for the user.
class Registry {
public:
    static Registry& shared() {
        // Never destroyed: the queue's thread may still be writing while the process ends.
        static Registry* const registry = new Registry();
        return *registry;
    }

    // Every store of a file gives the bound its domain declares.
    std::shared_ptr<Domain> domain(const std::filesystem::path& file, const DefaultsDomain& declared);
    void scheduleWrite(double delay);
    // A look at every domain `delay` from now, whether or not anything is to be written then.
    void lookAgainAfter(double delay) {
        queue_.asyncAfter(delay, [this] { writeAll(); });
    }
    void synchronize() {
        queue_.sync([this] { writeAll(); });
    }
    // The queue's due work runs as it ends; then what is still pending is written here, and a failed
    // write is not tried again (the queue takes no more work).
    void shutdown() {
        queue_.shutdown();
        writeAll();
    }
    void report(DefaultsStoreReport report);
    void setHandler(std::function<void(const DefaultsStoreReport&)> handler);
    void setGate(std::function<std::optional<std::string>()> gate) {
        std::lock_guard lock(mutex_);
        gate_ = std::move(gate);
    }
    std::optional<std::string> closedBecause() {
        std::function<std::optional<std::string>()> gate;
        {
            std::lock_guard lock(mutex_);
            gate = gate_;
        }
        return gate ? gate() : std::nullopt;
    }

private:
    void writeAll();

    std::mutex mutex_;
    std::map<std::filesystem::path, std::shared_ptr<Domain>> domains_;
    bool writeScheduled_ = false;
    std::function<void(const DefaultsStoreReport&)> handler_;
    std::function<std::optional<std::string>()> gate_;
    std::vector<DefaultsStoreReport> unreported_;
    DispatchQueue queue_{"app.zorvi.defaults"};
};

// A value that its reader could not decode, as it was read, and why.
struct UnreadableValue {
    Values value; // the one key and its value
    std::string why;
};

// A copy beside `file` whose name starts with `prefix` and whose bytes are `text`: the same damage kept
// by an earlier start.
std::optional<std::filesystem::path> keptAlready(const std::filesystem::path& file, const std::string& prefix,
                                                 const std::string& text) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), error))
        if (entry.path().filename().string().starts_with(prefix) && entry.is_regular_file(error) &&
            entry.file_size(error) == text.size() && AtomicFile::read(entry.path(), text.size()) == text)
            return entry.path();
    return std::nullopt;
}

// Writes an unreadable value, byte for byte, to a dated file beside the domain's file and reports
// where, unless a copy of the same bytes is there already (a value that stays damaged is read at every
// start); nothing when the copy could not be written (errno tells why).
std::optional<std::filesystem::path> keepCopy(const std::filesystem::path& file, const std::string& key,
                                              const UnreadableValue& unreadable) {
    const std::string infix = "." + key + ".unreadable-";
    const std::string text = domainText(unreadable.value);
    const std::string said = "Could not read " + key + " in " + file.string() + " (" + unreadable.why + "): ";
    if (auto kept = keptAlready(file, file.filename().string() + infix, text)) {
        Registry::shared().report(
            {DefaultsStoreReport::Kind::setAside, file, said + "it is kept already in " + kept->string()});
        return kept;
    }
    const std::filesystem::path copy = datedPathBeside(file, infix);
    errno = 0;
    if (!AtomicFile::write(copy, text))
        return std::nullopt;
    Registry::shared().report(
        {DefaultsStoreReport::Kind::setAside, file, said + "kept it in " + copy.string()});
    return copy;
}

// One domain's values in memory and what is owed to its file. Every member is guarded by `mutex`.
struct Domain {
    Domain(std::filesystem::path path, const DefaultsDomain& declaration)
        : file(std::move(path))
        , declared(declaration) {}

    const std::filesystem::path file;
    const DefaultsDomain declared;
    std::mutex mutex;
    bool loaded = false;
    Values values;
    std::optional<FileStamp> stamp;        // the file as this process last read or wrote it
    std::optional<std::string> unreadable; // why the file there cannot be used, until it is set aside
    bool startedAfresh = false;
    bool prepared = false;
    std::map<std::string, uint64_t, std::less<>> pending; // changed keys and the number of their change
    uint64_t changes = 0;
    bool writeFailing = false;
    std::set<std::string, std::less<>> unencodableReported;
    std::map<std::string, UnreadableValue, std::less<>> unkept; // values whose copy could not be written
    // A file moved aside as damaged, for the minute in which it may still become whole: another program
    // writing it in place keeps writing to the copy.
    struct MovedAside {
        std::filesystem::path copy;
        time_t movedAt;
        std::optional<FileStamp> seen;                   // the copy when it was last found damaged
        std::set<std::string, std::less<>> changedSince; // keys this program changed since
    };
    std::optional<MovedAside> movedAside;

    void makeCurrent();
    void prepare();
    void change(const std::function<void()>& apply, const std::vector<std::string>& keys);
    void refuseUnencodable(const std::string& key);
    void write();

private:
    void take(FileContents contents);
    bool keepUnkept();
    void mergeFileChangedElsewhere();
    void setAside();
    void takeBackMovedAside();
    void reportWriteFailure(const std::string& why);
};

// Reads the file at first use, and again when another process has changed it, unless changes of ours
// are still on their way to it.
void Domain::makeCurrent() {
    takeBackMovedAside();
    if (loaded && (!pending.empty() || stampOf(file) == stamp))
        return;
    take(readDomainFile(file, declared));
    loaded = true;
}

void Domain::take(FileContents contents) {
    values = std::move(contents.values);
    stamp = contents.stamp;
    unreadable = std::move(contents.unreadable);
    if (unreadable)
        startedAfresh = true;
}

void Domain::prepare() {
    if (!prepared) {
        prepared = true;
        AtomicFile::removeLeftovers(writeTarget(file));
    }
    if (unreadable)
        setAside();
}

// The unreadable file (the target of a link, or a link to nothing itself) goes aside, never away.
void Domain::setAside() {
    const std::filesystem::path original = whyNotAFile(file) ? file : writeTarget(file);
    const std::filesystem::path copy = datedPathBeside(original, ".unreadable-");
    if (std::rename(original.c_str(), copy.c_str()) != 0) {
        reportWriteFailure("it cannot be read (" + *unreadable +
                           ") and could not be moved aside: " + errnoText());
        return;
    }
    Registry::shared().report({DefaultsStoreReport::Kind::setAside, file,
                               "Could not read " + original.string() + " (" + *unreadable +
                                   "): moved it to " + copy.string() + " and started afresh"});
    unreadable.reset();
    stamp.reset();
    if (struct stat moved{}; ::stat(copy.c_str(), &moved) == 0) {
        movedAside = MovedAside{copy, moved.st_ctim.tv_sec, std::nullopt, {}};
        Registry::shared().lookAgainAfter(double(wholeWithin) + 1);
    }
}

// The copy of a file moved aside as damaged that became whole within the minute after (its writer had
// paused) gives back the values this program has not changed since; one that stays damaged for the
// minute, or changes later, is left as it is.
void Domain::takeBackMovedAside() {
    if (!movedAside)
        return;
    const auto now = stampOf(movedAside->copy);
    const time_t deadline = movedAside->movedAt + wholeWithin;
    const bool over = std::time(nullptr) > deadline;
    if (!now || now->modified.tv_sec > deadline || (now == movedAside->seen && over)) {
        movedAside.reset();
        return;
    }
    if (now == movedAside->seen)
        return;
    FileContents contents = readDomainFileOnce(movedAside->copy, declared.largestFile);
    if (contents.unreadable) {
        movedAside->seen = now; // looked at again once it changes
        return;
    }
    const MovedAside moved = std::exchange(movedAside, std::nullopt).value();
    std::vector<std::string> keys;
    for (auto& [key, value] : contents.values)
        if (!moved.changedSince.contains(key)) {
            values[key] = std::move(value);
            pending[key] = ++changes;
            keys.push_back(key);
        }
    if (keys.empty())
        return;
    Registry::shared().report({DefaultsStoreReport::Kind::setAside, file,
                               moved.copy.string() + " became whole after it was moved aside: took back " +
                                   listedKeys(keys) + " into " + file.string()});
    Registry::shared().scheduleWrite(coalescingDelay);
}

void Domain::change(const std::function<void()>& apply, const std::vector<std::string>& keys) {
    prepare();
    apply();
    ++changes;
    for (const auto& key : keys) {
        pending[key] = changes;
        unencodableReported.erase(key);
        if (movedAside)
            movedAside->changedSince.insert(key);
    }
}

// Said once per key until that key is stored again.
void Domain::refuseUnencodable(const std::string& key) {
    if (unencodableReported.insert(key).second)
        Registry::shared().report(
            {DefaultsStoreReport::Kind::writeFailed, file,
             "Could not save " + key + " in " + file.string() + ": it holds a number that is not finite"});
}

// Another program wrote the file since we read it: its values count, under the changes still pending.
void Domain::mergeFileChangedElsewhere() {
    Values mine = std::move(values);
    take(readDomainFile(file, declared));
    for (const auto& [key, number] : pending) {
        if (const auto it = mine.find(key); it != mine.end())
            values[key] = it->second;
        else
            values.erase(key);
    }
}

// True once every value that could not be kept aside is: until then the file that holds them is not
// written.
bool Domain::keepUnkept() {
    std::erase_if(unkept,
                  [&](const auto& entry) { return keepCopy(file, entry.first, entry.second).has_value(); });
    return unkept.empty();
}

// On the store's queue: the values as they are now go out in one atomic write. The new file is made
// outside the lock; under it, the new file takes the old one's place in the same step that checks the
// old one's stamp, so that another program's replacement meanwhile is merged, not lost.
void Domain::write() {
    std::unique_lock lock(mutex);
    takeBackMovedAside();
    if (!keepUnkept()) {
        Registry::shared().scheduleWrite(DefaultsStore::retryDelay);
        return;
    }
    for (int attempt = 0; attempt < writeAttempts; ++attempt) {
        if (pending.empty())
            return;
        if (const auto closed = Registry::shared().closedBecause()) {
            reportWriteFailure(*closed);
            Registry::shared().scheduleWrite(DefaultsStore::retryDelay);
            return;
        }
        if (stampOf(file) != stamp)
            mergeFileChangedElsewhere();
        prepare();
        if (unreadable)
            return; // never written over: its failure to move aside is reported
        const Values snapshot = values;
        const uint64_t written = changes;
        const std::filesystem::path target = writeTarget(file);
        lock.unlock();

        errno = 0;
        auto replacement = AtomicFile::Replacement::prepare(target, domainText(snapshot));
        const std::string why = whyNotWritten(target);
        lock.lock();
        if (!replacement) {
            reportWriteFailure(why);
            Registry::shared().scheduleWrite(DefaultsStore::retryDelay);
            return;
        }
        errno = 0;
        const auto outcome = replacement->commitReplacing(
            [&](const struct stat* replaced) { return replaced ? stamp == stampOf(*replaced) : !stamp; });
        if (outcome == AtomicFile::Replacement::Outcome::fileChanged)
            continue; // replaced meanwhile: merged and made again
        if (outcome == AtomicFile::Replacement::Outcome::failed) {
            reportWriteFailure(whyNotWritten(target));
            Registry::shared().scheduleWrite(DefaultsStore::retryDelay);
            return;
        }
        if (std::exchange(writeFailing, false))
            Registry::shared().report(
                {DefaultsStoreReport::Kind::writable, file, "Saved " + file.string() + " again"});
        stamp = stampOf(replacement->status());
        std::erase_if(pending, [&](const auto& entry) { return entry.second <= written; });
        return;
    }
    Registry::shared().scheduleWrite(coalescingDelay); // another program keeps replacing the file
}

// Once until a write succeeds again, so a full disk does not fill the log.
void Domain::reportWriteFailure(const std::string& why) {
    if (writeFailing)
        return;
    writeFailing = true;
    Registry::shared().report({DefaultsStoreReport::Kind::unwritable, file,
                               "Could not save " + file.string() + ": " + why + "; trying again every " +
                                   std::to_string(int(DefaultsStore::retryDelay)) + " s while changes wait",
                               why});
}

std::shared_ptr<Domain> Registry::domain(const std::filesystem::path& file, const DefaultsDomain& declared) {
    std::lock_guard lock(mutex_);
    auto& domain = domains_[file.lexically_normal()];
    if (!domain)
        domain = std::make_shared<Domain>(file, declared);
    assert(domain->declared.largestFile == declared.largestFile &&
           domain->declared.rewriteTime == declared.rewriteTime && "a domain is declared once");
    return domain;
}

void Registry::scheduleWrite(double delay) {
    {
        std::lock_guard lock(mutex_);
        if (writeScheduled_)
            return;
        writeScheduled_ = true;
    }
    queue_.asyncAfter(delay, [this] { writeAll(); });
}

void Registry::writeAll() {
    std::vector<std::shared_ptr<Domain>> domains;
    {
        std::lock_guard lock(mutex_);
        writeScheduled_ = false; // changes from now on are written by the next round
        for (const auto& [file, domain] : domains_)
            domains.push_back(domain);
    }
    for (const auto& domain : domains)
        domain->write();
}

void Registry::report(DefaultsStoreReport report) {
    systemLog("defaults", report.text);
    std::function<void(const DefaultsStoreReport&)> handler;
    {
        std::lock_guard lock(mutex_);
        if (!handler_) {
            unreported_.push_back(std::move(report));
            return;
        }
        handler = handler_;
    }
    handler(report);
}

void Registry::setHandler(std::function<void(const DefaultsStoreReport&)> handler) {
    std::vector<DefaultsStoreReport> waiting;
    {
        std::lock_guard lock(mutex_);
        handler_ = handler;
        if (handler_)
            waiting.swap(unreported_);
    }
    for (const auto& report : waiting)
        handler(report);
}

// Runs `work` on the file's domain, current with its file, under its lock.
template <class Work>
auto withDomain(const std::filesystem::path& file, const DefaultsDomain& declared, Work&& work) {
    const auto domain = Registry::shared().domain(file, declared);
    std::lock_guard lock(domain->mutex);
    domain->makeCurrent();
    return work(*domain);
}

} // namespace

DefaultsStore::DefaultsStore(const DefaultsDomain& domain)
    : file_(Paths::zorviConfigDirectory() / (std::string(domain.name) + ".json"))
    , declared_(domain) {
}

DefaultsStore DefaultsStore::standard() {
    return DefaultsStore(standardDomain);
}

DefaultsStore DefaultsStore::suite(const DefaultsDomain& domain) {
    return DefaultsStore(domain);
}

std::optional<Json> DefaultsStore::value(const std::string& key) const {
    return withDomain(file_, declared_, [&](Domain& domain) -> std::optional<Json> {
        const auto it = domain.values.find(key);
        if (it == domain.values.end())
            return std::nullopt;
        return *it->second.resolved();
    });
}

bool DefaultsStore::contains(const std::string& key) const {
    return withDomain(file_, declared_, [&](Domain& domain) { return domain.values.contains(key); });
}

bool DefaultsStore::forEachElement(const std::string& key, const std::function<void(Json&&)>& each) const {
    const auto entry = withDomain(file_, declared_, [&](Domain& domain) -> std::optional<Entry> {
        const auto it = domain.values.find(key);
        if (it == domain.values.end())
            return std::nullopt;
        if (!it->second.value && it->second.encode)
            it->second.resolved();
        return it->second;
    });
    if (!entry)
        return false;
    if (!entry->value) // read outside the lock, from the text it shares
        return forEachJsonArrayElement(entry->asRead, each);
    if (!entry->value->is_array())
        return false;
    for (const Json& element : *entry->value)
        each(Json(element));
    return true;
}

Json DefaultsStore::dictionaryRepresentation() const {
    return withDomain(file_, declared_, [](Domain& domain) {
        // The keys are unique and sorted already, so each is appended without the search for it that
        // an insertion makes, which would cost time in the square of their number.
        Json object = Json::object();
        auto& members = static_cast<Json::object_t::Container&>(object.get_ref<Json::object_t&>());
        members.reserve(domain.values.size());
        for (auto& [key, value] : domain.values)
            members.emplace_back(key, *value.resolved());
        return object;
    });
}

bool DefaultsStore::boolValue(const std::string& key) const {
    const auto stored = value(key);
    return stored && stored->is_boolean() && stored->get<bool>();
}

bool DefaultsStore::set(const std::string& key, Json value) {
    return setValues({{key, std::move(value)}});
}

void DefaultsStore::remove(const std::string& key) {
    const bool removed = withDomain(file_, declared_, [&](Domain& domain) {
        if (!domain.values.contains(key))
            return false;
        domain.change([&] { domain.values.erase(key); }, {key});
        return true;
    });
    if (removed)
        Registry::shared().scheduleWrite(coalescingDelay);
}

bool DefaultsStore::setValues(std::vector<std::pair<std::string, Json>> values) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : values)
        keys.push_back(key);
    const bool stored = withDomain(file_, declared_, [&](Domain& domain) {
        for (const auto& [key, value] : values)
            if (!finiteNumbers(value)) {
                domain.refuseUnencodable(key);
                return false;
            }
        domain.change(
            [&] {
                for (auto& [key, value] : values)
                    domain.values[key] = Entry::parsed(std::move(value));
            },
            keys);
        return true;
    });
    if (stored)
        Registry::shared().scheduleWrite(coalescingDelay);
    return stored;
}

void DefaultsStore::setDeferred(const std::string& key, std::function<Json()> encode) {
    auto shared = std::make_shared<const std::function<Json()>>(std::move(encode));
    withDomain(file_, declared_, [&](Domain& domain) {
        domain.change([&] { domain.values[key] = Entry{nullptr, std::move(shared), nullptr, {}}; }, {key});
    });
    Registry::shared().scheduleWrite(coalescingDelay);
}

void DefaultsStore::holdDeferred(const std::string& key, std::function<Json()> encode) {
    auto shared = std::make_shared<const std::function<Json()>>(std::move(encode));
    withDomain(file_, declared_, [&](Domain& domain) {
        domain.values[key] = Entry{nullptr, std::move(shared), nullptr, {}};
    });
}

void DefaultsStore::prepareForWriting() {
    withDomain(file_, declared_, [](Domain& domain) { domain.prepare(); });
}

bool DefaultsStore::startedAfresh() const {
    return withDomain(file_, declared_, [](Domain& domain) { return domain.startedAfresh; });
}

std::optional<std::filesystem::path> DefaultsStore::keepUnreadableValue(const std::string& key,
                                                                        const std::string& why) {
    const auto stored = withDomain(file_, declared_, [&](Domain& domain) -> std::optional<UnreadableValue> {
        const auto it = domain.values.find(key);
        if (it == domain.values.end())
            return std::nullopt;
        return UnreadableValue{Values{*it}, why};
    });
    if (!stored)
        return std::nullopt;
    if (auto copy = keepCopy(file_, key, *stored)) // the value as it was read, outside the lock
        return copy;
    const std::string failure = errnoText();
    withDomain(file_, declared_, [&](Domain& domain) { domain.unkept.insert_or_assign(key, *stored); });
    Registry::shared().report({DefaultsStoreReport::Kind::writeFailed, file_,
                               "Could not keep the unreadable value " + key + " of " + file_.string() + ": " +
                                   failure + "; the file is not saved until it is kept"});
    Registry::shared().scheduleWrite(DefaultsStore::retryDelay);
    return std::nullopt;
}

void DefaultsStore::synchronizeAll() {
    Registry::shared().synchronize();
}

void DefaultsStore::shutdown() {
    Registry::shared().shutdown();
}

void DefaultsStore::setReportHandler(std::function<void(const DefaultsStoreReport&)> handler) {
    Registry::shared().setHandler(std::move(handler));
}

void DefaultsStore::setWriteGate(std::function<std::optional<std::string>()> gate) {
    Registry::shared().setGate(std::move(gate));
}
