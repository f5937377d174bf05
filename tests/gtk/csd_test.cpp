// The window under client-side decorations with a shadow, as GNOME and Wayland desktops draw it.
#include "tests/gtk/driver.h"

#include "app/mainwindow.h"
#include "link/units.h"
#include "resource.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

// After GoogleTest: Xlib defines None and Bool as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace {

// GTK draws a shadow only for a compositing window manager that takes _GTK_FRAME_EXTENTS, and
// the virtual display has none: this connection claims the compositor's selection and
// announces the hint in its stead. Nothing is composited; only the geometry is looked at.
void pretendCompositingManager() {
    static Display *manager = nullptr;
    if (manager != nullptr) {
        return;
    }
    manager = XOpenDisplay(gdk_display_get_name(gdk_display_get_default()));
    ASSERT_NE(manager, nullptr);
    Window root = DefaultRootWindow(manager);
    Window check = XCreateSimpleWindow(manager, root, 0, 0, 1, 1, 0, 0, 0);
    Atom supportingCheck = XInternAtom(manager, "_NET_SUPPORTING_WM_CHECK", False);
    Atom frameExtents = XInternAtom(manager, "_GTK_FRAME_EXTENTS", False);
    XChangeProperty(manager, root, supportingCheck, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(&check), 1);
    XChangeProperty(manager, check, supportingCheck, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(&check), 1);
    XChangeProperty(manager, root, XInternAtom(manager, "_NET_SUPPORTED", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<unsigned char *>(&frameExtents), 1);
    XSetSelectionOwner(manager, XInternAtom(manager, "_NET_WM_CM_S0", False), check, CurrentTime);
    XSync(manager, False);
    spin(100); // GDK learns of the new compositor from an event
}

class CsdWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_STREQ(g_getenv("GTK_CSD"), "1") << "run with GTK_CSD=1";
        pretendCompositingManager();
        simReset();
        gBoxes.clear();
        gAnswers.clear();
        gProgressSeen = ProgressSeen{};
    }

    void TearDown() override {
        if (guiMainWindow() != nullptr) {
            appClose(&gUnit);
        }
        spin(20);
        simReset();
    }
};

TEST_F(CsdWindowTest, Csd_shadow_is_not_part_of_logo_room_or_centring) {
    prepareUnits(); // the demo's own unit, so that the screenshot shows the demo
    ASSERT_NE(guiOpenMainWindow(nullptr), nullptr);
    spin(150);
    GtkWidget *window = guiMainWindow();
    // The window with the title bar and shadow that GTK draws for it, as a desktop shows it.
    writeScreenshot("demo-ready-csd.png");
    GtkStyleContext *style = gtk_widget_get_style_context(window);
    ASSERT_TRUE(gtk_style_context_has_class(style, "csd"));
    ASSERT_FALSE(gtk_style_context_has_class(style, "solid-csd")) << "no shadow drawn";
    bool declared = false;
    const GdkRectangle seen = declaredVisibleFrame(window, &declared);
    ASSERT_TRUE(declared) << "GTK declared no invisible borders";

    const UiRect rect = mainFrame();
    EXPECT_EQ(rect.left, seen.x);
    EXPECT_EQ(rect.top, seen.y);
    EXPECT_EQ(rect.right, seen.x + seen.width);
    EXPECT_EQ(rect.bottom, seen.y + seen.height);

    // The logo's room ends 45 pixels short of the edge that is seen.
    int originX = 0;
    int originY = 0;
    gdk_window_get_origin(gtk_widget_get_window(window), &originX, &originY);
    GtkAllocation group;
    gtk_widget_get_allocation(guiControl(IDC_GROUP_VERSIONS), &group);
    const LogoSize expected =
        logoSize(seen.x + seen.width, originX + group.x + group.width, 1772, 263);
    ASSERT_GT(expected.width, 0);
    EXPECT_EQ(guiLogoRect().width, expected.width);

    // The progress window, shadow and title bar of its own included, stands centred on what
    // is seen of the main window.
    gAnswers = {GTK_RESPONSE_OK};
    guint watch = g_timeout_add(5, watchProgress, nullptr);
    gtk_button_clicked(GTK_BUTTON(guiControl(IDC_UPDATE)));
    g_source_remove(watch);
    ASSERT_TRUE(gProgressSeen.existed);
    const GdkRectangle progress = gProgressSeen.visible;
    EXPECT_EQ(progress.width, 400);
    EXPECT_NEAR(progress.x + progress.width / 2, seen.x + seen.width / 2, 1);
    EXPECT_NEAR(progress.y + progress.height / 2, seen.y + seen.height / 2, 1);
}

} // namespace
