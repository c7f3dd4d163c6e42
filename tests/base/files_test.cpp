#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/base/files.h"
#include "platform/base/stream.h"

TEST(Files, ExtensionsSplitAtTheLastDotOfTheName) {
  EXPECT_EQ(ExtractFileExt("/a.b/file"), "");
  EXPECT_EQ(ExtractFileExt("/a.b/file.GIF"), ".GIF");
  EXPECT_EQ(ExtractFileExt("x.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileName("/a.b/file.gif"), "file.gif");
  EXPECT_EQ(ExtractFilePath("/a.b/file.gif"), "/a.b/");
  EXPECT_EQ(ExtractFilePath("file.gif"), "");
  EXPECT_EQ(ChangeFileExt("/a.b/file", ".bmp"), "/a.b/file.bmp");
  EXPECT_EQ(ChangeFileExt("/a.b/file.gif", ".bmp"), "/a.b/file.bmp");
}

TEST(Files, RenameNeverReplacesAnExistingTarget) {
  std::string dir = std::string(QUILLON_BUILD_DIR) + "/files_test";
  ASSERT_TRUE(ForceDirectories(dir + "/sub"));
  std::string a = dir + "/a", b = dir + "/b";
  TMemoryStream m;
  m.WriteBuffer("A", 1);
  m.SaveToFile(a);
  m.SetSize(0);
  m.WriteBuffer("B", 1);
  m.SaveToFile(b);
  EXPECT_FALSE(RenameFile(a, b));
  EXPECT_TRUE(FileExists(a));
  TMemoryStream r;
  r.LoadFromFile(b);
  EXPECT_EQ(r.Memory()[0], 'B');
  EXPECT_TRUE(DeleteFile(b));
  EXPECT_TRUE(RenameFile(a, b));
  EXPECT_FALSE(FileExists(a));
  EXPECT_TRUE(FileExists(b));
  EXPECT_FALSE(FileExists(dir));  // a folder is no file
  DeleteFile(b);
}

TEST(Files, UserConfigFolderFollowsXdg) {
  std::string dir = std::string(QUILLON_BUILD_DIR) + "/xdg";
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  EXPECT_EQ(UserConfigFolder(), dir + "/quillon/");
  EXPECT_TRUE(DirectoryExists(dir + "/quillon"));
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_FALSE(ProgramFolder().empty());
}
