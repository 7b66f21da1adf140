#pragma once

#include <memory>
#include <string>

// A system library opened when first needed (dlopen), rather than linked: a library and all it pulls
// in are mapped only in a process that uses them, so an idle application holds none of what it may
// never use. The library stays open for the life of the process.
class SharedLibrary {
public:
    // Opens the library by its file name ("libcurl.so.4"); check failure().
    explicit SharedLibrary(const std::string& fileName);

    // Why the library or a symbol could not be had; empty while all went well.
    const std::string& failure() const { return failure_; }

    // Sets `function` to the symbol `name`; on failure leaves it null and records why.
    template <typename Function> void resolve(Function& function, const char* name) {
        function = reinterpret_cast<Function>(symbol(name));
    }

    // The table of the library's functions that `fill(library, table)` resolves, made on the first call
    // (from any thread) and kept for the process; `table.failure` says why it is unusable, if it is
    // (`fill` may say so itself, when setting the library up fails).
    template <typename Table, typename Fill> static const Table& loadOnce(const char* fileName, Fill fill) {
        static const Table loaded = [&] {
            static SharedLibrary library(fileName);
            Table table;
            fill(library, table);
            if (table.failure.empty())
                table.failure = library.failure();
            return table;
        }();
        return loaded;
    }

private:
    void* symbol(const char* name);

    void* handle_ = nullptr;
    std::string fileName_;
    std::string failure_;
};
