// The reader/writer registries: reader search by content then extension,
// writer order, file information and the codec warning convention.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace std::string_literals;

#include "imaging/core/exceptions.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/messages.h"
#include "platform/base/files.h"

namespace {

// A reader that accepts files starting with its two-letter signature, or,
// without a signature, is found by extension only.
class TFakeReader : public TFileFormatReader {
public:
  TFakeReader(const std::string& Ext, const char* Signature) : FSignature(Signature ? Signature : "") {
    FExtension = Ext;
    FDescription = "Fake " + Ext;
    FIdentifiedByContent = Signature != nullptr;
  }
  bool Identify(const TPGFileHeader& Header) override {
    LastHeader = Header;
    if (FSignature == "!!") throw EReadError("identify failed");
    return std::memcmp(Header.data(), FSignature.data(), FSignature.size()) == 0;
  }
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override {
    TFileFormatReader::GetInfo(Stream, Index, Info);
    if (Index != 0) throw EPixelGraphic("index");
    uint8_t b[4];
    Stream.ReadBuffer(b, 4);  // moves the stream; the service must put it back
    Info.FormatText = FExtension;
    Info.Width = b[2];
    Info.Height = b[3];
  }
  static inline TPGFileHeader LastHeader{};

private:
  std::string FSignature;
};

// A reader keeping per-file state: every call through the registries must
// run on a fresh instance.
class TStatefulReader : public TFakeReader {
public:
  TStatefulReader() : TFakeReader("sta", "ST") {}
  std::unique_ptr<TFileFormatReader> CreatePerCallInstance() const override {
    ++Created;
    auto r = std::make_unique<TStatefulReader>();
    r->FFresh = true;
    return r;
  }
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override {
    TFakeReader::GetInfo(Stream, Index, Info);
    Info.ExtraText = FFresh ? "fresh" : "shared";
  }
  static inline int Created = 0;

private:
  bool FFresh = false;
};

class TFakeWriter : public TFileFormatWriter {
public:
  explicit TFakeWriter(const std::string& Ext) {
    FExtension = Ext;
    FCanWriteResolutions = AllColorResolutions;
  }
};

class Registries : public ::testing::Test {
protected:
  void SetUp() override {
    InitFileFormatRegistries();
    // Appended out of order on purpose; the search sorts.
    RegisterFileFormatReader(std::make_unique<TFakeReader>("tga", nullptr));
    RegisterFileFormatReader(std::make_unique<TFakeReader>("jpg", "\xFF\xD8"));
    RegisterFileFormatReader(std::make_unique<TFakeReader>("bmp", "BM"));
    RegisterFileFormatReader(std::make_unique<TFakeReader>("dib", "BM"));
  }
  void TearDown() override { FreeFileFormatRegistries(); }

  static TMemoryStream Stream(const std::string& Bytes) {
    TMemoryStream s;
    s.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
    s.SetPosition(0);
    return s;
  }
};

}  // namespace

TEST(FileExtension, SplitsAtTheLastDotOfTheNameOnly) {
  EXPECT_EQ(GetFileExtension("/a.b/file"), "");
  EXPECT_EQ(GetFileExtension("/a.b/PICTURE.TGA"), "tga");
  EXPECT_EQ(GetFileExtension("photo.tar.Gz"), "gz");
  EXPECT_EQ(GetFileExtension("noext"), "");
}

TEST_F(Registries, ContentBeatsExtensionAndExtensionIsTheFallback) {
  TMemoryStream bmp = Stream("BM and the rest of a bitmap");
  TFileFormatReader* r = FindFileFormatReader(bmp, "tga");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Extension(), "bmp");  // first of the two "BM" readers in extension order

  TMemoryStream tga = Stream("\0\0\2 targa bytes"s);
  r = FindFileFormatReader(tga, ".TGA");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Extension(), "tga");
  EXPECT_EQ(FindFileFormatReader(tga, ""), nullptr);
  // A reader identified by content is never chosen by its extension.
  EXPECT_EQ(FindFileFormatReader(tga, "jpg"), nullptr);
}

TEST_F(Registries, EmbeddedStreamIsIdentifiedAtItsPositionAndLeftThere) {
  TMemoryStream s = Stream("xxxxx\xFF\xD8 jpeg data follows here.......");
  s.SetPosition(5);
  TFileFormatReader* r = FindFileFormatReader(s, "");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Extension(), "jpg");
  EXPECT_EQ(s.Position(), 5);
}

TEST_F(Registries, HeaderOfAShortStreamIsZeroFilled) {
  TFakeReader::LastHeader.fill(0xAA);
  TMemoryStream s = Stream("BM");
  TFileFormatReader* r = FindFileFormatReader(s, "");
  ASSERT_NE(r, nullptr);
  for (int i = 2; i < PGHeaderSize; ++i) EXPECT_EQ(TFakeReader::LastHeader[size_t(i)], 0) << i;
  TMemoryStream empty;
  EXPECT_EQ(FindFileFormatReader(empty, ""), nullptr);
}

TEST_F(Registries, AFailingIdentifyMeansNoReader) {
  RegisterFileFormatReader(std::make_unique<TFakeReader>("aaa", "!!"));
  TMemoryStream s = Stream("BM...");
  EXPECT_EQ(FindFileFormatReader(s, "bmp"), nullptr);
}

