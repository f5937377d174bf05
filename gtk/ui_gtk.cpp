// The user-interface seam for GTK 3: status box, controls, message boxes, progress window.
#include "gtk/gtk_program.h"

#include "app/messages.h"
#include "app/image.h"
#include "app/ui.h"
#include "resource.h"

#include <cwchar>
#include <string>

static GtkApplication *gApplication;
static GtkWidget *gProgress;
static GtkWidget *gProgressBar;
static guint gInhibitCookie;
static GBytes *gImage;
// The status text exactly as it was set, CR LF included; the text view shows it with plain
// line breaks.
static std::wstring gStatusText;

void guiSetApplication(GtkApplication *app) {
    gApplication = app;
}

GtkWidget *guiProgressWindow() {
    return gProgress;
}

GdkPixbuf *guiLoadResourcePixbuf(const char *path) {
    return gdk_pixbuf_new_from_resource(path, nullptr);
}

// UTF-8 for GTK, with each CR LF turned into a plain line break.
static gchar *uiDisplayText(const wchar_t *text) {
    std::wstring display;
    for (const wchar_t *c = text; *c != L'\0'; ++c) {
        if (c[0] == L'\r' && c[1] == L'\n') {
            continue;
        }
        display.push_back(*c);
    }
    gchar *utf8 = g_ucs4_to_utf8(reinterpret_cast<const gunichar *>(display.c_str()), -1, nullptr,
                                 nullptr, nullptr);
    return utf8 != nullptr ? utf8 : g_strdup("");
}

void uiSetStatusText(const wchar_t *text) {
    gStatusText = text != nullptr ? text : L"";
    GtkWidget *status = guiControl(IDC_STATUS);
    if (status == nullptr) {
        return;
    }
    gchar *display = uiDisplayText(gStatusText.c_str());
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(status));
    gtk_text_buffer_set_text(buffer, display, -1);
    g_free(display);
    // A new text is read from its start.
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
    gtk_text_view_scroll_to_iter(GTK_TEXT_VIEW(status), &start, 0.0, FALSE, 0.0, 0.0);
}

size_t uiStatusTextLength() {
    return gStatusText.size();
}

void uiGetStatusText(wchar_t *buffer, size_t capacity) {
    if (capacity == 0) {
        return;
    }
    size_t count = gStatusText.size() < capacity - 1 ? gStatusText.size() : capacity - 1;
    wmemcpy(buffer, gStatusText.c_str(), count);
    buffer[count] = L'\0';
}

void uiEnableControl(int controlId, bool enabled) {
    GtkWidget *control = guiControl(controlId);
    if (control != nullptr) {
        gtk_widget_set_sensitive(control, enabled ? TRUE : FALSE);
    }
}

void uiSetControlText(int controlId, const wchar_t *text) {
    GtkWidget *control = guiControl(controlId);
    if (control == nullptr) {
        return;
    }
    gchar *display = uiDisplayText(text);
    if (GTK_IS_LABEL(control)) {
        gtk_label_set_text(GTK_LABEL(control), display);
    } else if (GTK_IS_BUTTON(control)) {
        gtk_button_set_label(GTK_BUTTON(control), display);
    } else if (GTK_IS_FRAME(control)) {
        gtk_frame_set_label(GTK_FRAME(control), display);
    }
    g_free(display);
}

// The themed icon of a box's type. GTK 3's message dialog no longer draws one of its own.
static const char *uiBoxIconName(GtkMessageType type) {
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
static void uiAddBoxIcon(GtkWidget *dialog, GtkMessageType type) {
    GtkWidget *texts = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
    GtkWidget *row = texts != nullptr ? gtk_widget_get_parent(texts) : nullptr;
    if (row == nullptr || !GTK_IS_BOX(row)) {
        return;
    }
    GtkWidget *icon = gtk_image_new_from_icon_name(uiBoxIconName(type), GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(icon, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(row), icon, 0);
    gtk_widget_show(icon);
}

// A modal box owned by the main window, with its caption as the title; returns the response.
static gint uiMessageBox(const wchar_t *caption, const wchar_t *text, GtkMessageType type,
                         GtkButtonsType buttons, gint defaultResponse) {
    gchar *captionText = uiDisplayText(caption);
    gchar *bodyText = uiDisplayText(text);
    GtkWidget *owner = guiMainWindow();
    GtkWidget *dialog = gtk_message_dialog_new(owner != nullptr ? GTK_WINDOW(owner) : nullptr,
                                               GTK_DIALOG_MODAL, type, buttons, "%s", bodyText);
    gtk_window_set_title(GTK_WINDOW(dialog), captionText);
    uiAddBoxIcon(dialog, type);
    g_free(captionText);
    g_free(bodyText);
    if (owner == nullptr || !gtk_widget_get_visible(owner)) {
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    }
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), defaultResponse);
    guiEnterModal();
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    guiLeaveModal();
    gtk_widget_destroy(dialog);
    return response;
}

