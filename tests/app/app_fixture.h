// The full edition started headless: modules initialized, the main window
// created and shown, settings in a temporary per-user folder.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/qln_main.h"
#include "app/quillon_pro_startup.h"
#include "gif/gif_decoder.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/files.h"
#include "platform/base/settings.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/test_driver.h"

inline std::vector<uint8_t> FileBytes(const std::string& Name) {
  std::ifstream f(Name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// The number of colours a picture's pixels show.
inline size_t ColourCount(TPixelGraphic& Picture) {
  std::set<TColor> colours;
  for (int32_t y = 0; y < Picture.GetHeight(); ++y)
    for (int32_t x = 0; x < Picture.GetWidth(); ++x) colours.insert(Picture.GetPixelColor(x, y));
  return colours.size();
}

// The colour that a GIF's first frame makes transparent; none when it has
// no transparent colour.
inline std::optional<TColor> GifTransparentColour(const std::vector<uint8_t>& Bytes) {
  TGIFDecoder decoder;
  decoder.ParseStream().Bytes() = Bytes;
  if (!decoder.ParseGIF() || decoder.FrameCount() < 1 || !decoder.Frame(1).Transparent) return std::nullopt;
  const TGIFFrame& f = decoder.Frame(1);
  return RGB(f.TransparentRed, f.TransparentGreen, f.TransparentBlue);
}

class AppTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillon_app_XXXXXX";
    Dir = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
    setenv("XDG_CONFIG_HOME", (Dir + "config").c_str(), 1);
    ConfigDir = IncludeTrailingPathDelimiter(UserConfigFolder());
    QuillonProInitialization(0, nullptr, false);
  }
  void Start(std::vector<std::string> Args = {"quillonpro"}) {
    SetCommandLine(Args);
    QuillonProCreateForms();
    Form = Form1;
    Form->Show();
    Driver.ProcessMessages();
  }
  void Close() {
    if (Form) Form->Free();
    Form = nullptr;
    Driver.ProcessMessages();
  }
  void TearDown() override {
    Close();
    QuillonProFinalization(false);
    unsetenv("XDG_CONFIG_HOME");
    std::string cmd = "rm -rf '" + Dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  // A 24-bit image of many colours, saved as BMP under Dir.
  std::string WritePhoto(const std::string& Name, int32_t W = 64, int32_t H = 48) {
    TPixelGraphic g;
    g.NewImage(W, H, pf24Bit);
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x)
        g.SetPixelColor(x, y, static_cast<TColor>((x * 4) | ((y * 5) << 8) | (((x + y) * 2) << 16)));
    g.SaveToFile(Dir + Name);
    return Dir + Name;
  }
  // File > Open, choosing Name of Folder (Dir by default) in the dialog.
  void OpenThroughDialog(const std::string& Name, std::string Folder = "") {
    if (Folder.empty()) Folder = Dir;
    Driver.WhenIdle([Folder, Name] {
      TOpenDialog* d = ExecutingFileDialog();
      d->ChangeFolder(Folder);
      d->SelectFile(Name);
      d->Accept();
    });
    Form->Open1Click(nullptr);
  }
  std::string Panel(int32_t I) { return Form->StatBar->Panels()->Items(I)->Text(); }
  // How many pixels of Control (as shown in its window, or its parent's for
  // a windowless one) have Colour.
  int32_t CountColour(TControl* Control, TColor Colour) {
    auto* windowed = dynamic_cast<TWinControl*>(Control);
    TWinControl* host = windowed ? windowed : Control->Parent();
    TWindowImage image = Driver.ReadWindow(host->Handle());
    const int32_t x0 = windowed ? 0 : Control->Left(), y0 = windowed ? 0 : Control->Top();
    int32_t n = 0;
    for (int32_t y = y0; y < y0 + Control->Height(); ++y)
      for (int32_t x = x0; x < x0 + Control->Width(); ++x) n += image.Pixel(x, y) == Colour;
    return n;
  }

  TUiTestDriver Driver;
  std::string Dir;
  std::string ConfigDir;
  TForm1* Form = nullptr;
};
