// The settings file and the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/base/files.h"
#include "platform/base/settings.h"
#include "tests/small_disk.h"

namespace {

// Each test's settings files live in a folder of its own, deleted after it.
class SettingsFile : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillon_settings_XXXXXX";
    Dir = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
  }
  void TearDown() override {
    const std::string cmd = "rm -rf '" + Dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string Dir;
};

TEST_F(SettingsFile, DefaultsWritesAndAFlushThatSurvivesReopening) {
  std::string name = Dir + "new folder/quillonpro.cfg";
  {
    TSettingsFile s(name);  // neither the file nor its folder exists yet
    EXPECT_EQ(s.ReadInteger("WindowState", 0), 0);
    EXPECT_EQ(s.ReadString("ShowTips", "FALSE"), "FALSE");
    s.WriteString("WorkingDir", "/home/me/pictures/");
    s.WriteInteger("WindowState", 2);
    s.WriteInteger("left", -8);
    s.WriteInteger("bgcolor", 16777215);
    s.WriteString("ShowTips", "TRUE");
    s.WriteString("Note", "two\nlines");  // a value stays on its line
    EXPECT_TRUE(s.Modified());
    EXPECT_TRUE(s.UpdateFile());
    EXPECT_FALSE(s.Modified());
  }
  TSettingsFile t(name);
  EXPECT_EQ(t.ReadString("WorkingDir", ""), "/home/me/pictures/");
  EXPECT_EQ(t.ReadInteger("windowstate", 0), 2);  // keys ignore case
  EXPECT_EQ(t.ReadInteger("left", 0), -8);
  EXPECT_EQ(t.ReadInteger("bgcolor", 0), 16777215);
  EXPECT_EQ(t.ReadString("ShowTips", "FALSE"), "TRUE");
  EXPECT_EQ(t.ReadString("Note", ""), "twolines");
  EXPECT_FALSE(t.KeyExists("top"));
  EXPECT_EQ(t.ReadInteger("top", 172), 172);
}

TEST_F(SettingsFile, UnreadableValuesGiveTheDefault) {
  std::string name = Dir + "s.cfg";
  std::ofstream(name) << "width=wide\r\nheight=99999999999\ntop= 12 \n# a comment=1\nno equals sign\n=orphan\nTipIndex=3\nTipIndex=4\n";
  TSettingsFile s(name);
  EXPECT_EQ(s.ReadInteger("width", 563), 563);
  EXPECT_EQ(s.ReadInteger("height", 395), 395);
  EXPECT_EQ(s.ReadInteger("top", 0), 12);
  EXPECT_FALSE(s.KeyExists("# a comment"));
  EXPECT_EQ(s.ReadInteger("TipIndex", 0), 3);  // the first of a repeated key
  EXPECT_TRUE(s.ReadBool("TipIndex", false));
  // A key deleted in the middle goes; the keys after it stay as they were,
  // read, written and saved.
  s.DeleteKey("top");
  EXPECT_FALSE(s.KeyExists("top"));
  EXPECT_EQ(s.ReadInteger("top", 7), 7);
  EXPECT_EQ(s.ReadInteger("TipIndex", 0), 3);
  s.WriteInteger("TipIndex", 5);
  EXPECT_EQ(s.ReadInteger("TipIndex", 0), 5);
  ASSERT_TRUE(s.UpdateFile());
  TSettingsFile saved(name);
  EXPECT_FALSE(saved.KeyExists("top"));
  EXPECT_EQ(saved.ReadString("width", ""), "wide");
  EXPECT_EQ(saved.ReadInteger("TipIndex", 0), 5);
  // Deleting a repeated key takes every line of it.
  saved.DeleteKey("TipIndex");
  EXPECT_FALSE(saved.KeyExists("TipIndex"));
  // A file that cannot be written reports it.
  TSettingsFile bad("/proc/quillon/s.cfg");
  bad.WriteInteger("a", 1);
  EXPECT_FALSE(bad.UpdateFile());
  // Without a per-user folder there is no file, and the reason says so.
  TSettingsFile none("");
  none.WriteInteger("a", 1);
  EXPECT_FALSE(none.UpdateFile());
  EXPECT_EQ(none.Error(), "There is no folder for the settings file: no home folder is set");
}