void uiInform(const wchar_t *caption, const wchar_t *text) {
    uiMessageBox(caption, text, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, GTK_RESPONSE_OK);
}

bool uiAskOkCancel(const wchar_t *caption, const wchar_t *text) {
    return uiMessageBox(caption, text, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK_CANCEL,
                        GTK_RESPONSE_OK) == GTK_RESPONSE_OK;
}

bool uiAskYesNo(const wchar_t *caption, const wchar_t *text) {
    return uiMessageBox(caption, text, GTK_MESSAGE_WARNING, GTK_BUTTONS_YES_NO, GTK_RESPONSE_YES) ==
           GTK_RESPONSE_YES;
}

void uiShowError(const wchar_t *caption, const wchar_t *text) {
    uiMessageBox(caption, text, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, GTK_RESPONSE_OK);
}

UiRect uiDialogRect() {
    UiRect rect{0, 0, 0, 0};
    GtkWidget *window = guiMainWindow();
    if (window == nullptr) {
        return rect;
    }
    GdkRectangle frame{0, 0, 0, 0};
    if (gtk_widget_get_window(window) != nullptr) {
        frame = guiVisibleFrame(window);
    } else {
        gtk_window_get_position(GTK_WINDOW(window), &frame.x, &frame.y);
        gtk_window_get_size(GTK_WINDOW(window), &frame.width, &frame.height);
    }
    rect.left = frame.x;
    rect.top = frame.y;
    rect.right = frame.x + frame.width;
    rect.bottom = frame.y + frame.height;
    return rect;
}

// GTK scales every pixel figure by the display's scale factor itself.
int32_t uiScalePixels(int32_t pixels) {
    return pixels;
}

// Room around the progress bar inside the progress window, in pixels.
constexpr int32_t PROGRESS_BORDER = 8;

static gboolean uiProgressOnDelete(GtkWidget *widget, GdkEvent *event, gpointer data) {
    (void)widget;
    (void)event;
    (void)data;
    return TRUE;
}

// Where the progress window was asked to stand.
static GdkRectangle gProgressAsked;

// A window that decorates itself adds a title bar of its own to the size asked (and GTK places
// it by what is seen of it): it moves so that what is seen stays centred on the rectangle asked.
static void uiProgressAllocated(GtkWidget *widget, GdkRectangle *allocation, gpointer data) {
    (void)allocation;
    (void)data;
    // Moving a window not yet on the screen would only ask for another allocation.
    if (!gtk_widget_get_mapped(widget)) {
        return;
    }
    const GdkRectangle seen = guiVisibleFrame(widget);
    const int x = gProgressAsked.x + (gProgressAsked.width - seen.width) / 2;
    const int y = gProgressAsked.y + (gProgressAsked.height - seen.height) / 2;
    int atX = 0;
    int atY = 0;
    gtk_window_get_position(GTK_WINDOW(widget), &atX, &atY);
    if (x != atX || y != atY) {
        gtk_window_move(GTK_WINDOW(widget), x, y);
    }
}

UiWindow uiCreateProgressWindow(int32_t x, int32_t y, int32_t width, int32_t height,
                                const wchar_t *text) {
    uiDestroyProgressWindow(gProgress);
    gProgress = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gchar *title = uiDisplayText(text);
    gtk_window_set_title(GTK_WINDOW(gProgress), title);
    g_free(title);
    GtkWidget *owner = guiMainWindow();
    if (owner != nullptr) {
        gtk_window_set_transient_for(GTK_WINDOW(gProgress), GTK_WINDOW(owner));
    }
    gtk_window_set_type_hint(GTK_WINDOW(gProgress), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_deletable(GTK_WINDOW(gProgress), FALSE);
    gtk_window_set_resizable(GTK_WINDOW(gProgress), FALSE);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(gProgress), TRUE);
    gtk_window_set_default_size(GTK_WINDOW(gProgress), width, height);
    gtk_window_move(GTK_WINDOW(gProgress), x, y);
    gProgressAsked = GdkRectangle{x, y, width, height};
    gProgressBar = gtk_progress_bar_new();
    gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(gProgressBar), TRUE);
    // The border lies inside the window's width: a wider window would not be centred.
    const int32_t barWidth = width > 2 * PROGRESS_BORDER ? width - 2 * PROGRESS_BORDER : 1;
    gtk_widget_set_size_request(gProgressBar, barWidth, -1);
    gtk_widget_set_valign(gProgressBar, GTK_ALIGN_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(gProgress), PROGRESS_BORDER);
    gtk_container_add(GTK_CONTAINER(gProgress), gProgressBar);
    g_signal_connect(gProgress, "delete-event", G_CALLBACK(uiProgressOnDelete), nullptr);
    g_signal_connect_after(gProgress, "size-allocate", G_CALLBACK(uiProgressAllocated), nullptr);
    uiSetProgress(gProgress, 0);
    gtk_widget_show_all(gProgress);
    return gProgress;
}

