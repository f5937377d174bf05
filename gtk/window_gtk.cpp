// The main window of the GTK program: the controls of IDD_MAIN laid out in dialog units.
#include "gtk/gtk_program.h"

#include "app/mainwindow.h"
#include "app/messages.h"
#include "app/texts.h"
#include "dialog_layout.h" // generated from resources/layout.json
#include "resource.h"

#include <cmath>
#include <cstddef>

// The logo stands this far right of the group box, and ends this far short of the window's
// right edge.
constexpr int LOGO_GAP = 20;
constexpr int LOGO_RIGHT_MARGIN = 45;

constexpr size_t CONTROL_COUNT = sizeof LAYOUT_CONTROLS / sizeof LAYOUT_CONTROLS[0];

UnitContext gUnit = FRESH_UNIT_CONTEXT;

// The front end's state: the window hands it the widgets that it changes.
static GuiWindows gWindows;

// The widget of each control of LAYOUT_CONTROLS, at the same index. The status box's is its
// text view, not the scrolled window that holds it.
static GtkWidget *gControls[CONTROL_COUNT];

static GtkWidget *gWindow;
static GtkWidget *gFixed;
static GdkPixbuf *gLogo;       // the logo with its green key made transparent
static GdkPixbuf *gLogoScaled; // the logo at the size it was last drawn
static GdkRectangle gLogoRect;

int dluToPixelsX(int dlu, DialogBaseUnits units) {
    return (dlu * units.baseX + 2) / 4;
}

int dluToPixelsY(int dlu, DialogBaseUnits units) {
    return (dlu * units.baseY + 4) / 8;
}

LogoSize logoSize(int dialogRight, int groupRight, int bitmapWidth, int bitmapHeight) {
    LogoSize size{0, 0};
    if (bitmapWidth <= 0) {
        return size;
    }
    int width = dialogRight - groupRight - LOGO_RIGHT_MARGIN;
    if (width > bitmapWidth / 2) {
        width = bitmapWidth / 2;
    }
    size.width = width;
    size.height = static_cast<int>(static_cast<float>(width) / static_cast<float>(bitmapWidth) *
                                   static_cast<float>(bitmapHeight));
    return size;
}

GdkRectangle guiLogoRect() {
    return gLogoRect;
}

GtkWidget *guiMainWindow() {
    return gWindow;
}

static GtkWidget *windowWidget(int controlId) {
    for (size_t i = 0; i < CONTROL_COUNT; ++i) {
        if (LAYOUT_CONTROLS[i].id == controlId) {
            return gControls[i];
        }
    }
    return nullptr;
}

// The static without ID is not reached by an ID: on Windows many controls may share it.
GtkWidget *guiControl(int controlId) {
    return controlId == IDC_HINT ? nullptr : windowWidget(controlId);
}

GtkWidget *guiHintLabel() {
    return windowWidget(IDC_HINT);
}

GtkWidget *guiProgressWindow() {
    return gWindows.progress;
}

int guiWindowResult() {
    return gWindows.result;
}

