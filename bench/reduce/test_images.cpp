// Deterministic test pictures: everything derives from integer hashes of the
// pixel position, so every run and every machine gets the same bytes.
#include "bench/reduce/test_images.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

uint32_t Hash(uint32_t X, uint32_t Y, uint32_t Seed) {
  uint32_t h = X * 0x9E3779B1u ^ (Y + 0x7F4A7C15u) * 0x85EBCA77u ^ Seed * 0xC2B2AE3Du;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

// Lattice value in -1..1.
double Lattice(int32_t X, int32_t Y, uint32_t Seed) {
  return Hash(uint32_t(X), uint32_t(Y), Seed) * (2.0 / 4294967295.0) - 1.0;
}

double Smooth(double T) { return T * T * (3 - 2 * T); }

// Value noise with lattice spacing Cell pixels, smoothly interpolated: white
// noise blurred over about Cell pixels.
double ValueNoise(int32_t X, int32_t Y, int32_t Cell, uint32_t Seed) {
  const int32_t cx = X / Cell, cy = Y / Cell;
  const double fx = Smooth(double(X % Cell) / Cell), fy = Smooth(double(Y % Cell) / Cell);
  const double a = Lattice(cx, cy, Seed), b = Lattice(cx + 1, cy, Seed);
  const double c = Lattice(cx, cy + 1, Seed), d = Lattice(cx + 1, cy + 1, Seed);
  return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

uint8_t ToByte(double V) { return uint8_t(std::clamp(std::lround(V), 0L, 255L)); }

constexpr double Pi = 3.14159265358979323846;

void MakePhoto(TRgbPicture& P) {
  for (int32_t y = 0; y < P.Height; ++y) {
    uint8_t* row = P.Row(y);
    const double v = double(y) / P.Height;
    for (int32_t x = 0; x < P.Width; ++x) {
      const double u = double(x) / P.Width;
      // A sky-to-ground gradient with a few broad shapes of light.
      double r = 70 + 120 * v + 40 * std::sin(2 * Pi * (0.8 * u + 0.3 * v));
      double g = 110 + 60 * std::cos(2 * Pi * (0.5 * u - 0.7 * v)) + 30 * v;
      double b = 200 - 140 * v + 35 * std::sin(2 * Pi * (1.3 * u * v + 0.2));
      const double du = u - 0.62, dv = v - 0.38;
      const double sun = std::exp(-(du * du + dv * dv) * 40);
      r += 60 * sun, g += 45 * sun, b -= 20 * sun;
      // Texture: noise blurred over a few pixels, and a coarser layer.
      r += 9 * ValueNoise(x, y, 3, 1) + 14 * ValueNoise(x, y, 37, 4);
      g += 9 * ValueNoise(x, y, 3, 2) + 14 * ValueNoise(x, y, 41, 5);
      b += 9 * ValueNoise(x, y, 3, 3) + 14 * ValueNoise(x, y, 43, 6);
      row[3 * x] = ToByte(r), row[3 * x + 1] = ToByte(g), row[3 * x + 2] = ToByte(b);
    }
  }
}

void MakeFractal(TRgbPicture& P) {
  for (int32_t y = 0; y < P.Height; ++y) {
    uint8_t* row = P.Row(y);
    for (int32_t x = 0; x < P.Width; ++x) {
      for (int32_t c = 0; c < 3; ++c) {
        double sum = 0, amplitude = 1;
        for (int32_t cell = 512; cell >= 1; cell /= 2, amplitude *= 0.7)
          sum += amplitude * ValueNoise(x, y, cell, 100 + 17 * c + cell);
        row[3 * x + c] = ToByte(128 + 95 * sum);
      }
    }
  }
}

void MakeFlat(TRgbPicture& P) {
  // A small graphic of flat shapes in 40 colours, scaled up without smoothing.
  const int32_t scale = 10;
  const int32_t w = (P.Width + scale - 1) / scale, h = (P.Height + scale - 1) / scale;
  uint8_t colors[40][3];
  for (int32_t i = 0; i < 40; ++i)
    for (int32_t c = 0; c < 3; ++c) colors[i][c] = uint8_t(Hash(i, c, 7) % 256);
  std::vector<uint8_t> small(size_t(w) * h, 0);
  for (int32_t s = 0; s < 120; ++s) {
    const int32_t cx = Hash(s, 0, 8) % w, cy = Hash(s, 1, 8) % h;
    const int32_t rx = 5 + Hash(s, 2, 8) % (w / 5), ry = 5 + Hash(s, 3, 8) % (h / 5);
    const uint8_t color = uint8_t(1 + Hash(s, 4, 8) % 39);
    const bool ellipse = Hash(s, 5, 8) % 2;
    for (int32_t y = std::max(0, cy - ry); y < std::min(h, cy + ry); ++y)
      for (int32_t x = std::max(0, cx - rx); x < std::min(w, cx + rx); ++x) {
        const double dx = double(x - cx) / rx, dy = double(y - cy) / ry;
        if (!ellipse || dx * dx + dy * dy <= 1) small[size_t(y) * w + x] = color;
      }
  }
  for (int32_t y = 0; y < P.Height; ++y) {
    uint8_t* row = P.Row(y);
    for (int32_t x = 0; x < P.Width; ++x) {
      const uint8_t* color = colors[small[size_t(y / scale) * w + x / scale]];
      row[3 * x] = color[0], row[3 * x + 1] = color[1], row[3 * x + 2] = color[2];
    }
  }
}

}  // namespace

const std::vector<std::string>& TestPictureNames() {
  static const std::vector<std::string> names{"photo", "fractal", "flat"};
  return names;
}

TRgbPicture MakeTestPicture(const std::string& Name, int32_t Width, int32_t Height) {
  TRgbPicture p;
  p.Width = Width;
  p.Height = Height;
  p.Pixels.assign(size_t(Width) * size_t(Height) * 3, 0);
  if (Name == "photo")
    MakePhoto(p);
  else if (Name == "fractal")
    MakeFractal(p);
  else if (Name == "flat")
    MakeFlat(p);
  else
    throw std::invalid_argument("unknown test picture " + Name);
  return p;
}

void WritePpm(const std::string& FileName, const TRgbPicture& Picture) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(FileName.c_str(), "wb"), std::fclose);
  if (!f) throw std::runtime_error("cannot create " + FileName);
  std::fprintf(f.get(), "P6\n%d %d\n255\n", Picture.Width, Picture.Height);
  if (std::fwrite(Picture.Pixels.data(), 1, Picture.Pixels.size(), f.get()) != Picture.Pixels.size())
    throw std::runtime_error("cannot write " + FileName);
}