void uiSetProgress(UiWindow progress, uint32_t percent) {
    if (progress == nullptr || progress != gProgress) {
        return;
    }
    if (percent > 100) {
        percent = 100;
    }
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(gProgressBar), percent / 100.0);
    gchar *label = g_strdup_printf("%u %%", percent);
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(gProgressBar), label);
    g_free(label);
}

void uiDestroyProgressWindow(UiWindow progress) {
    if (progress == nullptr || progress != gProgress) {
        return;
    }
    gtk_widget_destroy(gProgress);
    gProgress = nullptr;
    gProgressBar = nullptr;
}

UiWindow uiMainWindow() {
    return guiMainWindow();
}

void uiRaiseWindow(UiWindow window) {
    if (window != nullptr && (window == guiMainWindow() || window == gProgress)) {
        gtk_window_present(GTK_WINDOW(window));
    }
}

void uiShowWindow(UiWindow window) {
    if (window != nullptr && (window == guiMainWindow() || window == gProgress)) {
        gtk_widget_show(GTK_WIDGET(window));
    }
}

UiWindow uiForegroundWindow() {
    if (gProgress != nullptr && gtk_window_is_active(GTK_WINDOW(gProgress))) {
        return gProgress;
    }
    GtkWidget *window = guiMainWindow();
    if (window != nullptr && gtk_window_is_active(GTK_WINDOW(window))) {
        return window;
    }
    return nullptr;
}

bool loadCarriedImage(const uint8_t **data, size_t *length) {
    // The bundle lies in the program's read-only data; the bytes are used where they are.
    if (gImage == nullptr) {
        gImage = g_resources_lookup_data(QUILLAR_RESOURCE_FIRMWARE, G_RESOURCE_LOOKUP_FLAGS_NONE,
                                         nullptr);
    }
    if (gImage == nullptr) {
        return false;
    }
    gsize size = 0;
    *data = static_cast<const uint8_t *>(g_bytes_get_data(gImage, &size));
    *length = size;
    return true;
}

void uiSetTitle(const wchar_t *title) {
    GtkWidget *window = guiMainWindow();
    if (window == nullptr) {
        return;
    }
    gchar *text = uiDisplayText(title);
    gtk_window_set_title(GTK_WINDOW(window), text);
    g_free(text);
}

void uiSetIcon() {
    GtkWidget *window = guiMainWindow();
    GdkPixbuf *icon = guiLoadResourcePixbuf(QUILLAR_RESOURCE_ICON);
    if (window == nullptr || icon == nullptr) {
        g_clear_object(&icon);
        return;
    }
    gtk_window_set_icon(GTK_WINDOW(window), icon);
    gtk_window_set_default_icon(icon);
    g_object_unref(icon);
}

bool uiRegisterDeviceNotifications() {
    return udevMonitorStart();
}

void uiUnregisterDeviceNotifications() {
    udevMonitorStop();
}

void uiEndWindow(int result) {
    uiKeepAwake(false);
    uiDestroyProgressWindow(gProgress);
    guiEndMainWindow(result);
}

// The window takes no input while the update sends (appUpdateBusy): nothing more to hold off.
void uiSetSending(bool) {}

void uiKeepAwake(bool on) {
    if (!on) {
        if (gInhibitCookie != 0 && gApplication != nullptr) {
            gtk_application_uninhibit(gApplication, gInhibitCookie);
        }
        gInhibitCookie = 0;
        return;
    }
    GtkWidget *window = guiMainWindow();
    if (gApplication == nullptr || gInhibitCookie != 0) {
        return;
    }
    wchar_t reason[MESSAGE_BUFFER_SIZE];
    loadMessage(MSG_PROGRESS, reason, MESSAGE_BUFFER_SIZE);
    gchar *text = uiDisplayText(reason);
    gInhibitCookie =
        gtk_application_inhibit(gApplication, window != nullptr ? GTK_WINDOW(window) : nullptr,
                                static_cast<GtkApplicationInhibitFlags>(
                                    GTK_APPLICATION_INHIBIT_SUSPEND | GTK_APPLICATION_INHIBIT_IDLE),
                                text);
    g_free(text);
}