// The average width of the letters and the height of the window's font, as the dialog manager
// measures its font.
DialogBaseUnits guiDialogBaseUnits() {
    GtkWidget *probe = gtk_label_new(nullptr);
    g_object_ref_sink(probe);
    PangoLayout *layout = gtk_widget_create_pango_layout(
        probe, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    g_object_unref(probe);
    DialogBaseUnits units{(width / 26 + 1) / 2, height};
    if (units.baseX <= 0) {
        units.baseX = 1;
    }
    if (units.baseY <= 0) {
        units.baseY = 1;
    }
    return units;
}

static gchar *windowText(DialogTextId id) {
    return guiDisplayText(dialogText(id, messageLanguage()));
}

static GtkWidget *windowPlace(GtkWidget *widget, int x, int y, int width, int height,
                              DialogBaseUnits units) {
    gtk_widget_set_size_request(widget, dluToPixelsX(width, units), dluToPixelsY(height, units));
    gtk_fixed_put(GTK_FIXED(gFixed), widget, dluToPixelsX(x, units), dluToPixelsY(y, units));
    return widget;
}

static GtkWidget *windowLabel(DialogTextId textId, float xalign, const char *styleClass) {
    gchar *text = windowText(textId);
    GtkWidget *label = gtk_label_new(text);
    g_free(text);
    gtk_label_set_xalign(GTK_LABEL(label), xalign);
    gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
    // The template's box is the least a label takes; a longer text (German in a wide desktop
    // font) runs on to the right rather than being cut, into room that the right-aligned
    // version fields leave empty.
    if (styleClass != nullptr) {
        gtk_style_context_add_class(gtk_widget_get_style_context(label), styleClass);
    }
    return label;
}

static GtkWidget *windowButton(DialogTextId textId) {
    gchar *text = windowText(textId);
    GtkWidget *button = gtk_button_new_with_label(text);
    g_free(text);
    gtk_style_context_add_class(gtk_widget_get_style_context(button), "quillar-button");
    return button;
}

static void windowOnClose(GtkButton *button, gpointer data) {
    (void)button;
    (void)data;
    appClose(&gUnit);
}

static void windowOnUpdate(GtkButton *button, gpointer data) {
    (void)button;
    (void)data;
    appUpdate(&gUnit);
}

static gboolean windowOnDelete(GtkWidget *widget, GdkEvent *event, gpointer data) {
    (void)widget;
    (void)event;
    (void)data;
    appClose(&gUnit);
    return TRUE;
}

static gboolean windowOnKey(GtkWidget *widget, GdkEventKey *event, gpointer data) {
    (void)widget;
    (void)data;
    if (event->keyval == GDK_KEY_Escape) {
        appClose(&gUnit);
        return TRUE;
    }
    return FALSE;
}

// Gives the front end the widgets that it changes; null ones once the window is gone.
static void windowHandOver() {
    gWindows.main = gWindow;
    gWindows.status = guiControl(IDC_STATUS);
    gWindows.update = guiControl(IDC_UPDATE);
    const int versions[] = {IDC_VERSION_UNIT, IDC_VERSION_BOOTLOADER, IDC_VERSION_ESC};
    const int labels[] = {IDC_LABEL_UNIT, IDC_LABEL_BOOTLOADER, IDC_LABEL_ESC};
    for (size_t line = 0; line < 3; ++line) {
        gWindows.versions[line] = guiControl(versions[line]);
        gWindows.labels[line] = guiControl(labels[line]);
    }
}

static void windowOnDestroy(GtkWidget *widget, gpointer data) {
    (void)widget;
    (void)data;
    gWindow = nullptr;
    gFixed = nullptr;
    for (GtkWidget *&control : gControls) {
        control = nullptr;
    }
    windowHandOver();
    g_clear_object(&gLogo);
    g_clear_object(&gLogoScaled);
    gLogoRect = GdkRectangle{0, 0, 0, 0};
}

// The logo: top level with the group box, 20 pixels right of it, as wide as the room up to 45
// pixels short of the window's right edge allows and at most half its own width.
static gboolean windowDrawLogo(GtkWidget *fixed, cairo_t *cr, gpointer data) {
    (void)data;
    GtkWidget *group = guiControl(IDC_GROUP_VERSIONS);
    GdkWindow *surface = gtk_widget_get_window(gWindow);
    if (gLogo == nullptr || group == nullptr || surface == nullptr) {
        return FALSE;
    }
    GtkAllocation groupBox;
    GtkAllocation fixedBox;
    gtk_widget_get_allocation(group, &groupBox);
    gtk_widget_get_allocation(fixed, &fixedBox);
    const GdkRectangle frame = guiVisibleFrame(gWindow);
    int originX = 0;
    int originY = 0;
    gdk_window_get_origin(surface, &originX, &originY);
    const int groupRight = originX + groupBox.x + groupBox.width;
    LogoSize size = logoSize(frame.x + frame.width, groupRight, gdk_pixbuf_get_width(gLogo),
                             gdk_pixbuf_get_height(gLogo));
    gLogoRect =
        GdkRectangle{groupBox.x + groupBox.width + LOGO_GAP, groupBox.y, size.width, size.height};
    if (size.width <= 0 || size.height <= 0) {
        gLogoRect.width = 0;
        gLogoRect.height = 0;
        return FALSE;
    }
    if (gLogoScaled == nullptr || gdk_pixbuf_get_width(gLogoScaled) != size.width ||
        gdk_pixbuf_get_height(gLogoScaled) != size.height) {
        g_clear_object(&gLogoScaled);
        gLogoScaled = gdk_pixbuf_scale_simple(gLogo, size.width, size.height, GDK_INTERP_BILINEAR);
    }
    if (gLogoScaled != nullptr) {
        gdk_cairo_set_source_pixbuf(cr, gLogoScaled, gLogoRect.x - fixedBox.x,
                                    gLogoRect.y - fixedBox.y);
        cairo_paint(cr);
    }
    return FALSE;
}

static void windowLoadLogo() {
    GdkPixbuf *bitmap = gdk_pixbuf_new_from_resource(QUILLAR_RESOURCE_LOGO, nullptr);
    if (bitmap == nullptr) {
        return;
    }
    // The artwork stands on pure green, which is not drawn.
    gLogo = gdk_pixbuf_add_alpha(bitmap, TRUE, 0, 255, 0);
    g_object_unref(bitmap);
}

static void windowAddStyle(GtkWidget *window) {
    // Buttons as tall as the template makes them, and the ESC's line in red (dimmed while the
    // version display is switched off, as the other lines are).
    static const char css[] = "button.quillar-button { padding: 0 6px; min-height: 0; }\n"
                              "label.quillar-red { color: #ff0000; }\n"
                              "label.quillar-red:disabled { color: rgba(255, 0, 0, 0.5); }\n";
    // The screen keeps the style for good: a window opened again must not add another copy.
    static GtkCssProvider *provider = nullptr;
    if (provider != nullptr) {
        return;
    }
    provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window),
                                              GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// The ESC's line is drawn red, as the Windows program colours these two statics.
static bool windowIsRed(int controlId) {
    return controlId == IDC_LABEL_ESC || controlId == IDC_VERSION_ESC;
}

static GtkWidget *windowStatusBox(GtkWidget **scroller) {
    *scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(*scroller), GTK_POLICY_NEVER,
                                   GTK_POLICY_ALWAYS);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(*scroller), GTK_SHADOW_IN);
    GtkWidget *status = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(status), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(status), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(status), GTK_WRAP_WORD_CHAR);
    gtk_text_view_set_left_margin(GTK_TEXT_VIEW(status), 2);
    gtk_text_view_set_right_margin(GTK_TEXT_VIEW(status), 2);
    gtk_widget_set_can_focus(status, FALSE);
    gtk_container_add(GTK_CONTAINER(*scroller), status);
    return status;
}

