#pragma once
// POSIX only: a file-size limit for the tests of writes that fail part way.

#include <csignal>

#include <sys/resource.h>

// Lowers this process's file-size limit to `bytes` while it lives, with SIGXFSZ at its default
// action, as a user's shell leaves it: a write past the limit ends the process unless the
// program has called failWritesPastSizeLimit, as it does at start-up.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limit{bytes, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        previous = std::signal(SIGXFSZ, SIG_DFL);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved{};
    void (*previous)(int) = nullptr;
};
