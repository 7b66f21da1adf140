#pragma once

#include <csignal>
#include <sys/resource.h>

// For its life no file of the process can grow, as on a full disk (writes fail with EFBIG, while files
// are still made, renamed and removed): the kernel's file-size limit, with no privilege or mount.
class FullDisk {
public:
    FullDisk() {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit none = previous_;
        none.rlim_cur = 0;
        std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of ending the process
        ::setrlimit(RLIMIT_FSIZE, &none);
    }
    ~FullDisk() { ::setrlimit(RLIMIT_FSIZE, &previous_); }

private:
    rlimit previous_{};
};
