#pragma once
// Threads that serve a crew besides the test's own, as a batch's helpers do.

#include "segments.h"

#include <atomic>
#include <thread>
#include <vector>

class CrewThreads {
public:
    explicit CrewThreads(zip::Crew &crew) : crew(crew)
    {
        for (uint32_t i = 1; i < crew.threads(); ++i)
            threads.emplace_back([this] { this->crew.serve(stop); });
    }
    ~CrewThreads()
    {
        stop = true;
        crew.wake();
        for (std::thread &thread : threads)
            thread.join();
    }

private:
    zip::Crew &crew;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
};
