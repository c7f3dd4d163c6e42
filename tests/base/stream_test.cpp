#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/base/exception.h"
#include "platform/base/files.h"
#include "platform/base/stream.h"

TEST(MemoryStream, ReadWriteSeekAndShortReads) {
  TMemoryStream m;
  const char text[] = "abcdef";
  m.WriteBuffer(text, 6);
  EXPECT_EQ(m.Size(), 6);
  EXPECT_EQ(m.Position(), 6);
  m.SetPosition(2);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 4);  // only what is left
  EXPECT_EQ(std::string(buf, 4), "cdef");
  m.SetPosition(4);
  EXPECT_THROW(m.ReadBuffer(buf, 3), EReadError);
  m.Seek(-1, soEnd);
  m.WriteBuffer("XYZ", 3);  // grows from inside
  EXPECT_EQ(std::string(reinterpret_cast<char*>(m.Memory()), m.Size()), "abcdeXYZ");
  m.SetSize(3);
  EXPECT_EQ(m.Position(), 3);
  m.SetPosition(5);  // past the end: the gap reads as zeros
  m.WriteBuffer("Q", 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(m.Memory()), m.Size()), std::string("abc\0\0Q", 6));
}

TEST(FileStream, CreateOpenCopyAndErrors) {
  std::string name = std::string(QUILLON_BUILD_DIR) + "/stream_test.bin";
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("hello world", 11);
  }
  {
    TFileStream f(name, fmOpenRead);
    EXPECT_EQ(f.Size(), 11);
    TMemoryStream m;
    f.SetPosition(6);
    m.CopyFrom(f, 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m.Memory()), 5), "world");
    EXPECT_EQ(m.CopyFrom(f, 0), 11);  // 0 copies all from the start
    char c;
    EXPECT_THROW(f.ReadBuffer(&c, 1), EReadError);
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);  // read-only
  }
  EXPECT_THROW(TFileStream("/nonexistent/dir/file", fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream("/nonexistent/dir/file", fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream(QUILLON_BUILD_DIR, fmOpenRead), EFOpenError);  // a folder
  DeleteFile(name);
}
