// A TWAIN session under test: the window system headless, the client
// pointed at our source manager, and the scripted source's script, log and
// images in a folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/twain/pg_twain.h"
#include "platform/ui/test_driver.h"

// A BMP file: 24-bit when Palette is empty, else 8-bit with that table.
// Pixels are 0x00BBGGRR (24-bit) or indexes, top row first.
std::vector<uint8_t> MakeBmp(int32_t Width, int32_t Height, const std::vector<uint32_t>& Pixels,
                             const std::vector<uint32_t>& Palette = {});

class TwainTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the script (the log line is added) and returns its path.
  void Script(const std::vector<std::string>& Lines);
  // Writes a file into the test folder; returns its path.
  std::string WriteFile(const std::string& Name, const std::vector<uint8_t>& Bytes);
  static std::vector<uint8_t> ReadFile(const std::string& Path);
  // The calls the source manager saw, one per line.
  std::vector<std::string> Calls() const;
  bool Called(const std::string& Call) const;
  // The bytes of a global block.
  static std::vector<uint8_t> Bytes(HGLOBAL Dib);

  std::string Dir;
  TUiTestDriver Driver;
};
