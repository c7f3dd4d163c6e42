// SafeWriteFile: a failed save keeps the person's file byte for byte and
// leaves no temporary file, also when the process is killed half-way; a good
// one keeps the file's mode, owner and links; what the system would refuse to
// a plain open() (also to another user's tricks) is refused.
#include <gtest/gtest.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
    IgnoreFileSizeSignal();  // as the programs' start-up does
    char tmpl[] = "/tmp/quillon_safe_XXXXXX";
    Dir = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
    ::chmod(Dir.c_str(), 0755);
    // The cache folder, where in-place saves keep old content when the
    // target's folder refuses new files; any user of the tests may use it.
    char cache[] = "/tmp/quillon_cache_XXXXXX";
    Cache = IncludeTrailingPathDelimiter(mkdtemp(cache));
    ::chmod(Cache.c_str(), 01777);
    setenv("XDG_CACHE_HOME", Cache.c_str(), 1);
  }
  void TearDown() override {
    SetSafeWriteFaultHook(nullptr);
    unsetenv("XDG_CACHE_HOME");
    ::chmod(Dir.c_str(), 0755);
    std::string cmd = "rm -rf '" + Dir + "' '" + Cache + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string Dir;
  std::string Cache;
};

std::vector<uint8_t> Content(size_t Size, uint8_t Seed) {
  std::vector<uint8_t> v(Size);
  for (size_t i = 0; i < Size; ++i) v[i] = static_cast<uint8_t>(Seed + i * 7);
  return v;
}

void Save(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  SafeWriteFile(Name, Bytes.data(), static_cast<int64_t>(Bytes.size()));
}

// A writer that fails on its own (an encoder raising) after its first bytes.
void FailingWriter(TStream& S) {
  S.WriteBuffer("partial", 7);
  throw EConvertError("encoder failed");
}

std::string MessageOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(no exception)";
}

// Fails Call on File once with EIO (a Write only from 1 MB into its file on),
// and with Named makes the save use a named temporary file.
TSafeWriteFaultHook FailOnce(TSafeWriteCall Call, TSafeWriteFile File, bool Named = false) {
  return [Call, File, Named, failed = false](TSafeWriteCall C, TSafeWriteFile F, int64_t Offset) mutable {
    if (Named && C == TSafeWriteCall::UnnamedFile) return EOPNOTSUPP;
    if (failed || C != Call || F != File || (C == TSafeWriteCall::Write && Offset < (1 << 20))) return 0;
    failed = true;
    return EIO;
  };
}

// Makes the save use named temporary files, as on a file system without
// unnamed ones.
TSafeWriteFaultHook NamedFilesOnly() {
  return [](TSafeWriteCall C, TSafeWriteFile, int64_t) { return C == TSafeWriteCall::UnnamedFile ? EOPNOTSUPP : 0; };
}

// The names in Dir with Suffix.
std::vector<std::string> NamesEndingIn(const std::string& Dir, const std::string& Suffix) {
  std::vector<std::string> names;
  for (const std::string& n : FolderNames(Dir))
    if (n.size() > Suffix.size() && n.compare(n.size() - Suffix.size(), Suffix.size(), Suffix) == 0) names.push_back(n);
  return names;
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
  // Written in place (the file has a second link): the same.
  ASSERT_EQ(::link(pic.c_str(), (disk.Dir() + "other.gif").c_str()), 0);
  EXPECT_EQ(MessageOf([&] { Save(pic, bigger); }),
            "Cannot create file \"" + pic + "\": No space left on device");
  EXPECT_EQ(ReadWholeFile(pic), original);
  EXPECT_EQ(FolderNames(disk.Dir()), (std::set<std::string>{"filler", "other.gif", "pic.gif"}));
}

