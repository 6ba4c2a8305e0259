// Helper for the recorder tests: records the screen into HOME/CAMVAULT/files
// until the process is killed, so that a test can check what a crash leaves.
#include <glib.h>

#include <cstdio>

#include "media/screen_recorder.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILES_DIR\n", argv[0]);
        return 2;
    }
    camvault::media::ScreenRecorder recorder(argv[1], nullptr, {});
    if (!recorder.start())
        return 1;
    std::printf("%s\n", recorder.file().c_str());
    std::fflush(stdout);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);  // until killed
    g_main_loop_unref(loop);
    return 0;
}
