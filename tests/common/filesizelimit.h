#pragma once
// POSIX only: a file-size limit for the tests of writes that fail part way.

#include <csignal>

#include <sys/resource.h>

// Lowers this process's file-size limit to `bytes` while it lives. With `signalIgnored`, a
// write past the limit fails; otherwise it ends the process with SIGXFSZ, as it would end the
// program.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes, bool signalIgnored = true)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limit{bytes, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        previous = std::signal(SIGXFSZ, signalIgnored ? SIG_IGN : SIG_DFL);
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
