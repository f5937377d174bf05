// The GTK program's front end: the status box, the version lines, the Update button, message
// boxes, the progress window, keeping the system awake, and the main window's own operations.
#include "gtk/gtk_program.h"

#include "app/messages.h"

#include <initializer_list>
#include <string>

namespace {

GuiWindows *windowsOf(void *state) {
    return static_cast<GuiWindows *>(state);
}

void setLabelText(GtkWidget *label, const wchar_t *text) {
    if (label == nullptr) {
        return;
    }
    gchar *display = guiDisplayText(text);
    gtk_label_set_text(GTK_LABEL(label), display);
    g_free(display);
}

void setSensitive(GtkWidget *widget, bool enabled) {
    if (widget != nullptr) {
        gtk_widget_set_sensitive(widget, enabled ? TRUE : FALSE);
    }
}

void showStatus(void *state, const wchar_t *text) {
    GtkWidget *status = windowsOf(state)->status;
    if (status == nullptr) {
        return;
    }
    gchar *display = guiDisplayText(text);
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(status));
    gtk_text_buffer_set_text(buffer, display, -1);
    g_free(display);
    // A new text is read from its start.
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
    gtk_text_view_scroll_to_iter(GTK_TEXT_VIEW(status), &start, 0.0, FALSE, 0.0, 0.0);
}

// The three version lines are shown enabled exactly while a unit is open.
void switchVersionLines(const GuiWindows *windows, bool enabled) {
    for (GtkWidget *field : windows->versions) {
        setSensitive(field, enabled);
    }
    for (GtkWidget *label : windows->labels) {
        setSensitive(label, enabled);
    }
}

void showVersions(void *state, const VersionTexts *texts) {
    const GuiWindows *windows = windowsOf(state);
    const bool open = texts->unitLabel != nullptr;
    if (open) {
        switchVersionLines(windows, true);
    }
    setLabelText(windows->versions[0], texts->unit);
    setLabelText(windows->versions[1], texts->bootloader);
    setLabelText(windows->versions[2], texts->esc);
    if (open) {
        setLabelText(windows->labels[0], texts->unitLabel);
    } else {
        switchVersionLines(windows, false);
    }
}

void offerUpdate(void *state, bool offered) {
    setSensitive(windowsOf(state)->update, offered);
}

// The themed icon of a box's type. GTK 3's message dialog no longer draws one of its own.
const char *boxIconName(GtkMessageType type) {
    switch (type) {
    case GTK_MESSAGE_WARNING:
        return "dialog-warning";
    case GTK_MESSAGE_ERROR:
        return "dialog-error";
    default:
        return "dialog-information";
    }
}

// Puts the icon left of the texts, at their top, in the row that holds the message area.
void addBoxIcon(GtkWidget *dialog, GtkMessageType type) {
    GtkWidget *texts = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
    GtkWidget *row = texts != nullptr ? gtk_widget_get_parent(texts) : nullptr;
    if (row == nullptr || !GTK_IS_BOX(row)) {
        return;
    }
    GtkWidget *icon = gtk_image_new_from_icon_name(boxIconName(type), GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(icon, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(row), icon, 0);
    gtk_widget_show(icon);
}

// How each kind of box looks and which answer is its default.
struct BoxLook {
    GtkMessageType type;
    GtkButtonsType buttons;
    gint yes; // the default button, and the answer that counts as OK or Yes
};

BoxLook boxLook(BoxKind kind) {
    switch (kind) {
    case BOX_INFORM:
        return {GTK_MESSAGE_INFO, GTK_BUTTONS_OK, GTK_RESPONSE_OK};
    case BOX_ASK_OK_CANCEL:
        return {GTK_MESSAGE_WARNING, GTK_BUTTONS_OK_CANCEL, GTK_RESPONSE_OK};
    case BOX_ASK_YES_NO:
        return {GTK_MESSAGE_WARNING, GTK_BUTTONS_YES_NO, GTK_RESPONSE_YES};
    case BOX_ERROR:
        break;
    }
    return {GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, GTK_RESPONSE_OK};
}

// A modal box owned by the main window, with its caption as the title. While it is open the
// windows behind it take no input (guiInputBlocked).
bool showBox(void *state, BoxKind kind, const wchar_t *caption, const wchar_t *text) {
    GuiWindows *windows = windowsOf(state);
    const BoxLook look = boxLook(kind);
    gchar *captionText = guiDisplayText(caption);
    gchar *bodyText = guiDisplayText(text);
    GtkWidget *owner = windows->main;
    GtkWidget *dialog =
        gtk_message_dialog_new(owner != nullptr ? GTK_WINDOW(owner) : nullptr, GTK_DIALOG_MODAL,
                               look.type, look.buttons, "%s", bodyText);
    gtk_window_set_title(GTK_WINDOW(dialog), captionText);
    addBoxIcon(dialog, look.type);
    g_free(captionText);
    g_free(bodyText);
    if (owner == nullptr || !gtk_widget_get_visible(owner)) {
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    }
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), look.yes);
    ++windows->modalDepth;
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    --windows->modalDepth;
    gtk_widget_destroy(dialog);
    return kind == BOX_INFORM || kind == BOX_ERROR || response == look.yes;
}

