// Driving the GTK window from tests, and the test program's entry point.
#include "tests/gtk/driver.h"

#include "app/messages.h"
#include "resource.h"

#include <gtest/gtest.h>

// After GoogleTest: Xlib defines None and Bool as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <cstdio>

static gboolean spinElapsed(gpointer data) {
    *static_cast<bool *>(data) = true;
    return G_SOURCE_REMOVE;
}

void spin(guint milliseconds) {
    bool elapsed = false;
    g_timeout_add(milliseconds, spinElapsed, &elapsed);
    while (!elapsed) {
        g_main_context_iteration(nullptr, TRUE);
    }
}

std::wstring message(uint16_t id) {
    wchar_t text[MESSAGE_BUFFER_SIZE];
    loadMessage(id, text, MESSAGE_BUFFER_SIZE);
    return text;
}

std::wstring notReady(uint16_t id) {
    return message(id) + L"\r\n\r\n" + message(MSG_INSTRUCTIONS);
}

std::string shown(const std::wstring &text) {
    std::wstring display;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            continue;
        }
        display.push_back(text[i]);
    }
    gchar *utf8 = g_ucs4_to_utf8(reinterpret_cast<const gunichar *>(display.c_str()), -1, nullptr,
                                 nullptr, nullptr);
    std::string result = utf8 != nullptr ? utf8 : "";
    g_free(utf8);
    return result;
}

std::string shownStatus() {
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(guiControl(IDC_STATUS)));
    GtkTextIter start;
    GtkTextIter end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar *text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string result = text;
    g_free(text);
    return result;
}

std::string labelText(int id) {
    return gtk_label_get_text(GTK_LABEL(guiControl(id)));
}

bool sensitive(int id) {
    return gtk_widget_get_sensitive(guiControl(id)) != FALSE;
}

// ---- Answering our message boxes from the test ----

std::vector<SeenBox> gBoxes;
std::deque<int> gAnswers;
std::function<bool()> gKeepBoxOpen;

// The name of the first themed icon in the box that is on the screen.
static void findShownIcon(GtkWidget *widget, gpointer data) {
    std::string *name = static_cast<std::string *>(data);
    if (!name->empty() || !gtk_widget_get_mapped(widget)) {
        return;
    }
    if (GTK_IS_IMAGE(widget) &&
        gtk_image_get_storage_type(GTK_IMAGE(widget)) == GTK_IMAGE_ICON_NAME) {
        const gchar *iconName = nullptr;
        gtk_image_get_icon_name(GTK_IMAGE(widget), &iconName, nullptr);
        *name = iconName != nullptr ? iconName : "";
    } else if (GTK_IS_CONTAINER(widget)) {
        gtk_container_forall(GTK_CONTAINER(widget), findShownIcon, data);
    }
}

static gboolean answerBoxes(gpointer data) {
    (void)data;
    GList *windows = gtk_window_list_toplevels();
    for (GList *item = windows; item != nullptr; item = item->next) {
        GtkWidget *window = GTK_WIDGET(item->data);
        if (!GTK_IS_MESSAGE_DIALOG(window) || !gtk_widget_get_visible(window) ||
            g_object_get_data(G_OBJECT(window), "answered") != nullptr) {
            continue;
        }
        if (gKeepBoxOpen && gKeepBoxOpen()) {
            continue;
        }
        SeenBox box;
        gchar *text = nullptr;
        g_object_get(window, "text", &text, "message-type", &box.type, nullptr);
        box.text = text != nullptr ? text : "";
        g_free(text);
        box.caption = gtk_window_get_title(GTK_WINDOW(window));
        for (int response :
             {GTK_RESPONSE_OK, GTK_RESPONSE_CANCEL, GTK_RESPONSE_YES, GTK_RESPONSE_NO}) {
            if (gtk_dialog_get_widget_for_response(GTK_DIALOG(window), response) != nullptr) {
                box.responses.push_back(response);
            }
        }
        findShownIcon(window, &box.icon);
        gBoxes.push_back(box);
        int answer = GTK_RESPONSE_OK;
        if (!gAnswers.empty()) {
            answer = gAnswers.front();
            gAnswers.pop_front();
        }
        g_object_set_data(G_OBJECT(window), "answered", window);
        gtk_dialog_response(GTK_DIALOG(window), answer);
    }
    g_list_free(windows);
    return G_SOURCE_CONTINUE;
}

// ---- Watching the progress window ----

ProgressSeen gProgressSeen;
bool gPokeDuringTransfer = false;
bool gPoked = false;

static gboolean progressDrawn(GtkWidget *widget, cairo_t *cr, gpointer data) {
    (void)widget;
    (void)cr;
    (void)data;
    ++gProgressSeen.draws;
    return FALSE;
}

