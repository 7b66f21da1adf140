#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

// For its life the process can open no more files (opening fails with EMFILE), as when a flood of
// connections or another part of it has used its descriptors up: the soft limit is lowered to just above
// the highest descriptor open and every free one below is taken, but for `spare`.
class ExhaustedDescriptors {
public:
    explicit ExhaustedDescriptors(int spare = 0) {
        ::getrlimit(RLIMIT_NOFILE, &previous_);
        int highest = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
            highest = std::max(highest, std::stoi(entry.path().filename().string()));
        rlimit lowered = previous_;
        lowered.rlim_cur = rlim_t(highest + 1 + spare);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            held_.push_back(fd);
        for (; spare > 0 && !held_.empty(); --spare, held_.pop_back())
            ::close(held_.back());
    }
    ~ExhaustedDescriptors() {
        for (int fd : held_)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &previous_);
    }

private:
    rlimit previous_{};
    std::vector<int> held_;
};