// The system is kept from suspending or idling while the update sends; the reason shown is the
// progress window's title.
void sending(void *state, bool on) {
    GuiWindows *windows = windowsOf(state);
    if (!on) {
        if (windows->inhibitCookie != 0 && windows->application != nullptr) {
            gtk_application_uninhibit(windows->application, windows->inhibitCookie);
        }
        windows->inhibitCookie = 0;
        return;
    }
    if (windows->application == nullptr || windows->inhibitCookie != 0) {
        return;
    }
    wchar_t reason[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_PROGRESS, reason, MESSAGE_BUFFER_SIZE);
    gchar *text = guiDisplayText(reason);
    windows->inhibitCookie = gtk_application_inhibit(
        windows->application, windows->main != nullptr ? GTK_WINDOW(windows->main) : nullptr,
        static_cast<GtkApplicationInhibitFlags>(GTK_APPLICATION_INHIBIT_SUSPEND |
                                                GTK_APPLICATION_INHIBIT_IDLE),
        text);
    g_free(text);
}

// Room around the progress bar inside the progress window, in pixels.
constexpr int32_t PROGRESS_BORDER = 8;

gboolean progressOnDelete(GtkWidget *widget, GdkEvent *event, gpointer data) {
    (void)widget;
    (void)event;
    (void)data;
    return TRUE;
}

// A window that decorates itself adds a title bar of its own to the size asked (and GTK places
// it by what is seen of it): it moves so that what is seen stays centred on the rectangle asked.
void progressAllocated(GtkWidget *widget, GdkRectangle *allocation, gpointer data) {
    (void)allocation;
    // Moving a window not yet on the screen would only ask for another allocation.
    if (!gtk_widget_get_mapped(widget)) {
        return;
    }
    const GdkRectangle asked = static_cast<const GuiWindows *>(data)->progressAsked;
    const GdkRectangle seen = guiVisibleFrame(widget);
    const int x = asked.x + (asked.width - seen.width) / 2;
    const int y = asked.y + (asked.height - seen.height) / 2;
    int atX = 0;
    int atY = 0;
    gtk_window_get_position(GTK_WINDOW(widget), &atX, &atY);
    if (x != atX || y != atY) {
        gtk_window_move(GTK_WINDOW(widget), x, y);
    }
}

void transferProgress(void *state, uint32_t percent) {
    GuiWindows *windows = windowsOf(state);
    if (windows->progressBar == nullptr) {
        return;
    }
    if (percent > 100) {
        percent = 100;
    }
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(windows->progressBar), percent / 100.0);
    gchar *label = g_strdup_printf("%u %%", percent);
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(windows->progressBar), label);
    g_free(label);
}

void transferEnded(void *state) {
    GuiWindows *windows = windowsOf(state);
    if (windows->progress == nullptr) {
        return;
    }
    gtk_widget_destroy(windows->progress);
    windows->progress = nullptr;
    windows->progressBar = nullptr;
}

// A top-level window with the bar, owned by the main window, at the place asked.
void transferStarted(void *state, const TransferStart *start) {
    GuiWindows *windows = windowsOf(state);
    transferEnded(state);
    const UiRect &place = start->place;
    const int32_t width = place.right - place.left;
    const int32_t height = place.bottom - place.top;
    GtkWidget *progress = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    windows->progress = progress;
    gchar *title = guiDisplayText(start->text);
    gtk_window_set_title(GTK_WINDOW(progress), title);
    g_free(title);
    if (windows->main != nullptr) {
        gtk_window_set_transient_for(GTK_WINDOW(progress), GTK_WINDOW(windows->main));
    }
    gtk_window_set_type_hint(GTK_WINDOW(progress), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_deletable(GTK_WINDOW(progress), FALSE);
    gtk_window_set_resizable(GTK_WINDOW(progress), FALSE);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(progress), TRUE);
    gtk_window_set_default_size(GTK_WINDOW(progress), width, height);
    gtk_window_move(GTK_WINDOW(progress), place.left, place.top);
    windows->progressAsked = GdkRectangle{place.left, place.top, width, height};
    windows->progressBar = gtk_progress_bar_new();
    gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(windows->progressBar), TRUE);
    // The border lies inside the window's width: a wider window would not be centred.
    const int32_t barWidth = width > 2 * PROGRESS_BORDER ? width - 2 * PROGRESS_BORDER : 1;
    gtk_widget_set_size_request(windows->progressBar, barWidth, -1);
    gtk_widget_set_valign(windows->progressBar, GTK_ALIGN_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(progress), PROGRESS_BORDER);
    gtk_container_add(GTK_CONTAINER(progress), windows->progressBar);
    g_signal_connect(progress, "delete-event", G_CALLBACK(progressOnDelete), nullptr);
    g_signal_connect_after(progress, "size-allocate", G_CALLBACK(progressAllocated), windows);
    transferProgress(state, 0);
    gtk_widget_show_all(progress);
}

