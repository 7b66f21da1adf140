#pragma once

#include <csignal>
#include <sys/resource.h>

// For its life no file of the process can grow: every write of a byte fails as on a full disk (with
// EFBIG rather than ENOSPC), while creating, renaming and removing files still work. The kernel's
// file-size limit does it without privileges or a mount of its own.
class FullDisk {
public:
    FullDisk() {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        previousSignal_ = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of ending the process
        rlimit none = previous_;
        none.rlim_cur = 0;
        ::setrlimit(RLIMIT_FSIZE, &none);
    }
    ~FullDisk() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousSignal_);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit previous_{};
    void (*previousSignal_)(int) = SIG_DFL;
};