// Creates the control's widget and places it (or, for the status box, its scrolled window).
static GtkWidget *windowAddControl(const LayoutControl &control, DialogBaseUnits units) {
    GtkWidget *widget = nullptr;
    GtkWidget *placed = nullptr;
    switch (control.kind) {
    case LAYOUT_GROUP_BOX: {
        widget = gtk_frame_new(nullptr);
        gchar *text = windowText(control.text);
        gtk_frame_set_label(GTK_FRAME(widget), text);
        g_free(text);
        break;
    }
    case LAYOUT_BUTTON:
        widget = windowButton(control.text);
        break;
    case LAYOUT_LABEL:
        widget = windowLabel(control.text, control.rightAligned ? 1.0f : 0.0f,
                             windowIsRed(control.id) ? "quillar-red" : nullptr);
        break;
    case LAYOUT_EDIT:
        widget = windowStatusBox(&placed);
        break;
    }
    windowPlace(placed != nullptr ? placed : widget, control.x, control.y, control.width,
                control.height, units);
    if (control.disabled) {
        gtk_widget_set_sensitive(widget, FALSE);
    }
    return widget;
}

static void windowBuild(GtkApplication *app) {
    gWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (app != nullptr) {
        gtk_window_set_application(GTK_WINDOW(gWindow), app);
    }
    gchar *caption = windowText(DIALOG_CAPTION);
    gtk_window_set_title(GTK_WINDOW(gWindow), caption);
    g_free(caption);
    gtk_window_set_resizable(GTK_WINDOW(gWindow), FALSE);
    gtk_window_set_position(GTK_WINDOW(gWindow), GTK_WIN_POS_CENTER);
    gtk_window_set_type_hint(GTK_WINDOW(gWindow), GDK_WINDOW_TYPE_HINT_DIALOG);
    windowAddStyle(gWindow);

    const DialogBaseUnits units = guiDialogBaseUnits();
    gFixed = gtk_fixed_new();
    gtk_widget_set_size_request(gFixed, dluToPixelsX(LAYOUT_DIALOG_WIDTH, units),
                                dluToPixelsY(LAYOUT_DIALOG_HEIGHT, units));
    gtk_container_add(GTK_CONTAINER(gWindow), gFixed);

    // Template order, except that group boxes go in first so that the lines they frame are
    // drawn on them.
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < CONTROL_COUNT; ++i) {
            if ((LAYOUT_CONTROLS[i].kind == LAYOUT_GROUP_BOX) == (pass == 0)) {
                gControls[i] = windowAddControl(LAYOUT_CONTROLS[i], units);
            }
        }
    }

    // Tab order: the tab stops in template order (Close, then Update); the other controls take
    // no focus. The first tab stop has the focus, as the dialog manager gives it.
    GList *chain = nullptr;
    for (size_t i = 0; i < CONTROL_COUNT; ++i) {
        if (LAYOUT_CONTROLS[i].tabStop) {
            chain = g_list_append(chain, gControls[i]);
        }
        if (LAYOUT_CONTROLS[i].defaultButton) {
            gtk_widget_set_can_default(gControls[i], TRUE);
            gtk_window_set_default(GTK_WINDOW(gWindow), gControls[i]);
        }
    }
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_set_focus_chain(GTK_CONTAINER(gFixed), chain);
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (chain != nullptr) {
        gtk_widget_grab_focus(GTK_WIDGET(chain->data));
    }
    g_list_free(chain);

    windowLoadLogo();
    g_signal_connect(gFixed, "draw", G_CALLBACK(windowDrawLogo), nullptr);
    g_signal_connect(guiControl(IDCANCEL), "clicked", G_CALLBACK(windowOnClose), nullptr);
    g_signal_connect(guiControl(IDC_UPDATE), "clicked", G_CALLBACK(windowOnUpdate), nullptr);
    g_signal_connect(gWindow, "delete-event", G_CALLBACK(windowOnDelete), nullptr);
    g_signal_connect(gWindow, "key-press-event", G_CALLBACK(windowOnKey), nullptr);
    g_signal_connect(gWindow, "destroy", G_CALLBACK(windowOnDestroy), nullptr);
    gtk_widget_show_all(gFixed);
}

