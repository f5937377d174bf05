// pauseMs for the GTK programs: waits at least the time asked while the windows keep drawing.
#include "link/pause.h"

#include <glib.h>

static gboolean pauseElapsed(gpointer data) {
    *static_cast<bool *>(data) = true;
    return G_SOURCE_REMOVE;
}

// The main context keeps running, so the windows are drawn and device events arrive (the
// application holds those that come during the update); user input to our windows is dropped
// by the window's event filter while the update runs.
void pauseMs(uint32_t milliseconds) {
    const gint64 deadline = g_get_monotonic_time() + gint64{milliseconds} * 1000;
    for (;;) {
        const gint64 now = g_get_monotonic_time();
        if (now >= deadline) {
            return;
        }
        bool elapsed = false;
        const guint remainingMs = static_cast<guint>((deadline - now + 999) / 1000);
        GSource *timer = g_timeout_source_new(remainingMs);
        g_source_set_callback(timer, pauseElapsed, &elapsed, nullptr);
        g_source_attach(timer, nullptr);
        while (!elapsed) {
            g_main_context_iteration(nullptr, TRUE);
        }
        g_source_destroy(timer);
        g_source_unref(timer);
    }
}
