// The Qt platform the programs ask for, from the environment.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/ui/desktop.h"

TEST(QtPlatform, X11WhenThePersonChoseNoneAndAnXDisplayIsThere) {
  EXPECT_EQ(QtPlatformFor(nullptr, ":0"), "xcb");
  EXPECT_EQ(QtPlatformFor("", ":1"), "xcb");  // set but empty: no choice
  // No X display (a Wayland desktop without XWayland, or none): Qt picks.
  EXPECT_EQ(QtPlatformFor(nullptr, nullptr), "");
  EXPECT_EQ(QtPlatformFor(nullptr, ""), "");
  // The person's choice stands.
  EXPECT_EQ(QtPlatformFor("wayland", ":0"), "");
  EXPECT_EQ(QtPlatformFor("offscreen", ":0"), "");

  unsetenv("QT_QPA_PLATFORM");
  setenv("DISPLAY", ":7", 1);
  ChooseQtPlatform();
  ASSERT_NE(getenv("QT_QPA_PLATFORM"), nullptr);
  EXPECT_STREQ(getenv("QT_QPA_PLATFORM"), "xcb");
  setenv("QT_QPA_PLATFORM", "wayland", 1);
  ChooseQtPlatform();
  EXPECT_STREQ(getenv("QT_QPA_PLATFORM"), "wayland");
}
