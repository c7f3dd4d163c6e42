// Metadata chunks and the chunk list of TPixelGraphic.
#include "imaging/core/chunks.h"

#include <cstring>

#include "imaging/core/exceptions.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/strings.h"

namespace {

void WriteU32(TStream& S, uint32_t V) {
  uint8_t b[4] = {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)};
  S.WriteBuffer(b, 4);
}

uint32_t ReadU32(TStream& S) {
  uint8_t b[4];
  S.ReadBuffer(b, 4);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
}

// A length read from the stream must fit in what is left of it before
// anything is allocated for it.
void CheckLength(TStream& S, uint64_t Bytes) {
  int64_t left = S.Size() - S.Position();
  if (left < 0 || Bytes > static_cast<uint64_t>(left)) throw EReadError("Stream read error");
}

std::string ReadBytes(TStream& S) {
  uint32_t n = ReadU32(S);
  CheckLength(S, n);
  std::string s(n, '\0');
  if (n) S.ReadBuffer(s.data(), n);
  return s;
}

void WriteBytes(TStream& S, const std::string& V) {
  WriteU32(S, static_cast<uint32_t>(V.size()));
  if (!V.empty()) S.WriteBuffer(V.data(), static_cast<int64_t>(V.size()));
}

}  // namespace

std::string CheckChunkKeyword(const std::string& Keyword) {
  std::string k = Trim(Keyword);
  if (k.empty()) throw EPixelGraphic("Invalid Chunk Keyword (length=0)");
  for (char ch : k) {
    unsigned c = static_cast<unsigned char>(ch);
    if (!((c >= 32 && c <= 126) || c >= 161)) throw EPixelGraphic("Invalid Chunk Keyword (character #" + IntToStr(c) + ")");
  }
  return k;
}

TChunk::TChunk(const std::string& Keyword) : FKeyword(CheckChunkKeyword(Keyword)) {}

// ---- TStringChunk

TStringChunk::TStringChunk(const std::string& Keyword) : TChunk(Keyword) { FKind = ckString; }

void TStringChunk::SaveToStream(TStream& Stream) { WriteBytes(Stream, FValue); }

void TStringChunk::LoadFromStream(TStream& Stream) {
  std::string s = ReadBytes(Stream);
  FValue = s.substr(0, s.find('\0'));
}

void TStringChunk::Assign(TChunk* Source) {
  if (auto* s = dynamic_cast<TStringChunk*>(Source)) FValue = s->FValue;
}

// ---- TTextChunk

TTextChunk::TTextChunk(const std::string& Keyword) : TChunk(Keyword) { FKind = ckText; }

void TTextChunk::SaveToStream(TStream& Stream) {
  WriteU32(Stream, static_cast<uint32_t>(FStrings.size()));
  for (const std::string& s : FStrings) WriteBytes(Stream, s);
}

void TTextChunk::LoadFromStream(TStream& Stream) {
  FStrings.clear();
  uint32_t n = ReadU32(Stream);
  CheckLength(Stream, uint64_t(n) * 4);  // every line takes at least its length
  for (uint32_t i = 0; i < n; ++i) FStrings.push_back(ReadBytes(Stream));
}

void TTextChunk::Assign(TChunk* Source) {
  if (auto* s = dynamic_cast<TTextChunk*>(Source)) FStrings = s->FStrings;
}

// ---- TIntegerChunk

TIntegerChunk::TIntegerChunk(const std::string& Keyword) : TChunk(Keyword) { FKind = ckInteger; }
void TIntegerChunk::SaveToStream(TStream& Stream) { WriteU32(Stream, static_cast<uint32_t>(FValue)); }
void TIntegerChunk::LoadFromStream(TStream& Stream) { FValue = static_cast<int32_t>(ReadU32(Stream)); }
void TIntegerChunk::Assign(TChunk* Source) {
  if (auto* s = dynamic_cast<TIntegerChunk*>(Source)) FValue = s->FValue;
}

// ---- TFloatChunk: the 80-bit extended value, 10 bytes little-endian.

static_assert(sizeof(long double) >= 10, "extended floats need the 80-bit long double");

TFloatChunk::TFloatChunk(const std::string& Keyword) : TChunk(Keyword) { FKind = ckFloat; }

void TFloatChunk::SaveToStream(TStream& Stream) {
  uint8_t b[sizeof(long double)] = {};
  std::memcpy(b, &FValue, sizeof FValue);
  Stream.WriteBuffer(b, 10);
}

void TFloatChunk::LoadFromStream(TStream& Stream) {
  uint8_t b[sizeof(long double)] = {};
  Stream.ReadBuffer(b, 10);
  std::memcpy(&FValue, b, sizeof FValue);
}

void TFloatChunk::Assign(TChunk* Source) {
  if (auto* s = dynamic_cast<TFloatChunk*>(Source)) FValue = s->FValue;
}

// ---- TDateTimeChunk