// Every call a disk can fail, on each road a save takes: the failure ends
// the save with the system's reason, the target and its other link hold the
// original byte for byte, and nothing else is left in the folder.
TEST_F(SafeWrite, EveryFailingCallKeepsTheOriginal) {
  using C = TSafeWriteCall;
  using F = TSafeWriteFile;
  struct TCase {
    C Call;
    F File;
    bool InPlace;
    bool Named;
  };
  const TCase cases[] = {
      // A new file renamed over the target: unnamed until complete, or named.
      {C::Write, F::NewContent, false, false}, {C::Sync, F::NewContent, false, false},
      {C::Link, F::NewContent, false, false}, {C::Close, F::NewContent, false, false},
      {C::Rename, F::NewContent, false, false}, {C::Write, F::NewContent, false, true},
      {C::Sync, F::NewContent, false, true}, {C::Close, F::NewContent, false, true},
      {C::Rename, F::NewContent, false, true},
      // In place: the copy of the old content, then the target itself.
      {C::Write, F::Backup, true, false}, {C::Sync, F::Backup, true, false}, {C::Link, F::Backup, true, false},
      {C::Rename, F::Backup, true, true}, {C::Write, F::Target, true, false}, {C::Sync, F::Target, true, false},
      {C::Close, F::Target, true, false}, {C::Write, F::Target, true, true},
  };
  const std::string pic = Dir + "pic.bmp", other = Dir + "other.bmp";
  const std::vector<uint8_t> original = Content(3 << 19, 1), replacement = Content((3 << 19) + 5, 2);
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "call " << static_cast<int>(c.Call) << ", file " << static_cast<int>(c.File)
                                    << (c.Named ? ", named" : ""));
    Save(pic, original);
    if (c.InPlace) {
      ASSERT_EQ(::link(pic.c_str(), other.c_str()), 0);
    }
    SetSafeWriteFaultHook(FailOnce(c.Call, c.File, c.Named));
    EXPECT_EQ(MessageOf([&] { Save(pic, replacement); }), "Cannot create file \"" + pic + "\": Input/output error");
    SetSafeWriteFaultHook(nullptr);
    EXPECT_EQ(ReadWholeFile(pic), original);
    const std::set<std::string> left = FolderNames(Dir);
    if (c.InPlace) {
      EXPECT_EQ(ReadWholeFile(other), original);
      EXPECT_EQ(left, (std::set<std::string>{"other.bmp", "pic.bmp"}));
    } else {
      EXPECT_EQ(left, (std::set<std::string>{"pic.bmp"}));
    }
    ::unlink(other.c_str());
  }
}

