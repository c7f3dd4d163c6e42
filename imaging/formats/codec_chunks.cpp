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

// What the lines of a text cost at most once split: its bytes and a string
// for every line it may end (SplitTextLines ends lines only at these bytes).
int64_t TextLinesCost(const uint8_t* Data, size_t Size) {
  int64_t lines = 1;
  for (size_t i = 0; i < Size; ++i) lines += Data[i] == 0 || Data[i] == '\n' || Data[i] == '\r';
  return int64_t(Size) + lines * int64_t(sizeof(std::string));
}

}  // namespace

TCodecChunkSink::TCodecChunkSink(TPixelGraphic& Graphic) : FGraphic(Graphic) {
  for (int32_t i = 0; i < Graphic.GetChunkCount(); ++i) FKeywords.insert(UpperCase(Graphic.GetChunk(i)->GetKeyword()));
}

std::string TCodecChunkSink::UniqueKeyword(const std::string& Keyword) {
  const std::string base = Trim(Keyword);
  std::string result = Keyword;
  int32_t& next = FNext[UpperCase(base)];
  if (next > 0) result = base + " " + IntToStr(next);
  while (FKeywords.count(UpperCase(Trim(result))) != 0) result = base + " " + IntToStr(++next);
  return result;
}

void TCodecChunkSink::Add(std::unique_ptr<TChunk> Chunk) {
  FKeywords.insert(UpperCase(Chunk->GetKeyword()));
  FGraphic.AddChunk(std::move(Chunk));
  ++FAdded;
}

bool TCodecChunkSink::Take(int64_t Bytes) {
  if (Bytes > MaxBytes - FBytes) return false;
  FBytes += Bytes;
  return true;
}

void TCodecChunkSink::AddJPEGMarker(int Marker, const uint8_t* Data, size_t Size) {
  if (Full()) return;
  if (Marker == JPEG_COM) {
    if (!Take(TextLinesCost(Data, Size))) return;
    auto chunk = std::make_unique<TTextChunk>(UniqueKeyword("JFIF COM"));
    chunk->GetStrings() = SplitTextLines(Data, Size);
    Add(std::move(chunk));
    return;
  }
  if (!Take(int64_t(Size))) return;
  auto chunk = std::make_unique<TBinaryChunk>(UniqueKeyword(std::string("JFIF APP") + kHexDigits[(Marker - JPEG_APP0) & 15]));
  chunk->SetSize(static_cast<uint32_t>(Size));
  if (Size > 0) std::memcpy(chunk->Data(), Data, Size);
  Add(std::move(chunk));
}

void TCodecChunkSink::AddPNGTime(double Value) {
  if (Full()) return;
  auto chunk = std::make_unique<TDateTimeChunk>("PNG TIME");
  chunk->SetValue(Value);
  Add(std::move(chunk));
}

void TCodecChunkSink::AddPNGText(const std::string& Key, const uint8_t* Text, size_t Size) {
  // The key's ISO 8859-1 bytes become UTF-8 text, judged by the keyword rule.
  const std::string key = Trim(Latin1ToUTF8(Key));
  if (Full() || key.empty()) return;
  try {
    CheckChunkKeyword(key);
  } catch (const EPixelGraphic&) {
    return;
  }
  if (!Take(TextLinesCost(Text, Size))) return;
  auto chunk = std::make_unique<TTextChunk>(UniqueKeyword("PNG TEXT " + key));
  chunk->GetStrings() = SplitTextLines(Text, Size);
  Add(std::move(chunk));
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
    texts.emplace_back(UTF8ToLatin1(Trim(chunk->GetKeyword().substr(8))), static_cast<TTextChunk*>(chunk)->GetStrings());
  }
  return texts;
}
