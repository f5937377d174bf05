// The GTK pause: never shorter than asked, the main loop runs during it, the slack is restored.
#include "link/pause.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <sys/prctl.h>

namespace {

gboolean countTick(gpointer data) {
    ++*static_cast<int *>(data);
    return G_SOURCE_CONTINUE;
}

TEST(GtkPause, pause_never_shorter_than_asked) {
    for (uint32_t milliseconds : {1u, 20u, 55u, 120u}) {
        const gint64 start = g_get_monotonic_time();
        pauseMs(milliseconds);
        EXPECT_GE(g_get_monotonic_time() - start, gint64{milliseconds} * 1000) << milliseconds;
    }
}

TEST(GtkPause, zero_pause_returns_at_once) {
    const gint64 start = g_get_monotonic_time();
    pauseMs(0);
    EXPECT_LT(g_get_monotonic_time() - start, 20000);
}

TEST(GtkPause, main_loop_runs_during_pause) {
    int ticks = 0;
    guint source = g_timeout_add(5, countTick, &ticks);
    pauseMs(100);
    g_source_remove(source);
    EXPECT_GE(ticks, 5) << "windows would not be drawn during the pause";
}

// The pause sharpens the kernel's timer slack for itself only; left behind, it would cost the
// whole program the kernel's batching of wake-ups.
TEST(GtkPause, timer_slack_left_sharpened) {
    const int slack = 70000;
    ASSERT_EQ(prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0, 0, 0), 0);
    pauseMs(5);
    EXPECT_EQ(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), slack);
}

TEST(GtkPause, nested_pause_in_a_callback_still_waits) {
    struct Nested {
        gint64 took = 0;
    } nested;
    g_timeout_add(
        5,
        [](gpointer data) -> gboolean {
            const gint64 start = g_get_monotonic_time();
            pauseMs(30);
            static_cast<Nested *>(data)->took = g_get_monotonic_time() - start;
            return G_SOURCE_REMOVE;
        },
        &nested);
    pauseMs(80);
    EXPECT_GE(nested.took, 30000);
}

} // namespace
