// The settings file and the command line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/base/files.h"
#include "platform/base/settings.h"

namespace {

std::string TempFolder() {
  char tmpl[] = "/tmp/quillon_settings_XXXXXX";
  return IncludeTrailingPathDelimiter(mkdtemp(tmpl));
}

TEST(SettingsFile, DefaultsWritesAndAFlushThatSurvivesReopening) {
  std::string dir = TempFolder();
  std::string name = dir + "new folder/quillonpro.cfg";
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
  std::string cmd = "rm -rf '" + dir + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(SettingsFile, UnreadableValuesGiveTheDefault) {
  std::string dir = TempFolder();
  std::string name = dir + "s.cfg";
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
  // A file that cannot be written reports it.
  TSettingsFile bad("/proc/quillon/s.cfg");
  bad.WriteInteger("a", 1);
  EXPECT_FALSE(bad.UpdateFile());
  std::string cmd = "rm -rf '" + dir + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
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
