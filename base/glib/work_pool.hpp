// A small fixed pool of worker threads whose answers reach the main thread in
// the order the work was asked for: a burst of requests queues instead of
// starting a thread each, and nobody's answer overtakes an earlier one.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace camvault {

class OrderedWorkPool {
  public:
    // Runs on a worker; returns what then runs on the main thread.
    using Job = std::function<std::function<void()>()>;

    explicit OrderedWorkPool(unsigned threads);
    ~OrderedWorkPool();  // shutdown(5 s)
    OrderedWorkPool(const OrderedWorkPool&) = delete;
    OrderedWorkPool& operator=(const OrderedWorkPool&) = delete;

    void submit(Job job);

    // Jobs queued, running, or finished but not yet answered on the main thread.
    size_t pending() const;

    // Drops the jobs not started yet and waits up to `limit` for the running
    // ones (a card that stalls may hold a read for ever: then they are left
    // to the end of the process). No answer runs after this.
    void shutdown(std::chrono::milliseconds limit);

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace camvault