TEST_F(Registries, ListsAreSortedByLowerCaseExtension) {
  RegisterFileFormatWriter(std::make_unique<TFakeWriter>("bmp"));
  RegisterFileFormatWriter(std::make_unique<TFakeWriter>("GIF"));
  RegisterFileFormatWriter(std::make_unique<TFakeWriter>("aaa"));
  SortFileFormatWriters();
  ASSERT_EQ(FileFormatWriters->Count(), 3);
  EXPECT_EQ(FileFormatWriters->Items(0)->Extension(), "aaa");
  EXPECT_EQ(FileFormatWriters->Items(2)->Extension(), "GIF");
  EXPECT_EQ(FindFileFormatWriter(".gif"), FileFormatWriters->Items(2));
  EXPECT_EQ(FindFileFormatWriter("png"), nullptr);
  SortFileFormatReaders();
  std::string order;
  for (const auto& r : *FileFormatReaders) order += r->Extension() + " ";
  EXPECT_EQ(order, "bmp dib jpg tga ");
}

TEST_F(Registries, StreamInfoKeepsThePositionAndClearsOnFailure) {
  TMemoryStream s = Stream("zzBM\x07\x09");
  s.SetPosition(2);
  std::string description = "old";
  TPGGraphicInfo info;
  info.Width = 99;
  ASSERT_TRUE(GetGraphicStreamInfo(s, "", 0, description, info));
  EXPECT_EQ(description, "Fake bmp");
  EXPECT_EQ(info.FormatText, "bmp");
  EXPECT_EQ(info.Width, 7);
  EXPECT_EQ(info.Height, 9);
  EXPECT_EQ(info.ImageCount, 1);
  EXPECT_EQ(s.Position(), 2);

  // GetInfo raising: False, and the stream is put back.
  EXPECT_FALSE(GetGraphicStreamInfo(s, "", 1, description, info));
  EXPECT_EQ(s.Position(), 2);

  TMemoryStream unknown = Stream("??????");
  info.Width = 5;
  EXPECT_FALSE(GetGraphicStreamInfo(unknown, "", 0, description, info));
  EXPECT_EQ(description, "");
  EXPECT_EQ(info.Width, 0);
}

TEST_F(Registries, FileInfoOfAMissingFileLeavesTheResults) {
  std::string description = "keep";
  TPGGraphicInfo info;
  info.Width = 42;
  EXPECT_FALSE(GetGraphicFileInfo("/nonexistent/dir/missing.bmp", 0, description, info));
  EXPECT_EQ(description, "keep");
  EXPECT_EQ(info.Width, 42);
  EXPECT_FALSE(GetGraphicFileInfo("/tmp/", 0, description, info));

  std::string name = std::string(QUILLON_BUILD_DIR) + "/file_info_unknown.xyz";
  TMemoryStream m = Stream("nothing known here");
  m.SaveToFile(name);
  EXPECT_FALSE(GetGraphicFileInfo(name, 0, description, info));
  EXPECT_EQ(description, "");
  EXPECT_EQ(info.Width, 0);
  DeleteFile(name);
}

TEST_F(Registries, StatefulReadersWorkOnAFreshInstancePerCall) {
  RegisterFileFormatReader(std::make_unique<TStatefulReader>());
  TMemoryStream s = Stream("ST\x01\x02");
  std::string description;
  TPGGraphicInfo info;
  TStatefulReader::Created = 0;
  ASSERT_TRUE(GetGraphicStreamInfo(s, "", 0, description, info));
  EXPECT_EQ(info.ExtraText, "fresh");
  EXPECT_EQ(TStatefulReader::Created, 1);
}

TEST(Registries_, RegisteringBeforeStartUpIsRefused) {
  FreeFileFormatRegistries();
  EXPECT_THROW(RegisterFileFormatReader(std::make_unique<TFakeReader>("x", nullptr)), EPixelGraphic);
  TMemoryStream s;
  EXPECT_EQ(FindFileFormatReader(s, "x"), nullptr);
}

TEST(CodecWarning, EachActionAsDocumented) {
  std::string box;
  TPGBoxButtons buttons = pgbOK;
  bool answer = true;
  auto previous = SetPGWarningBoxHook([&](const std::string& Text, const std::string& Caption, TPGBoxButtons b) {
    box = Caption + "|" + Text;
    buttons = b;
    return answer;
  });
  std::string error;
  EXPECT_TRUE(PGCodecWarning(pgwaIgnore, "PNG", "bad crc", error));
  EXPECT_EQ(box, "");
  EXPECT_TRUE(PGCodecWarning(pgwaOKBox, "PNG", "bad crc", error));
  EXPECT_EQ(box, "PNG Warning|bad crc");
  EXPECT_EQ(buttons, pgbOK);
  EXPECT_TRUE(PGCodecWarning(pgwaOKCancelBox, "JPG", "odd marker", error));
  EXPECT_EQ(buttons, pgbOKCancel);
  answer = false;
  EXPECT_FALSE(PGCodecWarning(pgwaOKCancelBox, "PNG", "bad crc", error));
  EXPECT_EQ(error, "PNG: Operation aborted on user request");
  EXPECT_FALSE(PGCodecWarning(pgwaRaise, "JPG", "odd marker", error));
  EXPECT_EQ(error, "JPG: odd marker");
  // A hook that throws must not escape into the codec's C code.
  SetPGWarningBoxHook([](const std::string&, const std::string&, TPGBoxButtons) -> bool { throw 1; });
  EXPECT_FALSE(PGCodecWarning(pgwaOKBox, "PNG", "x", error));
  SetPGWarningBoxHook(previous);
}