// ---- Input while busy ----

bool guiInputBlocked() {
    return gWindows.modalDepth > 0 || appUpdateBusy(&gUnit);
}

static bool windowIsUserInput(GdkEventType type) {
    switch (type) {
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_SCROLL:
    case GDK_TOUCH_BEGIN:
    case GDK_TOUCH_UPDATE:
    case GDK_TOUCH_END:
    case GDK_TOUCH_CANCEL:
    case GDK_DELETE:
        return true;
    default:
        return false;
    }
}

// Every event passes through here: while busy, input meant for the main window or the progress
// window is dropped, so nothing the user does there is acted on; our message boxes still take
// their answers.
static void windowFilterEvent(GdkEvent *event, gpointer data) {
    (void)data;
    if (windowIsUserInput(event->type) && guiInputBlocked()) {
        GtkWidget *target = gtk_get_event_widget(event);
        GtkWidget *toplevel = target != nullptr ? gtk_widget_get_toplevel(target) : nullptr;
        if (toplevel != nullptr && (toplevel == gWindow || toplevel == gWindows.progress)) {
            return;
        }
    }
    gtk_main_do_event(event);
}

// ---- Opening ----

static void windowChooseLanguage() {
    const gchar *const *languages = g_get_language_names();
    setMessageLanguage(languages != nullptr && languages[0] != nullptr
                           ? languageFromTag(languages[0])
                           : LANGUAGE_ENGLISH);
}

GtkWidget *guiOpenMainWindow(GtkApplication *app) {
    gWindows = GuiWindows{};
    gWindows.unit = &gUnit;
    gWindows.application = app;
    gUnit.frontEnd = FrontEnd{&GUI_FRONT_END, &gWindows};
    windowChooseLanguage();
    gdk_event_handler_set(windowFilterEvent, nullptr, nullptr);
    appReset(&gUnit);
    windowBuild(app);
    windowHandOver();
    appInitialise(&gUnit);
    if (gWindow == nullptr) {
        return nullptr;
    }
    gtk_widget_show(gWindow);
    return gWindow;
}