// A save killed half-way: on the usual road nothing is left beside the
// target (a named temporary file is removed by the next save); written in
// place, the target holds the old or the new content, or the old content is
// kept beside it and the next save of the target puts it back first.
TEST_F(SafeWrite, AKilledSaveLeavesNoTemporaryFileAndNoMixedContent) {
  const std::string pic = Dir + "pic.bmp", other = Dir + "other.bmp";
  const std::vector<uint8_t> original = Content(1 << 20, 1);
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named" : "unnamed");
    Save(pic, original);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      if (named) SetSafeWriteFaultHook(NamedFilesOnly());
      SafeWriteFile(pic, [&](TStream& S) {
        S.WriteBuffer(original.data(), 1 << 19);
        (void)!::write(ready[1], "k", 1);
        ::pause();
      });
      ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(ReadWholeFile(pic), original);
    EXPECT_EQ(FolderNames(Dir).size(), named ? 2u : 1u);
    Save(pic, Content(10, 2));
    EXPECT_EQ(FolderNames(Dir), (std::set<std::string>{"pic.bmp"}));
  }

  const std::vector<uint8_t> before = Content(12 << 20, 3), after = Content(12 << 20, 4);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    Save(pic, before);
    ASSERT_EQ(::link(pic.c_str(), other.c_str()), 0);
    const int watch = ::open(pic.c_str(), O_RDONLY);
    const pid_t child = ::fork();
    if (child == 0) {
      Save(pic, after);
      ::_exit(0);
    }
    // Killed as soon as the target's first bytes change (or at once in a
    // later round), while the rest of it is being written.
    uint8_t head[4096];
    while (round < 2 && ::pread(watch, head, sizeof(head), 0) == sizeof(head) &&
           std::equal(head, head + sizeof(head), before.begin()) && ::waitpid(child, nullptr, WNOHANG) == 0) {
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(watch);
    const std::vector<uint8_t> left = ReadWholeFile(pic);
    const std::vector<std::string> kept = NamesEndingIn(Dir, ".keep");
    if (left != before && left != after) {
      ASSERT_EQ(kept.size(), 1u) << "a mixed file and no copy of the old content";
      const std::vector<uint8_t> copy = ReadWholeFile(Dir + kept[0]);
      EXPECT_TRUE(copy.size() >= before.size() && std::equal(before.begin(), before.end(), copy.begin()));
    }
    // The next save, even one that fails, begins by putting the old back.
    EXPECT_THROW(SafeWriteFile(pic, FailingWriter), EConvertError);
    const std::vector<uint8_t> now = ReadWholeFile(pic);
    EXPECT_TRUE(now == before || now == after);
    EXPECT_EQ(ReadWholeFile(other), now);
    EXPECT_EQ(FolderNames(Dir), (std::set<std::string>{"other.bmp", "pic.bmp"}));
    ::unlink(other.c_str());
  }
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
  EXPECT_THROW(SafeWriteFile(pic, FailingWriter), EConvertError);
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
  EXPECT_THROW(SafeWriteFile(pic, FailingWriter), EConvertError);
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

  // A write-protected file, in a folder the person may write, is refused as
  // open() would refuse it, though a rename could replace it.
  ASSERT_EQ(::mkdir((Dir + "mine").c_str(), 0755), 0);
  const std::string ro = Dir + "mine/ro.gif";
  Save(ro, Content(10, 1));
  ::chmod(ro.c_str(), 0444);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((Dir + "mine").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(ro.c_str(), 65534, 65534), 0);
  }
  EXPECT_TRUE(AsUnprivileged([&] {
    return MessageOf([&] { Save(ro, Content(10, 2)); }) == "Cannot create file \"" + ro + "\": Permission denied";
  }));
  EXPECT_EQ(ReadWholeFile(ro), Content(10, 1));

  // A pipe or a device is refused at once, without waiting for a reader.
  const std::string pipe = Dir + "pipe.gif";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
  {
    TPipeRescue rescue(pipe);
    EXPECT_EQ(MessageOf([&] { Save(pipe, Content(10, 1)); }),
              "Cannot create file \"" + pipe + "\": Not a regular file");
    rescue.Done();
    EXPECT_FALSE(rescue.Rescued());
  }
  EXPECT_EQ(MessageOf([&] { Save("/dev/null", Content(10, 1)); }),
            "Cannot create file \"/dev/null\": Not a regular file");

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
      SafeWriteFile(pic, FailingWriter);
      return false;
    } catch (const EConvertError&) {
    }
    if (ReadWholeFile(pic) != Content(100, 1)) return false;
    Save(pic, Content(60, 2));
    return ReadWholeFile(pic) == Content(60, 2);
  }));
  EXPECT_EQ(ReadWholeFile(pic), Content(60, 2));
  EXPECT_EQ(FolderNames(Dir + "shared"), (std::set<std::string>{"pic.gif"}));
  // The old content is kept in the person's cache folder meanwhile, and put
  // back when the write fails.
  EXPECT_TRUE(AsUnprivileged([&] {
    SetSafeWriteFaultHook(FailOnce(TSafeWriteCall::Write, TSafeWriteFile::Target));
    try {
      Save(pic, Content(3 << 20, 3));
      return false;
    } catch (const EWriteError&) {
    }
    return ReadWholeFile(pic) == Content(60, 2);
  }));
  EXPECT_EQ(ReadWholeFile(pic), Content(60, 2));
  EXPECT_TRUE(NamesEndingIn(Cache + "quillon", "").empty());
  ::chmod((Dir + "shared").c_str(), 0755);
}

// A folder of the tests' own, in which the unprivileged user of
// AsUnprivileged may make hard links (as root the folder is given to it).
std::string FolderForUnprivileged(const std::string& Dir) {
  const std::string folder = Dir + "pics/";
  EXPECT_EQ(::mkdir(folder.c_str(), 0755), 0);
  if (::geteuid() == 0) {
    EXPECT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  }
  return folder;
}

// Saves Original over Pic and makes the next save of it go in place: Pic
// gets a second link, or its folder refuses new files.
void PrepareInPlace(const std::string& Pic, const std::vector<uint8_t>& Original, bool ReadOnlyFolder) {
  const std::string folder = ExtractFilePath(Pic);
  ::chmod(folder.c_str(), 0755);
  ::unlink((folder + "other.bmp").c_str());
  Save(Pic, Original);
  if (ReadOnlyFolder) ::chmod(folder.c_str(), 0555);
  else (void)!::link(Pic.c_str(), (folder + "other.bmp").c_str());
}

