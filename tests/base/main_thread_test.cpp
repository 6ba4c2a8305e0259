// Work handed to the main thread runs there, never on the worker that handed it over.
#include "base/glib/main_thread.hpp"

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

}  // namespace
}  // namespace camvault
