// Entry point of the GTK program: one main window; the process always exits with code 0.
#include "gtk/gtk_program.h"

#include "link/units.h"

static void mainActivate(GtkApplication *app, gpointer data) {
    (void)data;
    if (guiMainWindow() != nullptr) {
        gtk_window_present(GTK_WINDOW(guiMainWindow()));
        return;
    }
    prepareUnits();
    guiOpenMainWindow(app);
}

int main(int argc, char **argv) {
    g_set_prgname("quillar-updater");
    // Every start is a program of its own, as two updaters would fight over one unit anyway;
    // the command line is ignored. The ID names the desktop entry, which Wayland desktops match
    // the window to.
    GtkApplication *app =
        gtk_application_new("example.zarvelo.QuillarUpdater", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(app, "activate", G_CALLBACK(mainActivate), nullptr);
    g_application_run(G_APPLICATION(app), argc > 0 ? 1 : 0, argv);
    g_object_unref(app);
    return 0;
}
