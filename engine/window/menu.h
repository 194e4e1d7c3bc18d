// The popup menu that stands in for the window's system menu: its items, where each one lies,
// and how it is drawn.
#pragma once

#include <cairo.h>

namespace kmr {

constexpr int kMenuCloseId = 0xF060;  // the greyed "Close": the user cannot close the window
constexpr int kMenuItemCount = 12;
constexpr int kMenuRowHeight = 22;
constexpr int kMenuSeparatorHeight = 9;
constexpr int kMenuBorder = 3;
constexpr int kMenuFontPoints = 9;

struct MenuItem {
  int id;  // 0 for a separator
  const char* text;
  bool separator;
  bool enabled;
  bool checked;
};

struct Menu {
  MenuItem items[kMenuItemCount];
  int x, y, width, height;  // in window coordinates
  int highlight;            // item index, -1 for none
};

// The items: "Close" (greyed), then the commands with their separators; the two switches
// carry check marks as given.
void BuildMenu(bool longChecked, bool shortChecked, Menu& out);
// Top of item `index` relative to the menu's top.
int MenuItemTop(const Menu& menu, int index);
int MenuItemHeight(const Menu& menu, int index);
// Puts the menu's top left at (x, y), moved so that it stays inside an area of the given size
// where it fits.
void PlaceMenu(Menu& menu, int x, int y, int width, int areaWidth, int areaHeight);
// Enabled item under window point (x, y), or -1.
int MenuHitTest(const Menu& menu, int x, int y);
// The next enabled item after `from` in direction `step` (+1 down, -1 up), wrapping.
int MenuStep(const Menu& menu, int from, int step);

int MeasureMenuWidth(cairo_t* cr, const Menu& menu);
void DrawMenu(cairo_t* cr, const Menu& menu);

}  // namespace kmr
