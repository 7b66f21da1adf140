#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// Thread names as the system shows them (ps, top, /proc): the main thread's is the process's name.
inline std::string threadNameIn(const std::filesystem::path& commFile) {
    std::ifstream file(commFile);
    std::string name;
    std::getline(file, name);
    return name;
}

inline std::string mainThreadName() {
    return threadNameIn("/proc/self/comm");
}

// Every thread of this process.
inline std::vector<std::string> threadNames() {
    std::vector<std::string> names;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        names.push_back(threadNameIn(task.path() / "comm"));
    return names;
}
