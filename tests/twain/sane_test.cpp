// Scanning through SANE's own test backend, where the manager was built
// with SANE: grey, colour and line-art scans become DIBs of 8, 24 and 1 bits.
#include <cstdlib>
#include <fstream>

#include "twain_test_util.h"

namespace {

class Sane : public TwainTest {
protected:
  void SetUp() override {
#ifndef QUILLON_TWAIN_SANE
    GTEST_SKIP() << "the source manager was built without SANE";
#endif
#ifdef __SANITIZE_ADDRESS__
    // SANE's test backend keeps strings of its configuration that it never
    // frees, and unloads itself before the leak check can name it.
    GTEST_SKIP() << "the SANE test backend leaks under the leak checker";
#endif
    TwainTest::SetUp();
    std::ofstream(Dir + "dll.conf") << "test\n";
    ::setenv("SANE_CONFIG_DIR", Dir.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("SANE_CONFIG_DIR");
    TwainTest::TearDown();
  }
  // Scans with the test backend in Mode: a solid black 10 mm square at 50 dpi.
  std::vector<uint8_t> ScanIn(const std::string& Mode, int32_t Depth) {
    std::ofstream(Dir + "test.conf", std::ios::trunc)
        << "number_of_devices 1\nmode " << Mode << "\ndepth " << Depth
        << "\nresolution 50.0\ntest-picture \"Solid black\"\ntl_x 0.0\ntl_y 0.0\nbr_x 10.0\nbr_y 10.0\n";
    Script({"source=sane test:0"});
    HGLOBAL Dib = TWAIN_AcquireDib(nullptr, 0);
    std::vector<uint8_t> Result = Bytes(Dib);
    TWAIN_ReleaseDib(Dib);
    return Result;
  }
};

TEST_F(Sane, ScansBecomeDibs) {
  for (auto [Mode, Depth, Bits] : {std::tuple{"Gray", 8, 8}, std::tuple{"Color", 16, 24}, std::tuple{"Gray", 1, 1}}) {
    SCOPED_TRACE(std::string(Mode) + " " + std::to_string(Depth));
    std::vector<uint8_t> Dib = ScanIn(Mode, Depth);
    ASSERT_GE(Dib.size(), 40u);
    EXPECT_EQ(Dib[14], Bits);
    EXPECT_GT(Dib[4], 10);  // about 20 pixels wide
    EXPECT_EQ(TWAIN_DibSize(Dib.data(), Dib.size()), Dib.size());
    const uint8_t* Pixels = TWAIN_DibBits(Dib.data());
    if (Bits == 1)
      EXPECT_EQ(Pixels[0] & 0x80, 0x80);  // a set bit: palette entry 1, black
    else
      EXPECT_EQ(Pixels[0], 0);
  }
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

}  // namespace
