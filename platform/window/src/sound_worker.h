#pragma once
// A thread that runs sound jobs one after another, so that the callers of
// the sound functions never wait for a device, a library or a server.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace ax::wm {

class SoundWorker {
public:
    SoundWorker();
    // Ends after the job under way; jobs still queued are dropped.
    ~SoundWorker();
    SoundWorker(const SoundWorker&) = delete;
    SoundWorker& operator=(const SoundWorker&) = delete;

    void Post(std::function<void()> job);

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_; // under mutex_
    bool stopping_ = false;                  // under mutex_
    std::thread thread_;
};

} // namespace ax::wm
