#pragma once

#include <csignal>
#include <sys/resource.h>

namespace qx375::test {

// Makes every file this process writes stop at `bytes`, as a full disk would,
// for the life of the object: writes past it fail instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : old_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_limit_);
        struct rlimit small = old_limit_;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_limit_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct rlimit old_limit_;
    void (*old_handler_)(int);
};

} // namespace qx375::test
