// Where a window stands on the screen as the user sees it.
#include "gtk/gtk_program.h"

namespace {

// The title bar of a client-side decorated window: its shown child other than the content.
struct WindowParts {
    GtkWidget *content;
    GtkWidget *titleBar;
};

void findTitleBar(GtkWidget *child, gpointer data) {
    WindowParts *parts = static_cast<WindowParts *>(data);
    if (child != parts->content && gtk_widget_get_visible(child) && !GTK_IS_POPOVER(child)) {
        parts->titleBar = child;
    }
}

} // namespace

GdkRectangle guiVisibleFrame(GtkWidget *window) {
    GdkRectangle frame{0, 0, 0, 0};
    GdkWindow *surface = window != nullptr ? gtk_widget_get_window(window) : nullptr;
    if (surface == nullptr) {
        return frame;
    }
    gdk_window_get_frame_extents(surface, &frame);
    // A window that decorates itself draws its shadow inside its own surface: the surface is
    // larger than what is seen by the shadow's width on each side. "solid-csd" is such a window
    // drawn without a shadow (no compositor).
    GtkStyleContext *style = gtk_widget_get_style_context(window);
    WindowParts parts{gtk_bin_get_child(GTK_BIN(window)), nullptr};
    if (!gtk_style_context_has_class(style, "csd") ||
        gtk_style_context_has_class(style, "solid-csd") || parts.content == nullptr) {
        return frame;
    }
    // What is seen is the title bar, and below it the content with the window's border, which
    // is the size that GTK gives for a window that decorates itself.
    gtk_container_forall(GTK_CONTAINER(window), findTitleBar, &parts);
    if (parts.titleBar == nullptr) {
        return frame;
    }
    GtkAllocation title;
    gtk_widget_get_allocation(parts.titleBar, &title);
    int width = 0;
    int height = 0;
    gtk_window_get_size(GTK_WINDOW(window), &width, &height);
    int originX = 0;
    int originY = 0;
    gdk_window_get_origin(surface, &originX, &originY);
    return GdkRectangle{originX + title.x, originY + title.y, width, title.height + height};
}
