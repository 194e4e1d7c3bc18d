#include "engine/window/menu.h"

#include <algorithm>
#include <cmath>

#include "engine/window/manual_commands.h"
#include "engine/window/text.h"

namespace kmr {

namespace {

constexpr int kCheckColumn = 22;  // room for the check mark left of the text
constexpr int kRightPadding = 18;

}  // namespace

void BuildMenu(bool longChecked, bool shortChecked, Menu& out) {
  const MenuItem separator{0, "", true, false, false};
  const MenuItem items[kMenuItemCount] = {
      {kMenuCloseId, "Close", false, false, false},
      separator,
      {kMenuLongEnabled, "LONG Deals Enabled", false, true, longChecked},
      {kMenuShortEnabled, "SHORT Deals Enabled", false, true, shortChecked},
      separator,
      {kMenuCloseAllDeals, "Close All Deals", false, true, false},
      {kMenuStartManually, "Start Manually", false, true, false},
      {kMenuOpenLong, "Open LONG", false, true, false},
      {kMenuOpenShort, "Open SHORT", false, true, false},
      separator,
      {kMenuResetCadCounter, "Reset CAD Counter", false, true, false},
      {kMenuResetTrading, "Reset Trading", false, true, false},
  };
  std::copy(std::begin(items), std::end(items), out.items);
  out.x = out.y = 0;
  out.width = 0;
  out.height = MenuItemTop(out, kMenuItemCount) + kMenuBorder;
  out.highlight = -1;
}

int MenuItemHeight(const Menu& menu, int index) {
  return menu.items[index].separator ? kMenuSeparatorHeight : kMenuRowHeight;
}

int MenuItemTop(const Menu& menu, int index) {
  int top = kMenuBorder;
  for (int i = 0; i < index && i < kMenuItemCount; ++i) top += MenuItemHeight(menu, i);
  return top;
}

void PlaceMenu(Menu& menu, int x, int y, int width, int areaWidth, int areaHeight) {
  menu.width = width;
  menu.x = std::max(0, std::min(x, areaWidth - width));
  menu.y = std::max(0, std::min(y, areaHeight - menu.height));
}

int MenuHitTest(const Menu& menu, int x, int y) {
  if (x < menu.x || x >= menu.x + menu.width) return -1;
  for (int i = 0; i < kMenuItemCount; ++i) {
    const int top = menu.y + MenuItemTop(menu, i);
    if (y >= top && y < top + MenuItemHeight(menu, i)) return menu.items[i].enabled ? i : -1;
  }
  return -1;
}

int MenuStep(const Menu& menu, int from, int step) {
  int i = from;
  for (int tries = 0; tries < kMenuItemCount; ++tries) {
    i = i < 0 ? (step > 0 ? 0 : kMenuItemCount - 1) : (i + step + kMenuItemCount) % kMenuItemCount;
    if (menu.items[i].enabled) return i;
  }
  return -1;
}

int MeasureMenuWidth(cairo_t* cr, const Menu& menu) {
  cairo_save(cr);
  SelectWindowFont(cr, kMenuFontPoints);
  double widest = 0;
  for (const MenuItem& item : menu.items) widest = std::max(widest, TextWidth(cr, item.text));
  cairo_restore(cr);
  return kCheckColumn + static_cast<int>(std::ceil(widest)) + kRightPadding;
}

void DrawMenu(cairo_t* cr, const Menu& menu) {
  cairo_save(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_source_rgb(cr, 0.94, 0.94, 0.94);
  cairo_rectangle(cr, menu.x, menu.y, menu.width, menu.height);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, menu.x + 0.5, menu.y + 0.5, menu.width - 1, menu.height - 1);
  cairo_stroke(cr);

  SelectWindowFont(cr, kMenuFontPoints);
  const int textHeight = std::max(TextHeight(cr), 0);
  for (int i = 0; i < kMenuItemCount; ++i) {
    const MenuItem& item = menu.items[i];
    const int top = menu.y + MenuItemTop(menu, i);
    if (item.separator) {
      cairo_set_source_rgb(cr, 0.7, 0.7, 0.7);
      cairo_rectangle(cr, menu.x + 4, top + kMenuSeparatorHeight / 2, menu.width - 8, 1);
      cairo_fill(cr);
      continue;
    }
    const bool lit = i == menu.highlight && item.enabled;
    if (lit) {
      cairo_set_source_rgb(cr, 0.0, 0.47, 0.84);
      cairo_rectangle(cr, menu.x + 2, top, menu.width - 4, kMenuRowHeight);
      cairo_fill(cr);
    }
    if (!item.enabled)
      cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    else if (lit)
      cairo_set_source_rgb(cr, 1, 1, 1);
    else
      cairo_set_source_rgb(cr, 0, 0, 0);
    const int textTop = top + (kMenuRowHeight - textHeight) / 2;
    if (item.checked) {
      cairo_save(cr);
      cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
      cairo_set_line_width(cr, 2);
      const double cx = menu.x + 7, cy = top + kMenuRowHeight / 2.0;
      cairo_move_to(cr, cx, cy);
      cairo_line_to(cr, cx + 3.5, cy + 4);
      cairo_line_to(cr, cx + 10, cy - 5);
      cairo_stroke(cr);
      cairo_restore(cr);
    }
    DrawText(cr, menu.x + kCheckColumn, textTop, item.text);
  }
  cairo_restore(cr);
}

}  // namespace kmr
