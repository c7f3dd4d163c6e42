// SafeWriteFile: a failed save keeps the person's file byte for byte and
// leaves no temporary file; a good one keeps the file's mode, owner and links.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/exception.h"
#include "platform/base/files.h"
#include "platform/base/safe_write.h"
#include "platform/base/settings.h"
#include "platform/base/stream.h"
#include "tests/small_disk.h"

namespace {

class SafeWrite : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillon_safe_XXXXXX";
    Dir = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
    ::chmod(Dir.c_str(), 0755);
  }
  void TearDown() override {
    ::chmod(Dir.c_str(), 0755);
    std::string cmd = "rm -rf '" + Dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string Dir;
};

std::vector<uint8_t> Content(size_t Size, uint8_t Seed) {
  std::vector<uint8_t> v(Size);
  for (size_t i = 0; i < Size; ++i) v[i] = static_cast<uint8_t>(Seed + i * 7);
  return v;
}

void Save(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  SafeWriteFile(Name, Bytes.data(), static_cast<int64_t>(Bytes.size()));
}

std::string MessageOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(no exception)";
}

// Runs Body as an unprivileged user (a child process when the test runs as
// root, so that permissions apply); true when Body returned true.
bool AsUnprivileged(const std::function<bool()>& Body) {
  if (::geteuid() != 0) return Body();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    ::_exit(Body() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(SafeWrite, AFullDiskKeepsTheOriginalAndLeavesNoTemporaryFile) {
  TSmallDisk disk(64);
  QUILLON_NEED_SMALL_DISK(disk);
  const std::string pic = disk.Dir() + "pic.gif";
  const std::vector<uint8_t> original = Content(8000, 1);
  Save(pic, original);
  disk.Fill();
  const std::vector<uint8_t> bigger = Content(40000, 2);

  EXPECT_EQ(MessageOf([&] { Save(pic, bigger); }),
            "Cannot create file \"" + pic + "\": No space left on device");
  EXPECT_EQ(ReadWholeFile(pic), original);
  TMemoryStream m;
  m.WriteBuffer(bigger.data(), static_cast<int64_t>(bigger.size()));
  EXPECT_THROW(m.SaveToFile(pic), EWriteError);
  EXPECT_EQ(ReadWholeFile(pic), original);
  // A new file is not left behind half written, nor empty.
  EXPECT_THROW(Save(disk.Dir() + "new.gif", bigger), EStreamError);
  EXPECT_EQ(FolderNames(disk.Dir()), (std::set<std::string>{"filler", "pic.gif"}));
}

TEST_F(SafeWrite, AFileThatStopsGrowingFailsTheSaveTheSameWay) {
  const std::string pic = Dir + "pic.bmp";
  const std::vector<uint8_t> original = Content(500, 3);
  Save(pic, original);
  {
    TFileSizeLimit limit(1000);
    EXPECT_EQ(MessageOf([&] { Save(pic, Content(5000, 4)); }),
              "Cannot create file \"" + pic + "\": File too large");
    // A writer that checks nothing itself: the stream notices for it.
    EXPECT_THROW(SafeWriteFile(pic,
                               [](TStream& S) {
                                 const std::vector<uint8_t> b = Content(3000, 5);
                                 S.Write(b.data(), 3000);
                               }),
                 EWriteError);
    EXPECT_THROW(Save(Dir + "new.bmp", Content(5000, 4)), EWriteError);
  }
  EXPECT_EQ(ReadWholeFile(pic), original);
  // A writer that fails on its own ends the save the same way.
  EXPECT_THROW(SafeWriteFile(pic, [](TStream& S) {
                 S.WriteBuffer("partial", 7);
                 throw EConvertError("encoder failed");
               }),
               EConvertError);
  EXPECT_EQ(ReadWholeFile(pic), original);
  EXPECT_EQ(FolderNames(Dir), (std::set<std::string>{"pic.bmp"}));
}

TEST_F(SafeWrite, KeepsModeOwnerAndLinks) {
  const std::string pic = Dir + "pic.png";
  Save(pic, Content(100, 1));
  ::chmod(pic.c_str(), 0640);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(pic.c_str(), 1234, 5678), 0);
  }
  Save(pic, Content(200, 2));
  struct stat st {};
  ASSERT_EQ(::stat(pic.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 5678u);
  }
  EXPECT_EQ(ReadWholeFile(pic), Content(200, 2));

  // A symbolic link stays a link; the file it names gets the content.
  ASSERT_EQ(::symlink("pic.png", (Dir + "link.png").c_str()), 0);
  Save(Dir + "link.png", Content(300, 3));
  ASSERT_EQ(::lstat((Dir + "link.png").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadWholeFile(pic), Content(300, 3));

  // Hard links all see the new content; a failing writer changes none.
  ASSERT_EQ(::link(pic.c_str(), (Dir + "other.png").c_str()), 0);
  Save(pic, Content(50, 4));
  EXPECT_EQ(ReadWholeFile(Dir + "other.png"), Content(50, 4));
  EXPECT_THROW(SafeWriteFile(pic, [](TStream& S) {
                 S.WriteBuffer("x", 1);
                 throw EConvertError("encoder failed");
               }),
               EConvertError);
  EXPECT_EQ(ReadWholeFile(Dir + "other.png"), Content(50, 4));
  EXPECT_EQ(FolderNames(Dir), (std::set<std::string>{"link.png", "other.png", "pic.png"}));
}

TEST_F(SafeWrite, ErrorTextsNameTheFileAndTheSystemsReason) {
  const std::string missing = Dir + "no folder/a.gif";
  EXPECT_EQ(MessageOf([&] { Save(missing, Content(10, 1)); }),
            "Cannot create file \"" + missing + "\": No such file or directory");
  EXPECT_EQ(MessageOf([&] { Save(Dir, Content(10, 1)); }),
            "Cannot create file \"" + Dir + "\": Is a directory");

  // A folder that refuses new files.
  ASSERT_EQ(::mkdir((Dir + "locked").c_str(), 0555), 0);
  const std::string locked = Dir + "locked/a.gif";
  EXPECT_TRUE(AsUnprivileged([&] {
    return MessageOf([&] { Save(locked, Content(10, 1)); }) ==
           "Cannot create file \"" + locked + "\": Permission denied";
  }));

  TSmallDisk disk(64);
  if (disk.Mounted()) {
    const std::string pic = disk.Dir() + "pic.gif";
    Save(pic, Content(10, 1));
    ASSERT_TRUE(disk.MakeReadOnly());
    EXPECT_EQ(MessageOf([&] { Save(pic, Content(10, 2)); }),
              "Cannot create file \"" + pic + "\": Read-only file system");
    EXPECT_EQ(ReadWholeFile(pic), Content(10, 1));
  }
}

TEST_F(SafeWrite, WritesInPlaceWhereTheFolderRefusesNewFilesButTheFileIsWritable) {
  ASSERT_EQ(::mkdir((Dir + "shared").c_str(), 0755), 0);
  const std::string pic = Dir + "shared/pic.gif";
  Save(pic, Content(100, 1));
  ::chmod(pic.c_str(), 0666);
  ::chmod((Dir + "shared").c_str(), 0555);
  EXPECT_TRUE(AsUnprivileged([&] {
    // A failing writer leaves the file untouched: nothing is written before
    // the content is complete.
    try {
      SafeWriteFile(pic, [](TStream& S) {
        S.WriteBuffer("x", 1);
        throw EConvertError("encoder failed");
      });
      return false;
    } catch (const EConvertError&) {
    }
    if (ReadWholeFile(pic) != Content(100, 1)) return false;
    Save(pic, Content(60, 2));
    return ReadWholeFile(pic) == Content(60, 2);
  }));
  EXPECT_EQ(ReadWholeFile(pic), Content(60, 2));
  EXPECT_EQ(FolderNames(Dir + "shared"), (std::set<std::string>{"pic.gif"}));
  ::chmod((Dir + "shared").c_str(), 0755);
}

// The settings file goes through the same routine.
TEST_F(SafeWrite, SettingsKeepTheirLinkAndNeedNoFixedTemporaryName) {
  const std::string real = Dir + "real.cfg";
  const std::string cfg = Dir + "quillonpro.cfg";
  ASSERT_EQ(::symlink("real.cfg", cfg.c_str()), 0);
  // Where a fixed temporary name would be taken, writing still works.
  ASSERT_EQ(::mkdir((cfg + ".tmp").c_str(), 0755), 0);
  TSettingsFile s(cfg);
  s.WriteInteger("TipIndex", 7);
  EXPECT_TRUE(s.UpdateFile());
  struct stat st {};
  ASSERT_EQ(::lstat(cfg.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(TSettingsFile(real).ReadInteger("TipIndex", 0), 7);
  {
    TFileSizeLimit limit(4);
    s.WriteString("WorkingDir", "/a/folder/longer/than/the/limit");
    EXPECT_FALSE(s.UpdateFile());
  }
  EXPECT_EQ(TSettingsFile(real).ReadInteger("TipIndex", 0), 7);
  EXPECT_FALSE(TSettingsFile(real).KeyExists("WorkingDir"));
}

}  // namespace
