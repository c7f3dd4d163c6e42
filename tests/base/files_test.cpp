#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/base/files.h"
#include "platform/base/stream.h"
#include "tests/small_disk.h"

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

// The per-user folders: the XDG variables when they are absolute paths,
// else the home folder ($HOME, else the password database's), never a folder
// other users share; each created readable by the person only.
TEST(Files, PerUserFoldersFollowXdgAndTheHomeFolder) {
  char tmpl[] = "/tmp/quillon_home_XXXXXX";
  const std::string base = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
  const char* oldHome = std::getenv("HOME");
  const std::string home = oldHome ? oldHome : "";
  setenv("HOME", (base + "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (base + "xdg").c_str(), 1);
  EXPECT_EQ(UserConfigFolder(), base + "xdg/quillon/");
  struct stat st {};
  for (const std::string& made : {base + "xdg", base + "xdg/quillon"}) {
    ASSERT_EQ(::stat(made.c_str(), &st), 0) << made;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
  }
  setenv("XDG_CONFIG_HOME", "relative/xdg", 1);  // ignored, as the XDG rules say
  EXPECT_EQ(UserConfigFolder(), base + "home/.config/quillon/");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(UserConfigFolder(), base + "home/.config/quillon/");
  EXPECT_EQ(UserCacheFolder(), base + "home/.cache/quillon/");

  // The runtime folder counts only when it is private.
  ASSERT_EQ(::mkdir((base + "run").c_str(), 0700), 0);
  setenv("XDG_RUNTIME_DIR", (base + "run").c_str(), 1);
  EXPECT_EQ(UserRuntimeFolder(), base + "run/quillon/");
  ::chmod((base + "run").c_str(), 0755);
  EXPECT_EQ(UserRuntimeFolder(), base + "home/.cache/quillon/");
  unsetenv("XDG_RUNTIME_DIR");

  // Without HOME: the password database's home folder of the person.
  unsetenv("HOME");
  EXPECT_TRUE(AsUnprivileged([] {
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && UserConfigFolder() == std::string(pw->pw_dir) + "/.config/quillon/";
  }));
  if (oldHome) setenv("HOME", home.c_str(), 1);
  EXPECT_FALSE(ProgramFolder().empty());
  std::string cmd = "rm -rf '" + base + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}
