// Metadata chunks and the chunk list of TPixelGraphic.
#include "imaging/core/chunks.h"

#include <algorithm>
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

// Count bytes of the stream, or as many as it still has: true when all were
// there. A short stream leaves what it had in Out (the caller raises).
bool ReadUpTo(TStream& S, uint32_t Count, std::string& Out) {
  const int64_t left = std::max<int64_t>(0, S.Size() - S.Position());
  Out.assign(static_cast<size_t>(std::min<int64_t>(Count, left)), '\0');
  const int64_t got = Out.empty() ? 0 : S.Read(Out.data(), static_cast<int64_t>(Out.size()));
  Out.resize(static_cast<size_t>(std::max<int64_t>(0, got)));
  return Out.size() == Count;
}

[[noreturn]] void RaiseShort() { throw EReadError("Stream read error"); }

// A fixed-size value read over its current bytes: a short stream leaves the
// bytes it had in the value before the read error.
template <class T>
void ReadValue(TStream& S, T& Value, size_t Bytes) {
  uint8_t b[sizeof(T)] = {};
  std::memcpy(b, &Value, sizeof Value);
  const int64_t got = S.Read(b, static_cast<int64_t>(Bytes));
  std::memcpy(&Value, b, sizeof Value);
  if (got != static_cast<int64_t>(Bytes)) RaiseShort();
}

// The Windows-1252 code of a Unicode character, or -1 when it has none.
int32_t Windows1252Code(uint32_t C) {
  if (C < 0x80 || (C >= 0xA0 && C <= 0xFF)) return static_cast<int32_t>(C);
  static const uint16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                     0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  for (int32_t i = 0; i < 32; ++i)
    if (kHigh[i] != 0 && kHigh[i] == C) return 0x80 + i;
  return -1;
}

// The character of a UTF-8 text at At, which moves past it. A byte that
// starts no valid sequence stands for itself, a character of the code page
// as some files carry them.
uint32_t NextCharacter(const std::string& Text, size_t& At) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(Text[i]); };
  const uint8_t b = byte(At);
  const size_t length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 && b < 0xF0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 1;
  if (length > 1 && At + length <= Text.size()) {
    uint32_t c = b & (0xFFu >> (length + 1));
    bool ok = true;
    for (size_t k = 1; k < length && ok; ++k) {
      ok = (byte(At + k) & 0xC0) == 0x80;
      c = c << 6 | (byte(At + k) & 0x3F);
    }
    const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && c >= least[length] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF)) {
      At += length;
      return c;
    }
  }
  ++At;
  return b;
}

void WriteBytes(TStream& S, const std::string& V) {
  WriteU32(S, static_cast<uint32_t>(V.size()));
  if (!V.empty()) S.WriteBuffer(V.data(), static_cast<int64_t>(V.size()));
}

}  // namespace

std::string CheckChunkKeyword(const std::string& Keyword) {
  std::string k = Trim(Keyword);
  if (k.empty()) throw EPixelGraphic("Invalid Chunk Keyword (length=0)");
  // Each character is judged by its code in the single-byte code page
  // (Windows-1252); one the code page lacks, by its Unicode number.
  for (size_t at = 0; at < k.size();) {
    const uint32_t ch = NextCharacter(k, at);
    const int32_t code = Windows1252Code(ch);
    if (!((code >= 32 && code <= 126) || code >= 161))
      throw EPixelGraphic("Invalid Chunk Keyword (character #" + IntToStr(code < 0 ? int64_t(ch) : code) + ")");
  }
  return k;
}

std::string Latin1ToUTF8(const std::string& Text) {
  std::string out;
  for (char ch : Text) {
    const auto c = static_cast<uint8_t>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string UTF8ToLatin1(const std::string& Text) {
  std::string out;
  for (size_t at = 0; at < Text.size();) {
    const uint32_t c = NextCharacter(Text, at);
    out += c <= 0xFF ? static_cast<char>(c) : '?';
  }
  return out;
}

TChunk::TChunk(const std::string& Keyword) : FKeyword(CheckChunkKeyword(Keyword)) {}

// ---- TStringChunk

TStringChunk::TStringChunk(const std::string& Keyword) : TChunk(Keyword) { FKind = ckString; }

void TStringChunk::SaveToStream(TStream& Stream) { WriteBytes(Stream, FValue); }

void TStringChunk::LoadFromStream(TStream& Stream) {
  std::string s;
  const bool whole = ReadUpTo(Stream, ReadU32(Stream), s);
  FValue = s.substr(0, s.find('\0'));
  if (!whole) RaiseShort();
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
  const uint32_t n = ReadU32(Stream);
  // Lines are kept as they come: a count beyond the stream ends at its end.
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t length = ReadU32(Stream);
    std::string line;
    const bool whole = ReadUpTo(Stream, length, line);
    FStrings.push_back(std::move(line));
    if (!whole) RaiseShort();
  }
}

void TTextChunk::Assign(TChunk* Source) {
  if (auto* s = dynamic_cast<TTextChunk*>(Source)) FStrings = s->FStrings;
}

// ---- TIntegerChunk

TIntegerChunk::TIntegerChunk(const std::string& Keyword) : TChunk(Keyword) { FKind = ckInteger; }
void TIntegerChunk::SaveToStream(TStream& Stream) { WriteU32(Stream, static_cast<uint32_t>(FValue)); }
void TIntegerChunk::LoadFromStream(TStream& Stream) { ReadValue(Stream, FValue, 4); }
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

void TFloatChunk::LoadFromStream(TStream& Stream) { ReadValue(Stream, FValue, 10); }

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

void TDateTimeChunk::LoadFromStream(TStream& Stream) { ReadValue(Stream, FValue, 8); }

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
  std::string s;
  const bool whole = ReadUpTo(Stream, ReadU32(Stream), s);
  FData.assign(s.begin(), s.end());
  if (!whole) RaiseShort();
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
