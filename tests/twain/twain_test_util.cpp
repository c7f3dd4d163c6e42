#include "twain_test_util.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/gdi/clipboard_formats.h"

namespace {

void Put16(std::vector<uint8_t>& B, uint32_t V) {
  B.push_back(static_cast<uint8_t>(V));
  B.push_back(static_cast<uint8_t>(V >> 8));
}
void Put32(std::vector<uint8_t>& B, uint32_t V) {
  Put16(B, V);
  Put16(B, V >> 16);
}

}  // namespace

std::vector<uint8_t> MakeBmp(int32_t Width, int32_t Height, const std::vector<uint32_t>& Pixels,
                             const std::vector<uint32_t>& Palette) {
  const uint32_t Bits = Palette.empty() ? 24 : 8;
  const uint32_t Stride = (Width * Bits + 31) / 32 * 4;
  const uint32_t Table = static_cast<uint32_t>(Palette.size()) * 4;
  const uint32_t SizeImage = Stride * Height;
  std::vector<uint8_t> B;
  B.push_back('B');
  B.push_back('M');
  Put32(B, 54 + Table + SizeImage);
  Put32(B, 0);
  Put32(B, 54 + Table);
  Put32(B, 40);
  Put32(B, Width);
  Put32(B, Height);
  Put16(B, 1);
  Put16(B, Bits);
  Put32(B, 0);
  Put32(B, SizeImage);
  Put32(B, 2835);
  Put32(B, 2835);
  Put32(B, static_cast<uint32_t>(Palette.size()));
  Put32(B, 0);
  for (uint32_t C : Palette) {
    B.push_back(static_cast<uint8_t>(C >> 16));
    B.push_back(static_cast<uint8_t>(C >> 8));
    B.push_back(static_cast<uint8_t>(C));
    B.push_back(0);
  }
  for (int32_t Row = Height - 1; Row >= 0; --Row) {  // bottom-up
    size_t Start = B.size();
    for (int32_t X = 0; X < Width; ++X) {
      uint32_t P = Pixels[static_cast<size_t>(Row) * Width + X];
      if (Bits == 8) {
        B.push_back(static_cast<uint8_t>(P));
      } else {
        B.push_back(static_cast<uint8_t>(P >> 16));
        B.push_back(static_cast<uint8_t>(P >> 8));
        B.push_back(static_cast<uint8_t>(P));
      }
    }
    B.resize(Start + Stride, 0);
  }
  return B;
}

void TwainTest::SetUp() {
  char Template[] = "/tmp/quillon_twain_XXXXXX";
  ASSERT_NE(::mkdtemp(Template), nullptr);
  Dir = std::string(Template) + "/";
  // The person's settings (the scanner kept) in a folder of the test's own.
  ::setenv("XDG_CONFIG_HOME", (Dir + "config").c_str(), 1);
  InitializeTwain();
  TWAIN_SetManagerFolder(QUILLON_TWAIN_DSM_DIR);
  ::setenv("QUILLON_TWAIN_SCRIPT", (Dir + "script.txt").c_str(), 1);
  Script({});
}

void TwainTest::TearDown() {
  FinalizeTwain();
  ::unsetenv("QUILLON_TWAIN_SCRIPT");
  ::unsetenv("XDG_CONFIG_HOME");
  std::error_code Ec;
  std::filesystem::remove_all(Dir, Ec);
}

void TwainTest::Script(const std::vector<std::string>& Lines) {
  std::ofstream Out(Dir + "script.txt", std::ios::trunc);
  Out << "log=" << Dir << "log.txt\n";
  for (const std::string& L : Lines) Out << L << '\n';
}

std::string TwainTest::WriteFile(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  std::ofstream Out(Dir + Name, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
  return Dir + Name;
}

std::vector<uint8_t> TwainTest::ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

std::vector<std::string> TwainTest::Calls() const {
  std::vector<std::string> Lines;
  std::ifstream In(Dir + "log.txt");
  std::string Line;
  while (std::getline(In, Line)) Lines.push_back(Line);
  return Lines;
}

bool TwainTest::Called(const std::string& Call) const {
  for (const std::string& L : Calls())
    if (L.find(Call) != std::string::npos) return true;
  return false;
}

std::vector<uint8_t> TwainTest::Bytes(HGLOBAL Dib) {
  auto* P = static_cast<uint8_t*>(GlobalLock(Dib));
  if (!P) return {};
  std::vector<uint8_t> Result(P, P + GlobalSize(Dib));
  GlobalUnlock(Dib);
  return Result;
}
