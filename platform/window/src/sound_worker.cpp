#include "sound_worker.h"

namespace ax::wm {

SoundWorker::SoundWorker() : thread_([this] { Run(); }) {}

SoundWorker::~SoundWorker() {
    {
        std::lock_guard<std::mutex> g(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void SoundWorker::Post(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> g(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

void SoundWorker::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
        if (stopping_) return;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

} // namespace ax::wm
