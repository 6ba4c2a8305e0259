// Work handed to the main thread runs there, never on the worker that handed
// it over; the ordered pool keeps to its threads and its order.
#include "base/glib/main_thread.hpp"

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "base/glib/work_pool.hpp"

namespace camvault {
namespace {

TEST(MainThread, WorkFromAWorkerRunsOnTheThreadRunningTheLoop) {
    const auto main_id = std::this_thread::get_id();
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    std::atomic<int> ran{0};
    std::atomic<bool> wrong_thread{false};
    std::thread worker([&] {
        // Many hand-overs, some while the loop sits between two iterations.
        for (int i = 0; i < 2000; ++i) {
            run_on_main_thread([&] {
                if (std::this_thread::get_id() != main_id)
                    wrong_thread = true;
                if (++ran == 2000)
                    g_main_loop_quit(loop);
            });
        }
    });
    g_main_loop_run(loop);
    worker.join();
    g_main_loop_unref(loop);
    EXPECT_EQ(ran, 2000);
    EXPECT_FALSE(wrong_thread);
}

TEST(MainThread, WorkHandedOverBeforeTheLoopWaitsForIt) {
    std::atomic<bool> ran{false};
    std::thread([&] { run_on_main_thread([&] { ran = true; }); }).join();
    EXPECT_FALSE(ran);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    EXPECT_TRUE(ran);
}

TEST(OrderedWorkPool, ABurstRunsOnTwoThreadsAndIsAnsweredInOrder) {
    OrderedWorkPool pool(2);
    std::atomic<int> running{0}, most{0};
    std::mutex ids_mutex;
    std::set<std::thread::id> ids;
    std::vector<int> answers;
    for (int i = 0; i < 50; ++i) {
        pool.submit([&, i]() -> std::function<void()> {
            const int now = ++running;
            most = std::max(most.load(), now);
            {
                std::lock_guard lock(ids_mutex);
                ids.insert(std::this_thread::get_id());
            }
            // Later jobs finish first now and then: the answers must wait their turn.
            std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 3000));
            --running;
            return [&answers, i] { answers.push_back(i); };
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (answers.size() < 50 && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(nullptr, TRUE);
    ASSERT_EQ(answers.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(answers[i], i);
    EXPECT_LE(most.load(), 2);
    EXPECT_LE(ids.size(), 2u);
    EXPECT_EQ(pool.pending(), 0u);
}

TEST(OrderedWorkPool, ShutdownDropsWaitingWorkAndAnswersNothingMore) {
    OrderedWorkPool pool(1);
    std::atomic<bool> release{false};
    std::atomic<int> started{0};
    int answered = 0;
    for (int i = 0; i < 5; ++i) {
        pool.submit([&]() -> std::function<void()> {
            ++started;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return [&] { ++answered; };
        });
    }
    while (started == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release = true;
    }).detach();
    pool.shutdown(std::chrono::seconds(5));
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    EXPECT_EQ(started, 1);
    EXPECT_EQ(answered, 0);
}

}  // namespace
}  // namespace camvault