void sendKey(GtkWidget *window, guint keyval) {
    GdkEvent *event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    event->key.keyval = keyval;
    event->key.time = GDK_CURRENT_TIME;
    // Key bindings (Enter for the default button) look at the hardware key.
    GdkKeymapKey *keys = nullptr;
    gint count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()),
                                          keyval, &keys, &count) &&
        count > 0) {
        event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
    }
    g_free(keys);
    GdkSeat *seat = gdk_display_get_default_seat(gdk_display_get_default());
    gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
    gdk_event_put(event);
    gdk_event_free(event);
}

void sendDelete(GtkWidget *window) {
    GdkEvent *event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    gdk_event_put(event);
    gdk_event_free(event);
}

GdkRectangle declaredVisibleFrame(GtkWidget *window, bool *declared) {
    GdkWindow *surface = gtk_widget_get_window(window);
    GdkRectangle frame;
    gdk_window_get_frame_extents(surface, &frame);
    Display *display = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(surface));
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    XGetWindowProperty(display, GDK_WINDOW_XID(surface),
                       XInternAtom(display, "_GTK_FRAME_EXTENTS", False), 0, 4, False, XA_CARDINAL,
                       &type, &format, &count, &after, &data);
    const bool found = type == XA_CARDINAL && format == 32 && count == 4;
    if (declared != nullptr) {
        *declared = found;
    }
    if (found) {
        // Left, right, top, bottom; 32-bit items come as longs.
        const long *border = reinterpret_cast<const long *>(data);
        frame.x += static_cast<int>(border[0]);
        frame.y += static_cast<int>(border[2]);
        frame.width -= static_cast<int>(border[0] + border[1]);
        frame.height -= static_cast<int>(border[2] + border[3]);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return frame;
}

gboolean watchProgress(gpointer data) {
    (void)data;
    GtkWidget *progress = guiProgressWindow();
    if (progress == nullptr) {
        return G_SOURCE_CONTINUE;
    }
    if (g_object_get_data(G_OBJECT(progress), "watched") == nullptr) {
        g_object_set_data(G_OBJECT(progress), "watched", progress);
        GtkWidget *bar = gtk_bin_get_child(GTK_BIN(progress));
        g_signal_connect(bar, "draw", G_CALLBACK(progressDrawn), nullptr);
        gProgressSeen.existed = true;
        gProgressSeen.title = gtk_window_get_title(GTK_WINDOW(progress));
        gtk_window_get_position(GTK_WINDOW(progress), &gProgressSeen.x, &gProgressSeen.y);
        gProgressSeen.transientForMain =
            gtk_window_get_transient_for(GTK_WINDOW(progress)) == GTK_WINDOW(guiMainWindow());
    }
    if (gtk_widget_get_mapped(progress)) {
        gdk_window_get_frame_extents(gtk_widget_get_window(progress), &gProgressSeen.frame);
        gProgressSeen.visible = declaredVisibleFrame(progress);
    }
    GtkWidget *bar = gtk_bin_get_child(GTK_BIN(progress));
    gProgressSeen.lastFraction = gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(bar));
    if (gPokeDuringTransfer && !gPoked && gProgressSeen.lastFraction > 0.0) {
        gPoked = true;
        sendKey(guiMainWindow(), GDK_KEY_Escape);
        sendKey(progress, GDK_KEY_Escape);
        sendDelete(guiMainWindow());
    }
    return G_SOURCE_CONTINUE;
}

UiRect mainFrame() {
    return gUnit.frontEnd.ops->window->frame(gUnit.frontEnd.state);
}

void writeScreenshot(const char *name) {
    GtkWidget *window = guiMainWindow();
    ASSERT_NE(window, nullptr);
    spin(100);
    int width = gtk_widget_get_allocated_width(window);
    int height = gtk_widget_get_allocated_height(window);
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t *cr = cairo_create(surface);
    gtk_widget_draw(window, cr);
    cairo_destroy(cr);
    g_mkdir_with_parents(QUILLAR_SCREENSHOT_DIR, 0755);
    gchar *path = g_build_filename(QUILLAR_SCREENSHOT_DIR, name, nullptr);
    EXPECT_EQ(cairo_surface_write_to_png(surface, path), CAIRO_STATUS_SUCCESS) << path;
    g_free(path);
    cairo_surface_destroy(surface);
}

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!gtk_init_check(&argc, &argv)) {
        fprintf(stderr, "no display: the GTK tests run under xvfb-run\n");
        return 1;
    }
    g_timeout_add(10, answerBoxes, nullptr);
    return RUN_ALL_TESTS();
}
