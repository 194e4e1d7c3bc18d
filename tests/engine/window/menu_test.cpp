#include "engine/window/menu.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/window/manual_commands.h"

namespace kmr {
namespace {

TEST(Menu, HasTheGreyedCloseThenTheCommandsInOrderWithThreeSeparators) {
  Menu menu;
  BuildMenu(true, true, menu);
  struct Expected {
    int id;
    const char* text;
  };
  const Expected expected[kMenuItemCount] = {
      {kMenuCloseId, "Close"},
      {0, ""},
      {262, "LONG Deals Enabled"},
      {263, "SHORT Deals Enabled"},
      {0, ""},
      {256, "Close All Deals"},
      {257, "Start Manually"},
      {258, "Open LONG"},
      {259, "Open SHORT"},
      {0, ""},
      {261, "Reset CAD Counter"},
      {260, "Reset Trading"},
  };
  for (int i = 0; i < kMenuItemCount; ++i) {
    SCOPED_TRACE(i);
    const MenuItem& item = menu.items[i];
    EXPECT_EQ(item.separator, expected[i].id == 0);
    if (item.separator) continue;
    EXPECT_EQ(item.id, expected[i].id);
    EXPECT_EQ(std::string(item.text), expected[i].text);
    EXPECT_EQ(item.enabled, item.id != kMenuCloseId);
    EXPECT_EQ(item.checked, item.id == 262 || item.id == 263);
  }
}

TEST(Menu, CheckMarksFollowTheSwitches) {
  Menu menu;
  BuildMenu(false, true, menu);
  EXPECT_FALSE(menu.items[2].checked);
  EXPECT_TRUE(menu.items[3].checked);
  BuildMenu(true, false, menu);
  EXPECT_TRUE(menu.items[2].checked);
  EXPECT_FALSE(menu.items[3].checked);
}

TEST(Menu, HitTestFindsEnabledItemsOnlyAndKeyStepsSkipSeparatorsAndClose) {
  Menu menu;
  BuildMenu(true, true, menu);
  PlaceMenu(menu, 100, 50, 160, 600, 600);
  const int openLong = 7;
  const int y = 50 + MenuItemTop(menu, openLong) + kMenuRowHeight / 2;
  EXPECT_EQ(MenuHitTest(menu, 120, y), openLong);
  EXPECT_EQ(MenuHitTest(menu, 99, y), -1);
  EXPECT_EQ(MenuHitTest(menu, 260, y), -1);
  EXPECT_EQ(MenuHitTest(menu, 120, 50 + MenuItemTop(menu, 0) + 2), -1);  // Close is greyed
  EXPECT_EQ(MenuHitTest(menu, 120, 50 + MenuItemTop(menu, 1) + 2), -1);  // separator

  EXPECT_EQ(MenuStep(menu, -1, 1), 2);
  EXPECT_EQ(MenuStep(menu, 3, 1), 5);
  EXPECT_EQ(MenuStep(menu, 11, 1), 2);  // wraps past Close
  EXPECT_EQ(MenuStep(menu, 2, -1), 11);
}

TEST(Menu, StaysInsideTheWindowWhereItFits) {
  Menu menu;
  BuildMenu(true, true, menu);
  PlaceMenu(menu, 590, 590, 160, 600, 600);
  EXPECT_EQ(menu.x, 600 - 160);
  EXPECT_EQ(menu.y, 600 - menu.height);
  PlaceMenu(menu, 10, 10, 160, 100, 100);  // too small a window: keep the top left visible
  EXPECT_EQ(menu.x, 0);
  EXPECT_EQ(menu.y, 0);
}

}  // namespace
}  // namespace kmr
