// Metadata chunks: keyword-named items (comments, text, times, binary
// blocks) that an image carries in an ordered list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/stream.h"

class TPixelGraphic;

// Chunk kinds, one per class.
constexpr uint8_t ckString = 1;
constexpr uint8_t ckText = 2;
constexpr uint8_t ckInteger = 3;
constexpr uint8_t ckFloat = 4;
constexpr uint8_t ckDateTime = 5;
constexpr uint8_t ckBinary = 6;

// The keyword with leading and trailing blanks and control characters
// removed; raises EPixelGraphic "Invalid Chunk Keyword (length=0)" when
// nothing is left and "Invalid Chunk Keyword (character #N)" for a character
// whose Windows-1252 code N lies outside 32..126 and 161..255 (one the code
// page lacks gives its Unicode number).
std::string CheckChunkKeyword(const std::string& Keyword);

// Keywords are UTF-8 text; formats that store them in single bytes (PNG
// text keys are ISO 8859-1) convert at their edge. A character without a
// byte becomes "?".
std::string Latin1ToUTF8(const std::string& Text);
std::string UTF8ToLatin1(const std::string& Text);

class TChunk {
public:
  explicit TChunk(const std::string& Keyword);
  virtual ~TChunk() = default;
  TChunk(const TChunk&) = delete;
  TChunk& operator=(const TChunk&) = delete;

  uint8_t GetKind() const { return FKind; }
  const std::string& GetKeyword() const { return FKeyword; }
  // The value in its stream form (little-endian; keyword and kind are not written).
  virtual void SaveToStream(TStream&) {}
  virtual void LoadFromStream(TStream&) {}
  // Copies the value of a chunk of the same class; the keyword stays.
  virtual void Assign(TChunk*) {}

protected:
  uint8_t FKind = 0;
  std::string FKeyword;
};

class TStringChunk : public TChunk {
public:
  explicit TStringChunk(const std::string& Keyword);
  const std::string& Value() const { return FValue; }
  void SetValue(const std::string& Value) { FValue = Value; }
  // 32-bit length N and N bytes; reading stops the value at the first zero byte.
  void SaveToStream(TStream& Stream) override;
  void LoadFromStream(TStream& Stream) override;
  void Assign(TChunk* Source) override;

private:
  std::string FValue;
};

class TTextChunk : public TChunk {
public:
  explicit TTextChunk(const std::string& Keyword);
  // The lines, edited in place.
  std::vector<std::string>& GetStrings() { return FStrings; }
  // 32-bit count, then each line as 32-bit length and bytes.
  void SaveToStream(TStream& Stream) override;
  void LoadFromStream(TStream& Stream) override;
  void Assign(TChunk* Source) override;

private:
  std::vector<std::string> FStrings;
};

class TIntegerChunk : public TChunk {
public:
  explicit TIntegerChunk(const std::string& Keyword);
  int32_t Value() const { return FValue; }
  void SetValue(int32_t Value) { FValue = Value; }
  void SaveToStream(TStream& Stream) override;
  void LoadFromStream(TStream& Stream) override;
  void Assign(TChunk* Source) override;

private:
  int32_t FValue = 0;
};

class TFloatChunk : public TChunk {
public:
  explicit TFloatChunk(const std::string& Keyword);
  long double Value() const { return FValue; }
  void SetValue(long double Value) { FValue = Value; }
  // The 10-byte extended form.
  void SaveToStream(TStream& Stream) override;
  void LoadFromStream(TStream& Stream) override;
  void Assign(TChunk* Source) override;

private:
  long double FValue = 0;
};

class TDateTimeChunk : public TChunk {
public:
  explicit TDateTimeChunk(const std::string& Keyword);
  // Days since 30 December 1899; the fraction is the time of day.
  double Value() const { return FValue; }
  void SetValue(double Value) { FValue = Value; }
  void SaveToStream(TStream& Stream) override;
  void LoadFromStream(TStream& Stream) override;
  void Assign(TChunk* Source) override;

private:
  double FValue = 0;
};

class TBinaryChunk : public TChunk {
public:
  explicit TBinaryChunk(const std::string& Keyword);
  uint8_t* Data() { return FData.data(); }
  uint32_t Size() const { return static_cast<uint32_t>(FData.size()); }
  // Resizes the block; the kept bytes stay, new ones are zero.
  void SetSize(uint32_t N) { FData.resize(N); }
  // 32-bit size N and N bytes.
  void SaveToStream(TStream& Stream) override;
  void LoadFromStream(TStream& Stream) override;
  void Assign(TChunk* Source) override;

private:
  std::vector<uint8_t> FData;
};

// A new chunk of Source's class and keyword holding a copy of its value;
// nullptr for a chunk of no known kind.
std::unique_ptr<TChunk> CopyChunk(TChunk* Source);

// Result := Keyword; while Graphic has a chunk named Result, Result := the
// trimmed Keyword, a blank and the next number counting from 1.
void MakeUniqueChunkKeyword(TPixelGraphic* Graphic, const std::string& Keyword, std::string& Result);
