// Metadata chunks of the JPEG and PNG codecs.
#include "imaging/formats/codec_chunks.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include <jpeglib.h>

#include "imaging/core/chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/formats/codec_glue.h"
#include "platform/base/strings.h"

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

bool StartsWith(const std::string& Text, const std::string& Prefix) { return Text.rfind(Prefix, 0) == 0; }

bool KeywordChar(unsigned char C) { return (C >= 32 && C <= 126) || C >= 161; }

}  // namespace

void AddJPEGMarkerChunk(TPixelGraphic& Graphic, int Marker, const uint8_t* Data, size_t Size) {
  std::string keyword;
  if (Marker == JPEG_COM) {
    MakeUniqueChunkKeyword(&Graphic, "JFIF COM", keyword);
    auto chunk = std::make_unique<TTextChunk>(keyword);
    chunk->GetStrings() = SplitTextLines(Data, Size);
    Graphic.AddChunk(std::move(chunk));
    return;
  }
  MakeUniqueChunkKeyword(&Graphic, std::string("JFIF APP") + kHexDigits[(Marker - JPEG_APP0) & 15], keyword);
  auto chunk = std::make_unique<TBinaryChunk>(keyword);
  chunk->SetSize(static_cast<uint32_t>(Size));
  if (Size > 0) std::memcpy(chunk->Data(), Data, Size);
  Graphic.AddChunk(std::move(chunk));
}

std::vector<std::pair<int, std::vector<uint8_t>>> JPEGMarkersFromChunks(TPixelGraphic& Graphic) {
  std::vector<std::pair<int, std::vector<uint8_t>>> markers;
  for (int32_t i = 0; i < Graphic.GetChunkCount(); ++i) {
    TChunk* chunk = Graphic.GetChunk(i);
    const std::string keyword = UpperCase(chunk->GetKeyword());
    if (chunk->GetKind() == ckText && StartsWith(keyword, "JFIF COM")) {
      std::vector<uint8_t> payload;
      for (const std::string& line : static_cast<TTextChunk*>(chunk)->GetStrings()) {
        payload.insert(payload.end(), line.begin(), line.end());
        payload.push_back('\r');
        payload.push_back('\n');
      }
      payload.push_back(0);
      if (payload.size() > 65534) throw EPGJPGFileFormatReaderWriter("JPG: COM field > 0x0000FFFE");
      markers.emplace_back(JPEG_COM, std::move(payload));
      continue;
    }
    if (chunk->GetKind() != ckBinary) continue;
    auto* binary = static_cast<TBinaryChunk*>(chunk);
    for (int n = 1; n <= 15; ++n) {
      if (n == 8 || n == 14 || !StartsWith(keyword, std::string("JFIF APP") + kHexDigits[n])) continue;
      if (binary->Size() > 65534) throw EPGJPGFileFormatReaderWriter("JPG: APPn field > 0x0000FFFE");
      markers.emplace_back(JPEG_APP0 + n, std::vector<uint8_t>(binary->Data(), binary->Data() + binary->Size()));
      break;
    }
  }
  return markers;
}

void AddPNGTimeChunk(TPixelGraphic& Graphic, double Value) {
  auto chunk = std::make_unique<TDateTimeChunk>("PNG TIME");
  chunk->SetValue(Value);
  Graphic.AddChunk(std::move(chunk));
}

void AddPNGTextChunk(TPixelGraphic& Graphic, const std::string& Key, const std::vector<std::string>& Lines) {
  const std::string key = Trim(Key);
  if (key.empty()) return;
  for (unsigned char c : key)
    if (!KeywordChar(c)) return;
  std::string keyword;
  MakeUniqueChunkKeyword(&Graphic, "PNG TEXT " + key, keyword);
  auto chunk = std::make_unique<TTextChunk>(keyword);
  chunk->GetStrings() = Lines;
  Graphic.AddChunk(std::move(chunk));
}

bool FindPNGTimeChunk(TPixelGraphic& Graphic, double& Value) {
  auto* chunk = static_cast<TDateTimeChunk*>(Graphic.FindChunk("PNG TIME", ckDateTime));
  if (chunk == nullptr) return false;
  Value = chunk->Value();
  return true;
}

std::vector<std::pair<std::string, std::vector<std::string>>> PNGTextsFromChunks(TPixelGraphic& Graphic) {
  std::vector<std::pair<std::string, std::vector<std::string>>> texts;
  for (int32_t i = 0; i < Graphic.GetChunkCount(); ++i) {
    TChunk* chunk = Graphic.GetChunk(i);
    if (chunk->GetKind() != ckText || !StartsWith(UpperCase(chunk->GetKeyword()), "PNG TEXT ")) continue;
    texts.emplace_back(Trim(chunk->GetKeyword().substr(8)), static_cast<TTextChunk*>(chunk)->GetStrings());
  }
  return texts;
}