// A save written in place that is killed leaves its file half written; the
// file's next reader, or its next save, or the programs' start (for a copy
// in the cache folder), finds the file as the save left it, puts the old
// content back and says so, once. A save killed before its first write or
// after its last leaves a whole file, and one changed since the kill by
// another program keeps that program's content: the copy never goes back
// over it.
TEST_F(SafeWrite, AnInterruptedSaveInPlaceIsUndoneBeforeTheFileIsRead) {
  const std::string folder = FolderForUnprivileged(Dir), pic = folder + "pic.bmp";
  const std::vector<uint8_t> original = Content((3 << 20) + 5, 1), replacement = Content((3 << 20) + 5, 2);
  const std::vector<uint8_t> edited = Content(1000, 3);
  const std::string told = "The last save of \"" + pic + "\" was interrupted; its earlier content was restored.";
  EXPECT_TRUE(AsUnprivileged([&] {
    bool ok = true;
    auto expect = [&ok](bool Holds, const std::string& What) {
      if (!Holds) {
        ADD_FAILURE() << What;
      }
      ok = ok && Holds;
    };
    for (const bool readOnlyFolder : {false, true}) {
      // Killed before the target's write at each megabyte, or after its
      // close (-1): complete, only the copy not deleted yet.
      for (const int64_t stop : {int64_t(0), int64_t(1) << 20, int64_t(2) << 20, int64_t(3) << 20, int64_t(-1)}) {
        const std::string at = (readOnlyFolder ? "read-only folder, stop " : "hard link, stop ") + std::to_string(stop);
        PrepareInPlace(pic, original, readOnlyFolder);
        expect(KilledInChild([&] {
                 SetSafeWriteFaultHook([stop](TSafeWriteCall C, TSafeWriteFile F, int64_t Offset) {
                   if (F == TSafeWriteFile::Target &&
                       (stop < 0 ? C == TSafeWriteCall::Close : C == TSafeWriteCall::Write && Offset == stop))
                     ::raise(SIGKILL);
                   return 0;
                 });
                 Save(pic, replacement);
               }),
               at + ": the save was not stopped");
        if (stop < 0) {
          WriteWholeFile(pic, edited);  // by another program, in place
          expect(MessageOf([&] { SafeWriteFile(pic, FailingWriter); }) == "encoder failed", at);
        } else if (readOnlyFolder && stop == 2 << 20) {
          RecoverInterruptedSaves();
        }
        TMemoryStream read;
        read.LoadFromFile(pic);
        expect(read.Bytes() == (stop < 0 ? edited : original), at + ": not the content expected");
        expect(TakeRestoredSaveMessages() == (stop > 0 ? std::vector<std::string>{told} : std::vector<std::string>{}),
               at + ": not told once");
        expect(NamesEndingIn(folder, ".keep").empty() && NamesEndingIn(Cache + "quillon", ".keep").empty(),
               at + ": a copy is left");
      }
    }
    ::chmod(folder.c_str(), 0755);
    return ok;
  }));
}

// A disk that keeps failing the target's writes, or its resize: the copy
// of the old content is renamed over the target where it lies beside it
// (the other links keep what the disk left), else it stays where the
// message says, under a name of its own.
TEST_F(SafeWrite, APersistentErrorInPlaceKeepsTheOldContentWhereTheMessageSays) {
  const std::string folder = FolderForUnprivileged(Dir), pic = folder + "pic.bmp";
  const std::vector<uint8_t> original = Content((3 << 19) + 5, 1), replacement = Content(3 << 19, 2);
  const std::string failed = "Cannot create file \"" + pic + "\": Input/output error; ";
  EXPECT_TRUE(AsUnprivileged([&] {
    bool ok = true;
    for (const TSafeWriteCall call : {TSafeWriteCall::Write, TSafeWriteCall::Truncate}) {
      for (const bool readOnlyFolder : {false, true}) {
        PrepareInPlace(pic, original, readOnlyFolder);
        SetSafeWriteFaultHook([call](TSafeWriteCall C, TSafeWriteFile F, int64_t) {
          return C == call && F == TSafeWriteFile::Target ? EIO : 0;
        });
        const std::string message = MessageOf([&] { Save(pic, replacement); });
        SetSafeWriteFaultHook(nullptr);
        const std::string kept = Cache + "quillon/(earlier) pic.bmp";
        const bool right =
            readOnlyFolder
                ? message == failed + "the file was damaged, and its earlier content is kept in \"" + kept + "\"" &&
                      ReadWholeFile(kept) == original && ::unlink(kept.c_str()) == 0
                : message == failed + "its earlier content was put back, but its other links keep the damaged one" &&
                      ReadWholeFile(pic) == original &&
                      FolderNames(folder) == std::set<std::string>{"other.bmp", "pic.bmp"};
        if (!right) {
          ADD_FAILURE() << message;
        }
        ok = ok && right;
      }
    }
    ::chmod(folder.c_str(), 0755);
    return ok;
  }));
}

