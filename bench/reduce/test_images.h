// Deterministic test pictures for the colour-reduction benchmarks, as rows of
// red, green, blue bytes from the top.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TRgbPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Pixels;  // Width * 3 bytes per row, top row first
  uint8_t* Row(int32_t Y) { return Pixels.data() + size_t(Y) * size_t(Width) * 3; }
  const uint8_t* Row(int32_t Y) const { return Pixels.data() + size_t(Y) * size_t(Width) * 3; }
};

// "photo": smooth gradients with blurred noise; "fractal": fractal value noise
// with millions of colours; "flat": a flat-colour graphic scaled up.
const std::vector<std::string>& TestPictureNames();
TRgbPicture MakeTestPicture(const std::string& Name, int32_t Width, int32_t Height);

// Binary PPM (P6, maxval 255) files for the peer tools.
void WritePpm(const std::string& FileName, const TRgbPicture& Picture);