std::string TextOf(const std::string& Name) {
  const std::vector<uint8_t> bytes = ReadWholeFile(Name);
  return std::string(bytes.begin(), bytes.end());
}

// A settings file that cannot be read gives the defaults and says why, and
// is never written over, not even with the keys just written (a folder or a
// pipe in its place: see the full edition's start-up).
TEST_F(SettingsFile, AFileThatCannotBeReadIsNeverWrittenOver) {
  const std::string name = Dir + "quillonpro.cfg";
  // Six keys that the person may write but not read.
  std::ofstream(name) << "WorkingDir=/pictures/\nWindowState=0\nleft=1\ntop=2\nwidth=3\nheight=4\n";
  const std::string six = TextOf(name);
  ::chmod(Dir.c_str(), 0777);
  ::chmod(name.c_str(), 0222);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(name.c_str(), 65534, 65534), 0);
  }
  EXPECT_TRUE(AsUnprivileged([&] {
    TSettingsFile s(name);
    s.WriteInteger("TipIndex", 5);
    const bool written = s.UpdateFile();
    return !written && s.Error() == "Cannot read file \"" + name + "\": Permission denied";
  }));
  EXPECT_EQ(TextOf(name), six);
}

// Two processes that each add 300 keys, each reading, changing and writing
// the file, keep all 600: each writes what it changed into the file as the
// other left it. A key one of them deleted stays deleted.
TEST_F(SettingsFile, TwoProcessesKeepEachOthersKeys) {
  const std::string name = Dir + "quillonpro.cfg";
  std::ofstream(name) << "Shared=0\nGone=1\n";
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = ::fork();
    if (children[p] == 0) {
      TSettingsFile s(name);
      if (p == 0) s.DeleteKey("Gone");
      for (int i = 0; i < 300; ++i) {
        s.WriteInteger("p" + std::to_string(p) + "_" + std::to_string(i), i);
        if (!s.UpdateFile()) ::_exit(1);
      }
      ::_exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  TSettingsFile s(name);
  int kept = 0;
  for (int p = 0; p < 2; ++p)
    for (int i = 0; i < 300; ++i) kept += s.ReadInteger("p" + std::to_string(p) + "_" + std::to_string(i), -1) == i;
  EXPECT_EQ(kept, 600);
  EXPECT_TRUE(s.KeyExists("Shared"));
  EXPECT_FALSE(s.KeyExists("Gone"));
}

// Comments, blank lines and lines without "=" stay where they stand; so do
// the line ends of lines that were not changed.
TEST_F(SettingsFile, LinesWithoutKeysStayWhereTheyStand) {
  const std::string name = Dir + "quillonpro.cfg";
  std::ofstream(name) << "; window\r\nleft=10\r\n# size\nwidth=500\n\nno equals sign\nheight=300\ntop=5\n";
  TSettingsFile s(name);
  s.WriteInteger("width", 520);
  s.DeleteKey("height");
  s.WriteInteger("bgcolor", 255);
  EXPECT_TRUE(s.UpdateFile());
  EXPECT_EQ(TextOf(name), "; window\r\nleft=10\r\n# size\nwidth=520\n\nno equals sign\ntop=5\nbgcolor=255\n");
}

TEST(CommandLine, CountsArgumentsAndGivesEmptyOutOfRange) {
  const char* argv[] = {"quillonpro", "/tmp/a picture.bmp", "second"};
  SetCommandLine(3, argv);
  EXPECT_EQ(ParamCount(), 2);
  EXPECT_EQ(ParamStr(1), "/tmp/a picture.bmp");
  EXPECT_EQ(ParamStr(2), "second");
  EXPECT_EQ(ParamStr(3), "");
  EXPECT_EQ(ParamStr(-1), "");
  EXPECT_TRUE(FileExists(ParamStr(0)));  // the running program itself
  SetCommandLine(std::vector<std::string>{"quillon"});
  EXPECT_EQ(ParamCount(), 0);
  SetCommandLine(0, nullptr);
  EXPECT_EQ(ParamCount(), 0);
}

}  // namespace
