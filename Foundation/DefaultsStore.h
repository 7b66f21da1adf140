#pragma once

#include "Json.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Something the store did that the user must hear of, with the line that tells it.
struct DefaultsStoreReport {
    enum class Kind {
        setAside,    // a file or value that could not be read was kept under another name
        writeFailed, // a value could not be stored or kept aside
        unwritable,  // a domain's file cannot be written (said once until a write succeeds)
        writable,    // ... and now it was written again
    };
    Kind kind;
    std::filesystem::path file; // the domain's file
    std::string text;           // for the activity log
    std::string reason = {};    // unwritable: why, in a few words for the user
};

// A domain of the store, declared once where it is defined: the name of its file, "<name>.json" in the
// settings folder, the length over which that file counts as damaged rather than read, and how long
// another program's rewrite of the file in place may take (a file that does not read is looked at
// again for so long before it counts as damaged, and read again as soon as it changes).
struct DefaultsDomain {
    // Far more than a domain of settings holds.
    static constexpr uintmax_t largestSettingsFile = uintmax_t(16) << 20;
    // An editor or script writing a few kilobytes.
    static constexpr double quickRewrite = 0.25;

    std::string_view name;
    uintmax_t largestFile = largestSettingsFile;
    double rewriteTime = quickRewrite;
};

// A persistent key-value domain: one JSON object per domain in one file,
// $XDG_CONFIG_HOME/zorvi/<domain>.json.
//
// The values live in memory, shared by every DefaultsStore of the same file in the process, so a
// reader sees a change at once. An object or array is kept as the text it was read from until it is
// read, and written back as it was. The file follows from one serial queue: changes made within a quarter
// of a second go out in one write, and `synchronizeAll` writes what is pending (the application calls
// it when it quits). Each write replaces the file atomically, so another process reading the domain
// (the widget reads the shared suite) sees a whole file; a file that is a symbolic link is written
// through its link. A file changed by another process since this one read or wrote it is read again
// before a reader uses it, and its values are merged under the changes still pending here.
//
// A file that cannot be read (not JSON, nested too deeply, not an object, unreadable, a folder, a named
// pipe or anything else that is not a regular file, a link to nothing, longer than its domain's bound,
// holding more than mostDomainValues) reads as a domain without
// values and is never overwritten: the first change moves it aside under a dated name beside it, says so in
// the system log and in a report, and only then is the domain started afresh. Reading alone never changes a
// file, so a program that only reads a domain (the widget) leaves it as it is. A value whose reader could not
// decode it is kept in a file of its own before anything replaces it; while that copy cannot be
// written (a full disk), the domain's file is not written either.
//
// A write compares the file's stamp with the one this process last read or wrote in the same step in
// which its new version replaces the file (AtomicFile::Replacement::commitReplacing), so that a
// replacement by another program is merged rather than written over.
class DefaultsStore {
public:
    // A longer file, or one of more values, is taken as damage rather than read.
    static constexpr uintmax_t largestDomainFile = DefaultsDomain::largestSettingsFile;
    static constexpr size_t mostDomainValues = 65'536;
    // The user's standard domain ("defaults.json").
    static constexpr DefaultsDomain standardDomain{"defaults"};

    static DefaultsStore standard();
    // A named domain, such as the suite shared between programs or the wellness ledger.
    static DefaultsStore suite(const DefaultsDomain& domain);

    std::optional<Json> value(const std::string& key) const;
    bool contains(const std::string& key) const;
    // Hands the elements of the array stored under `key` to `each` one at a time, without building
    // the whole array: for a large value read once (the wellness ledger). False when there is no such
    // value or it is not an array.
    bool forEachElement(const std::string& key, const std::function<void(Json&&)>& each) const;
    // Every key of the domain, so that keys written together are read together; an empty object when
    // the file is missing or cannot be read.
    Json dictionaryRepresentation() const;
    bool boolValue(const std::string& key) const; // false when absent or not a boolean

    // Changes take effect at once and reach the file soon after. False, with nothing changed, for a
    // value that JSON cannot hold (a number that is not finite).
    bool set(const std::string& key, Json value);
    void remove(const std::string& key);
    // Replaces several keys together: a reader, in this process or another, sees all of the new values
    // or none of them. False, with none changed, when one cannot be held.
    bool setValues(std::vector<std::pair<std::string, Json>> values);

    // Sets the value that `encode` makes, without making it now: it runs on the store's queue when the
    // file is written (or at the first read), so a large value costs its writer only what `encode`
    // captures. It must capture copies, and make only finite numbers (others are written as null).
    void setDeferred(const std::string& key, std::function<Json()> encode);
    // Holds the value of `key` in memory only as `encode` makes it, and writes nothing for it: for a
    // large value that its reader has decoded (the wellness ledger), so that it is not held twice. The
    // next write of the domain writes what `encode` makes.
    void holdDeferred(const std::string& key, std::function<Json()> encode);

    // For the program that writes this domain, at its start: removes temporary files that a crash left
    // beside the file and moves a file that cannot be read aside (every first change does this too).
    void prepareForWriting();
    // True when the file existed but could not be read, so the domain started without its values.
    bool startedAfresh() const;
    // Keeps the value of `key`, which its reader could not decode because of `why`, in a dated file
    // beside the domain's file before anything replaces it, and reports where. Nothing when there is
    // no such value or the copy could not be written (that is reported too): then the value is kept
    // in memory and tried again before each write of the domain, which waits until it is kept.
    std::optional<std::filesystem::path> keepUnreadableValue(const std::string& key, const std::string& why);

    const std::filesystem::path& file() const { return file_; }

    // Writes every pending change now and returns once it is on disk.
    static void synchronizeAll();
    // At the process's quit: writes every pending change and ends the store's queue; a change made
    // afterwards is written only by a later synchronizeAll, on the thread that calls it.
    static void shutdown();
    // Where reports go. They may come from any thread; those made before a handler is set are kept for
    // it. An empty handler keeps them again.
    static void setReportHandler(std::function<void(const DefaultsStoreReport&)> handler);
    // Asked on the store's queue before each write: why no file may be written yet (the program does not
    // hold its lock on the folder yet), or nothing. Such a write is reported as a file that cannot be
    // written and tried again later, as one that failed.
    static void setWriteGate(std::function<std::optional<std::string>()> gate);
    // A write that failed is tried again after this long, for as long as changes are pending.
    static constexpr double retryDelay = 30;

private:
    explicit DefaultsStore(const DefaultsDomain& domain);

    std::filesystem::path file_;
    DefaultsDomain declared_;
};
