// Saving through every writer of the registries onto a disk that fills up:
// the save fails, the file that was there stays byte for byte and no
// temporary file is left, whether or not the writer checks its writes (the
// GIF encoder does not).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "gif/gif_read_write.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/exception.h"
#include "platform/base/settings.h"
#include "platform/gdi/bitmap.h"
#include "tests/small_disk.h"

namespace {

class SaveFailure : public ::testing::Test {
protected:
  void SetUp() override {
    IgnoreFileSizeSignal();  // as the programs' start-up does
    PGraphicInitialization();
    GIFReadWriteInitialization();
    Image.NewImage(96, 64, pf24Bit);
    for (int32_t y = 0; y < 64; ++y)
      for (int32_t x = 0; x < 96; ++x) Image.SetPixelColor(x, y, static_cast<TColor>(x * 2 | (y * 3) << 8 | 0x400000));
    Image.SetSaveColorResWarningAction(pgwaIgnore);
  }
  void TearDown() override {
    GIFReadWriteFinalization();
    PGraphicFinalization();
  }
  std::vector<std::string> Extensions() {
    std::vector<std::string> all;
    for (int32_t i = 0; i < FileFormatWriters->Count(); ++i) all.push_back(FileFormatWriters->Items(i)->Extension());
    return all;
  }
  // Saves into Dir over an existing file of each extension and as a new
  // file; both must fail and leave the folder as it was.
  void ExpectEveryWriterFails(const std::string& Dir) {
    const std::vector<uint8_t> original = {'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'};
    for (const std::string& ext : Extensions()) {
      SCOPED_TRACE(ext);
      const std::string old = Dir + "old." + ext;
      if (ReadWholeFile(old).empty()) WriteWholeFile(old, original);
      const std::set<std::string> before = FolderNames(Dir);
      EXPECT_THROW(Image.SaveToFile(old), Exception);
      EXPECT_EQ(ReadWholeFile(old), original);
      EXPECT_THROW(Image.SaveToFile(Dir + "new." + ext), Exception);
      EXPECT_EQ(FolderNames(Dir), before);
    }
  }
  TPixelGraphic Image;
};

// A stream that takes Limit bytes and then refuses, as a full disk does.
class TFullStream : public TMemoryStream {
public:
  explicit TFullStream(int64_t Limit) : FLimit(Limit) {}
  int64_t Write(const void* Buffer, int64_t Count) override {
    const int64_t room = std::max<int64_t>(0, FLimit - Position());
    return TMemoryStream::Write(Buffer, std::min(Count, room));
  }

private:
  int64_t FLimit;
};

TEST_F(SaveFailure, EveryWriterFailsOnAFullDiskAndKeepsTheOriginal) {
  TSmallDisk disk(256);
  QUILLON_NEED_SMALL_DISK(disk);
  // The originals first, then the disk is filled up.
  for (const std::string& ext : Extensions())
    WriteWholeFile(disk.Dir() + "old." + ext, {'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'});
  disk.Fill();
  ExpectEveryWriterFails(disk.Dir());

  // The class library's bitmap save goes the same way.
  TBitmap bitmap;
  Image.AssignToGraphic(&bitmap);
  EXPECT_THROW(bitmap.SaveToFile(disk.Dir() + "old.bmp"), EWriteError);
  EXPECT_EQ(ReadWholeFile(disk.Dir() + "old.bmp"), std::vector<uint8_t>({'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'}));
}

TEST_F(SaveFailure, EveryWriterFailsWhenWritesStopAfterAFewBytes) {
  char tmpl[] = "/tmp/quillon_full_XXXXXX";
  const std::string dir = std::string(mkdtemp(tmpl)) + "/";
  {
    TFileSizeLimit limit(100);
    ExpectEveryWriterFails(dir);
  }
  // Saving to a stream: the writes are counted there too.
  for (const std::string& ext : Extensions()) {
    SCOPED_TRACE(ext);
    TFullStream full(100);
    EXPECT_THROW(Image.SaveToStreamAs(full, ext), Exception);
  }
  std::string cmd = "rm -rf '" + dir + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

}  // namespace