// Two saves of one file in place at once (two programs saving the same
// picture): the second waits for the first, and the file holds the whole
// content of the second.
TEST_F(SafeWrite, TwoSavesInPlaceAtOnceFollowOneAnother) {
  const std::string pic = Dir + "pic.bmp";
  const std::vector<uint8_t> first = Content(4 << 20, 2), second = Content(4 << 20, 3);
  Save(pic, Content(4 << 20, 1));
  ASSERT_EQ(::link(pic.c_str(), (Dir + "other.bmp").c_str()), 0);
  int paused[2], resume[2], waiting[2];
  ASSERT_EQ(::pipe(paused), 0);
  ASSERT_EQ(::pipe(resume), 0);
  char c = 0;
  // The first save stops after its first megabyte until the second one is
  // under way.
  const pid_t a = ::fork();
  if (a == 0) {
    SetSafeWriteFaultHook([&](TSafeWriteCall C, TSafeWriteFile F, int64_t Offset) {
      if (C == TSafeWriteCall::Write && F == TSafeWriteFile::Target && Offset == 1 << 20) {
        (void)!::write(paused[1], "p", 1);
        (void)!::read(resume[0], &c, 1);
      }
      return 0;
    });
    Save(pic, first);
    ::_exit(0);
  }
  ASSERT_EQ(::read(paused[0], &c, 1), 1);
  ASSERT_EQ(::pipe(waiting), 0);
  const pid_t b = ::fork();
  if (b == 0) {
    SetSafeWriteFaultHook([&](TSafeWriteCall C, TSafeWriteFile, int64_t) {
      if (C == TSafeWriteCall::Lock) (void)!::write(waiting[1], "w", 1);
      return 0;
    });
    Save(pic, second);
    ::_exit(0);
  }
  ::close(waiting[1]);
  // The second is at the lock (or, were there none, done): the first goes on.
  EXPECT_GE(::read(waiting[0], &c, 1), 0);
  (void)!::write(resume[1], "r", 1);
  for (const pid_t child : {a, b}) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (const int fd : {paused[0], paused[1], resume[0], resume[1], waiting[0]}) ::close(fd);
  EXPECT_EQ(ReadWholeFile(pic), second);
  EXPECT_EQ(FolderNames(Dir), (std::set<std::string>{"other.bmp", "pic.bmp"}));
}

// The cache folder holds copies of the person's files: one that others may
// enter, or that is not the person's, is refused, and the save says where
// it could not keep its copy.
TEST_F(SafeWrite, ASharedCacheFolderIsRefused) {
  const std::string folder = FolderForUnprivileged(Dir), pic = folder + "pic.bmp";
  PrepareInPlace(pic, Content(10, 1), true);
  ::chmod(pic.c_str(), 0666);
  ASSERT_EQ(::mkdir((Cache + "quillon").c_str(), 0700), 0);
  ASSERT_EQ(::chmod((Cache + "quillon").c_str(), 0777), 0);
  EXPECT_TRUE(AsUnprivileged([&] {
    return MessageOf([&] { Save(pic, Content(20, 2)); }) ==
           "Cannot create file \"" + pic + "\": no copy of its content can be kept while it is written in place: \"" +
               Cache + "quillon/\" is not a folder of the person's own that only they may enter";
  }));
  EXPECT_EQ(ReadWholeFile(pic), Content(10, 1));
  ::chmod(folder.c_str(), 0755);
}

