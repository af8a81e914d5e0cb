#pragma once

// A program run in a folder of its own, as the benchmarks run the renderer:
// its exit status, and what it used, the largest resident size included.

#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qx375::bench {

// Runs `args` (the program first) in `folder`; the wait status.
inline int run_in(const std::filesystem::path& folder, std::vector<std::string> args,
                  rusage* usage = nullptr) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (::chdir(folder.c_str()) == 0) {
            ::execv(argv[0], argv.data());
        }
        ::_exit(127);
    }
    int status = 0;
    rusage used{};
    ::wait4(child, &status, 0, usage != nullptr ? usage : &used);
    return status;
}

} // namespace qx375::bench
