#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "common/chart_spec.h"
#include "engine/charts/trend_chart.h"
#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/context/message_list.h"
#include "engine/context/pipeline.h"
#include "engine/trading/trading_state.h"
#include "engine/window/snapshot.h"
#include "engine/window/window.h"

namespace kmr {
namespace {

class WindowPicture : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KMR_NO_WINDOW", "1", 1);
    dir = std::filesystem::temp_directory_path() /
          ("kmr_picture_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    context.reset(CreateEngineContext(nullptr));
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  // Swinging prices through history, so that every chart has candles and trend changes.
  void Configure() {
    const StrategyParameters p{0.0001, 10,        4, 1.0, {20 | kTrendColourHistory, 40, 80, 0},
                               3,      {5, 9, 15}};
    ConfigureEngine(*context, p);
    for (int i = 0; i < 20000; ++i) {
      const double price = 1.2 + 0.004 * std::sin(i / 300.0) + 0.0015 * std::sin(i / 37.0);
      ProcessHistoryTick(*context, price, 1000000 + i * 20, false);
    }
    ProcessHistoryDataFinished(*context);
    context->trading->netPosition = 1.5;
    context->trading->floatingProfit = -12.3;
    context->trading->closedProfit = 40;
  }

  std::filesystem::path dir;
  std::unique_ptr<EngineContext> context;
};

TEST_F(WindowPicture, SavesThePaintedWindowAsPng) {
  Configure();
  const std::string path = (dir / "window.png").string();
  ASSERT_TRUE(SaveWindowPicture(*context, path.c_str(), 640, 480));
  cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(png), 640);
  EXPECT_EQ(cairo_image_surface_get_height(png), 480);
  cairo_surface_destroy(png);
  if (const char* keep = std::getenv("KMR_KEEP_PICTURE"))
    std::filesystem::copy_file(path, keep, std::filesystem::copy_options::overwrite_existing);
}

TEST_F(WindowPicture, WorksBeforeTheFirstInitializeAndRefusesBadTargets) {
  const std::string path = (dir / "empty.png").string();
  EXPECT_TRUE(SaveWindowPicture(*context, path.c_str(), 100, 100));
  EXPECT_FALSE(SaveWindowPicture(*context, path.c_str(), 0, 100));
  EXPECT_FALSE(SaveWindowPicture(*context, path.c_str(), 100, -1));
  EXPECT_FALSE(SaveWindowPicture(*context, nullptr, 100, 100));
  EXPECT_FALSE(SaveWindowPicture(*context, (dir / "no" / "such.png").string().c_str(), 10, 10));
}

TEST_F(WindowPicture, SnapshotCopiesTheNewestChangesCandlesCaptionsAndMoney) {
  Configure();
  TrendChart& chart = context->trendCharts[1];
  chart.trendChangeCount = 300;
  for (int i = 0; i < 300; ++i) {
    chart.trendDirection[i] = i % 2;
    chart.trendTime[i] = 5000 + i;
  }
  auto s = std::make_unique<WindowSnapshot>();
  TakeSnapshot(context.get(), *context->window, 600, *s);
  EXPECT_TRUE(s->hasContext);
  EXPECT_EQ(s->trendChartCount, 3);
  EXPECT_EQ(s->entryChartCount, 3);
  EXPECT_STREQ(s->trendCaptions[0], "hc20");
  EXPECT_STREQ(s->entryCaptions[2], "15");
  EXPECT_EQ(s->trend[1].changeCount, 300);
  EXPECT_EQ(s->trend[1].count, 200);
  EXPECT_EQ(s->trend[1].time[0], 5100);  // the oldest of the newest 200
  EXPECT_EQ(s->trend[1].time[199], 5299);
  EXPECT_EQ(s->trend[1].direction[199], 1);
  EXPECT_EQ(s->trend[0].colourHistory, 1);
  for (int k = 0; k < 3; ++k) {
    EXPECT_GT(s->entry[k].count, 0) << k;
    EXPECT_LE(s->entry[k].count, EntryRowCapacity(s->view, 300)) << k;
  }
  EXPECT_EQ(s->netPosition, 1.5);
  EXPECT_EQ(s->closedProfit, 40);
  EXPECT_EQ(s->messages.count, context->window->messages.count);
}

}  // namespace
}  // namespace kmr
