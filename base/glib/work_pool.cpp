// The ordered work pool.
#include "base/glib/work_pool.hpp"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "base/glib/main_thread.hpp"

namespace camvault {

struct OrderedWorkPool::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<uint64_t, Job>> queue;
    std::map<uint64_t, std::function<void()>> finished;  // waiting for their turn
    uint64_t next_ticket = 0;
    uint64_t next_answer = 0;
    unsigned running = 0;
    bool stopping = false;
    std::vector<std::thread> threads;

    // Main thread: runs every answer whose turn has come.
    void answer() {
        while (true) {
            std::function<void()> next;
            {
                std::lock_guard lock(mutex);
                auto it = finished.find(next_answer);
                if (stopping || it == finished.end())
                    return;
                next = std::move(it->second);
                finished.erase(it);
                ++next_answer;
            }
            if (next)
                next();
        }
    }

    static void work(const std::shared_ptr<State>& self) {
        std::unique_lock lock(self->mutex);
        while (true) {
            self->changed.wait(lock, [&] { return self->stopping || !self->queue.empty(); });
            if (self->stopping)
                return;
            auto [ticket, job] = std::move(self->queue.front());
            self->queue.pop_front();
            ++self->running;
            lock.unlock();
            std::function<void()> reply = job();
            lock.lock();
            --self->running;
            self->finished.emplace(ticket, std::move(reply));
            self->changed.notify_all();
            std::weak_ptr<State> weak = self;
            run_on_main_thread([weak] {
                if (auto state = weak.lock())
                    state->answer();
            });
        }
    }
};

OrderedWorkPool::OrderedWorkPool(unsigned threads) : state_(std::make_shared<State>()) {
    for (unsigned i = 0; i < threads; ++i)
        state_->threads.emplace_back([state = state_] { State::work(state); });
}

OrderedWorkPool::~OrderedWorkPool() {
    shutdown(std::chrono::seconds(5));
}

void OrderedWorkPool::submit(Job job) {
    std::lock_guard lock(state_->mutex);
    if (state_->stopping)
        return;
    state_->queue.emplace_back(state_->next_ticket++, std::move(job));
    state_->changed.notify_one();
}

size_t OrderedWorkPool::pending() const {
    std::lock_guard lock(state_->mutex);
    return static_cast<size_t>(state_->next_ticket - state_->next_answer);
}

void OrderedWorkPool::shutdown(std::chrono::milliseconds limit) {
    std::unique_lock lock(state_->mutex);
    if (state_->threads.empty())
        return;
    state_->stopping = true;
    state_->queue.clear();
    state_->changed.notify_all();
    const bool ended = state_->changed.wait_for(lock, limit, [&] { return state_->running == 0; });
    auto threads = std::move(state_->threads);
    state_->threads.clear();
    lock.unlock();
    for (auto& thread : threads) {
        if (ended)
            thread.join();
        else
            thread.detach();  // it holds the state it uses; the process ends around it
    }
}

}  // namespace camvault