TDateTimeChunk::TDateTimeChunk(const std::string& Keyword) : TChunk(Keyword) { FKind = ckDateTime; }

void TDateTimeChunk::SaveToStream(TStream& Stream) {
  uint8_t b[8];
  std::memcpy(b, &FValue, 8);
  Stream.WriteBuffer(b, 8);
}

void TDateTimeChunk::LoadFromStream(TStream& Stream) {
  uint8_t b[8];
  Stream.ReadBuffer(b, 8);
  std::memcpy(&FValue, b, 8);
}

void TDateTimeChunk::Assign(TChunk* Source) {
  if (auto* s = dynamic_cast<TDateTimeChunk*>(Source)) FValue = s->FValue;
}

// ---- TBinaryChunk

TBinaryChunk::TBinaryChunk(const std::string& Keyword) : TChunk(Keyword) { FKind = ckBinary; }

void TBinaryChunk::SaveToStream(TStream& Stream) {
  WriteU32(Stream, Size());
  if (!FData.empty()) Stream.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

void TBinaryChunk::LoadFromStream(TStream& Stream) {
  uint32_t n = ReadU32(Stream);
  CheckLength(Stream, n);
  FData.assign(n, 0);
  if (n) Stream.ReadBuffer(FData.data(), n);
}

void TBinaryChunk::Assign(TChunk* Source) {
  if (auto* s = dynamic_cast<TBinaryChunk*>(Source)) FData = s->FData;
}

std::unique_ptr<TChunk> CopyChunk(TChunk* Source) {
  std::unique_ptr<TChunk> c;
  if (!Source) return c;
  const std::string& k = Source->GetKeyword();
  switch (Source->GetKind()) {
    case ckString: c = std::make_unique<TStringChunk>(k); break;
    case ckText: c = std::make_unique<TTextChunk>(k); break;
    case ckInteger: c = std::make_unique<TIntegerChunk>(k); break;
    case ckFloat: c = std::make_unique<TFloatChunk>(k); break;
    case ckDateTime: c = std::make_unique<TDateTimeChunk>(k); break;
    case ckBinary: c = std::make_unique<TBinaryChunk>(k); break;
    default: return c;
  }
  c->Assign(Source);
  return c;
}

void MakeUniqueChunkKeyword(TPixelGraphic* Graphic, const std::string& Keyword, std::string& Result) {
  Result = Keyword;
  if (!Graphic) return;
  std::string base = Trim(Keyword);
  for (int32_t n = 1; Graphic->FindChunk(Result, 0); ++n) Result = base + " " + IntToStr(n);
}

// ---- The image's chunk list

void TPixelGraphic::AddChunk(TChunk* Chunk) {
  if (!Chunk) return;
  if (FChunks)
    for (auto& c : *FChunks)
      if (c.get() == Chunk) return;  // already held: adding it again changes nothing
  DeleteChunk(Chunk->GetKeyword());
  if (!FChunks) FChunks = std::make_unique<std::vector<std::unique_ptr<TChunk>>>();
  FChunks->emplace_back(Chunk);
}

void TPixelGraphic::AddChunk(std::unique_ptr<TChunk> Chunk) { AddChunk(Chunk.release()); }

void TPixelGraphic::DeleteChunk(const std::string& Keyword) {
  TChunk* c = FindChunk(Keyword, 0);
  if (!c) return;
  for (auto it = FChunks->begin(); it != FChunks->end(); ++it)
    if (it->get() == c) {
      FChunks->erase(it);
      return;
    }
}

TChunk* TPixelGraphic::FindChunk(const std::string& Keyword, uint8_t Kind) {
  if (!FChunks) return nullptr;
  std::string k = UpperCase(Trim(Keyword));
  for (auto& c : *FChunks)
    if (UpperCase(c->GetKeyword()) == k && (Kind == 0 || c->GetKind() == Kind)) return c.get();
  return nullptr;
}

TChunk* TPixelGraphic::GetChunk(int32_t Index) {
  if (!FChunks) FChunks = std::make_unique<std::vector<std::unique_ptr<TChunk>>>();
  if (Index < 0 || Index >= static_cast<int32_t>(FChunks->size()))
    throw EPixelGraphic("List index out of bounds (" + IntToStr(Index) + ")");
  return (*FChunks)[static_cast<size_t>(Index)].get();
}

int32_t TPixelGraphic::GetChunkCount() const { return FChunks ? static_cast<int32_t>(FChunks->size()) : 0; }

void TPixelGraphic::FreeChunks() { FChunks.reset(); }

void TPixelGraphic::CopyChunksFrom(TPixelGraphic* Source) {
  if (!Source || Source == this) return;  // copying onto itself would empty the list first
  FreeChunks();
  for (int32_t i = 0; i < Source->GetChunkCount(); ++i)
    if (std::unique_ptr<TChunk> c = CopyChunk(Source->GetChunk(i))) AddChunk(std::move(c));
}