// Another user watching the folder cannot open the new file of a save of a
// private file at any moment, whichever temporary file the save uses.
TEST_F(SafeWrite, AnotherUserCannotOpenTheTemporaryFileOfAPrivateFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to watch as another user";
  const std::string pic = Dir + "pic.bmp";
  Save(pic, Content(100, 1));
  ::chmod(pic.c_str(), 0600);
  int ready[2], stop[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(stop), 0);
  const pid_t watcher = ::fork();
  if (watcher == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(101);
    const int dir = ::open(Dir.c_str(), O_RDONLY | O_DIRECTORY);
    const int events = ::inotify_init1(IN_NONBLOCK);
    if (dir < 0 || events < 0 || ::inotify_add_watch(events, Dir.c_str(), IN_CREATE | IN_MOVED_TO) < 0) ::_exit(102);
    (void)!::write(ready[1], "r", 1);
    int opened = 0;
    for (bool stopping = false; !stopping;) {
      pollfd fds[2] = {{events, POLLIN, 0}, {stop[0], POLLIN, 0}};
      ::poll(fds, 2, -1);
      stopping = fds[1].revents != 0;
      alignas(inotify_event) char buf[8192];
      for (ssize_t n; (n = ::read(events, buf, sizeof(buf))) > 0;)
        for (char* p = buf; p < buf + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len) {
          const auto* e = reinterpret_cast<inotify_event*>(p);
          if (e->len == 0 || std::string(e->name) == "pic.bmp") continue;
          const int fd = ::openat(dir, e->name, O_RDONLY | O_NONBLOCK);
          if (fd >= 0) ++opened, ::close(fd);
        }
    }
    ::_exit(std::min(opened, 100));
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  for (int i = 0; i < 60; ++i) {
    SetSafeWriteFaultHook(i % 2 ? NamedFilesOnly() : nullptr);
    Save(pic, Content(256 << 10, static_cast<uint8_t>(i)));
  }
  SetSafeWriteFaultHook(nullptr);
  (void)!::write(stop[1], "s", 1);
  int status = 0;
  ::waitpid(watcher, &status, 0);
  for (int fd : {ready[0], ready[1], stop[0], stop[1]}) ::close(fd);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "temporary files the watcher opened";
  struct stat st {};
  ASSERT_EQ(::stat(pic.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// Names that another user made in advance do not stop a save: the new
// file's name cannot be guessed, and another's files are left alone.
TEST_F(SafeWrite, NamesMadeInAdvanceDoNotStopTheSave) {
  const std::string pic = Dir + "pic.bmp";
  Save(pic, Content(10, 1));
  for (int n = 1; n <= 1000; ++n)
    WriteWholeFile(Dir + ".pic.bmp." + std::to_string(::getpid()) + "-" + std::to_string(n) + ".tmp", {});
  Save(pic, Content(20, 2));
  EXPECT_EQ(ReadWholeFile(pic), Content(20, 2));
  SetSafeWriteFaultHook(NamedFilesOnly());
  Save(pic, Content(30, 3));
  EXPECT_EQ(ReadWholeFile(pic), Content(30, 3));
  EXPECT_EQ(FolderNames(Dir).size(), 1001u);
}

// A link that another user put in a sticky folder that everyone may write
// is not followed, as the kernel's rule for such folders has it: the save
// would replace whatever file the link names. The person's own link there
// is followed.
TEST_F(SafeWrite, AStrangersLinkInAStickyFolderIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a link as another user";
  const std::string shared = Dir + "shared/", notes = Dir + "notes.txt";
  ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  WriteWholeFile(notes, {'m', 'y', ' ', 'n', 'o', 't', 'e', 's'});
  ASSERT_TRUE(AsUnprivileged([&] { return ::symlink(notes.c_str(), (shared + "pic.bmp").c_str()) == 0; }));
  EXPECT_EQ(MessageOf([&] { Save(shared + "pic.bmp", Content(10, 1)); }),
            "Cannot create file \"" + shared + "pic.bmp\": Permission denied");
  EXPECT_EQ(ReadWholeFile(notes), std::vector<uint8_t>({'m', 'y', ' ', 'n', 'o', 't', 'e', 's'}));
  ASSERT_EQ(::symlink(notes.c_str(), (shared + "mine.bmp").c_str()), 0);
  Save(shared + "mine.bmp", Content(10, 2));
  EXPECT_EQ(ReadWholeFile(notes), Content(10, 2));
  // A stranger's link to a folder, as a folder of the path, is refused too.
  ASSERT_EQ(::mkdir((Dir + "pics").c_str(), 0755), 0);
  ASSERT_TRUE(AsUnprivileged([&] { return ::symlink((Dir + "pics").c_str(), (shared + "d").c_str()) == 0; }));
  EXPECT_EQ(MessageOf([&] { Save(shared + "d/pic.bmp", Content(10, 3)); }),
            "Cannot create file \"" + shared + "d/pic.bmp\": Permission denied");
  EXPECT_EQ(FolderNames(Dir + "pics"), std::set<std::string>{});
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