// ---- The main window's own operations ----

void setTitle(void *state, const wchar_t *title) {
    GtkWidget *window = windowsOf(state)->main;
    if (window == nullptr) {
        return;
    }
    gchar *text = guiDisplayText(title);
    gtk_window_set_title(GTK_WINDOW(window), text);
    g_free(text);
}

void setIcon(void *state) {
    GtkWidget *window = windowsOf(state)->main;
    GdkPixbuf *icon = gdk_pixbuf_new_from_resource(QUILLAR_RESOURCE_ICON, nullptr);
    if (window == nullptr || icon == nullptr) {
        g_clear_object(&icon);
        return;
    }
    gtk_window_set_icon(GTK_WINDOW(window), icon);
    gtk_window_set_default_icon(icon);
    g_object_unref(icon);
}

void setLabels(void *state, const wchar_t *unit, const wchar_t *bootloader, const wchar_t *esc) {
    const GuiWindows *windows = windowsOf(state);
    setLabelText(windows->labels[0], unit);
    setLabelText(windows->labels[1], bootloader);
    setLabelText(windows->labels[2], esc);
}

bool registerDevices(void *state) {
    return udevMonitorStart(windowsOf(state)->unit);
}

void unregisterDevices(void *) {
    udevMonitorStop();
}

// The window's "destroy" handler forgets its widgets.
void endWindow(void *state, int result) {
    GuiWindows *windows = windowsOf(state);
    sending(state, false);
    transferEnded(state);
    windows->result = result;
    if (windows->main != nullptr) {
        gtk_widget_destroy(windows->main);
    }
}

UiRect frame(void *state) {
    GtkWidget *window = windowsOf(state)->main;
    if (window == nullptr) {
        return UiRect{0, 0, 0, 0};
    }
    GdkRectangle seen{0, 0, 0, 0};
    if (gtk_widget_get_window(window) != nullptr) {
        seen = guiVisibleFrame(window);
    } else {
        gtk_window_get_position(GTK_WINDOW(window), &seen.x, &seen.y);
        gtk_window_get_size(GTK_WINDOW(window), &seen.width, &seen.height);
    }
    return UiRect{seen.x, seen.y, seen.x + seen.width, seen.y + seen.height};
}

// GTK scales every pixel figure by the display's scale factor itself.
int32_t scalePixels(void *, int32_t pixels) {
    return pixels;
}

bool inFront(void *state) {
    const GuiWindows *windows = windowsOf(state);
    for (GtkWidget *window : {windows->main, windows->progress}) {
        if (window != nullptr && gtk_window_is_active(GTK_WINDOW(window))) {
            return true;
        }
    }
    return false;
}

void raise(void *state, bool show) {
    const GuiWindows *windows = windowsOf(state);
    for (GtkWidget *window : {windows->main, windows->progress}) {
        if (window != nullptr) {
            gtk_window_present(GTK_WINDOW(window));
        }
    }
    if (!show) {
        return;
    }
    for (GtkWidget *window : {windows->main, windows->progress}) {
        if (window != nullptr) {
            gtk_widget_show(window);
        }
    }
}

const WindowOps GUI_WINDOW_OPS = {
    .setTitle = setTitle,
    .setIcon = setIcon,
    .setLabels = setLabels,
    .registerDevices = registerDevices,
    .unregisterDevices = unregisterDevices,
    .endWindow = endWindow,
    .frame = frame,
    .scalePixels = scalePixels,
    .inFront = inFront,
    .raise = raise,
};

} // namespace

const FrontEndOps GUI_FRONT_END = {
    .showStatus = showStatus,
    .showVersions = showVersions,
    .offerUpdate = offerUpdate,
    .showBox = showBox,
    .sending = sending,
    .transferStarted = transferStarted,
    .transferProgress = transferProgress,
    .transferEnded = transferEnded,
    .window = &GUI_WINDOW_OPS,
};

gchar *guiDisplayText(const wchar_t *text) {
    std::wstring display;
    for (const wchar_t *c = text != nullptr ? text : L""; *c != L'\0'; ++c) {
        if (c[0] == L'\r' && c[1] == L'\n') {
            continue;
        }
        display.push_back(*c);
    }
    gchar *utf8 = g_ucs4_to_utf8(reinterpret_cast<const gunichar *>(display.c_str()), -1, nullptr,
                                 nullptr, nullptr);
    return utf8 != nullptr ? utf8 : g_strdup("");
}
