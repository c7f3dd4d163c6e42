// A borderless form on the headless window system with the imaging library
// started, and small images made in memory.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "imaging/viewer/pg_image.h"
#include "platform/ui/forms.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/test_driver.h"

class ViewerTest : public ::testing::Test {
protected:
  void SetUp() override {
    PGraphicInitialization();
    InitializeStdControls();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(20, 20, 400, 300);
    Form->AfterConstruction();
    Viewer = new TPGImage(Form);
    Viewer->SetParent(Form);
  }
  void TearDown() override {
    Form->Free();
    Screen->SetColorDepth(32);
    FinalizeStdControls();
    PGraphicFinalization();
  }
  void Show() {
    Form->Show();
    Driver.ProcessMessages();
  }
  // A 24-bit image whose pixel (x, y) is colour (x * 16, y * 16, 0x80).
  static std::unique_ptr<TPixelGraphic> Gradient(int32_t W, int32_t H) {
    auto g = std::make_unique<TPixelGraphic>();
    g->NewImage(W, H, pf24Bit);
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) g->SetPixelColor(x, y, RGB(x * 16 & 0xFF, y * 16 & 0xFF, 0x80));
    return g;
  }
  static std::unique_ptr<TPixelGraphic> Solid(int32_t W, int32_t H, TColor C) {
    auto g = std::make_unique<TPixelGraphic>();
    g->NewImage(W, H, pf24Bit);
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) g->SetPixelColor(x, y, C);
    return g;
  }
  TColor ClientPixel(int32_t X, int32_t Y) { return Driver.Pixel(Viewer->Handle(), X, Y); }
  void SavePng(const std::string& Name) {
    Driver.ReadWindow(Form->Handle()).SavePng(std::string(QUILLON_BUILD_DIR) + "/viewer_" + Name + ".png");
  }

  TUiTestDriver Driver;
  TForm* Form = nullptr;
  TPGImage* Viewer = nullptr;
};
