// Write, check, publish: numbered names that never replace a file (even one that appears while
// writing), replacement only when asked, and failures that leave the folder as it was.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "data/suplsave.h"
#include "tests/support/tempdir.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

struct NumberedCase {
  const char* path;
  int n;
  const char* want;
};

TEST(SuplNumberedName, GoesBeforeTheExtensionOfTheLastComponent) {
  for (const NumberedCase& c : {NumberedCase{"/h/export/Selected/201607041200.txt", 2, "/h/export/Selected/201607041200-2.txt"},
                                NumberedCase{"/h/export/Video/Natural-201607041200.avi", 3, "/h/export/Video/Natural-201607041200-3.avi"},
                                NumberedCase{"/h/dir.d/noext", 2, "/h/dir.d/noext-2"},
                                NumberedCase{"/h/.hidden", 2, "/h/.hidden-2"},
                                NumberedCase{"a.tar.gz", 12, "a.tar-12.gz"},
                                NumberedCase{"plain", 2, "plain-2"}})
    EXPECT_EQ(SuplNumberedName(c.path, c.n), c.want) << c.path;
}

// First, second and third file of one name, each with its own text: the earlier ones stay.
TEST(SuplSave, NumberedNeverReplaces) {
  TestTempDir dir;
  const std::string target = dir.file("201607041200.txt");
  const char* const want[] = {"201607041200.txt", "201607041200-2.txt", "201607041200-3.txt"};
  for (int i = 0; i < 3; i++) {
    SuplSave out(target, SuplPublish::Numbered);
    ASSERT_TRUE(out.Write("export " + std::to_string(i) + "\n"));
    ASSERT_TRUE(out.Publish()) << out.error();
    EXPECT_EQ(out.path(), dir.file(want[i]));
  }
  for (int i = 0; i < 3; i++) EXPECT_EQ(Read(dir.file(want[i])), "export " + std::to_string(i) + "\n");
  EXPECT_EQ(Names(dir.path()).size(), 3u) << "no temporary file is left";
}

// A file (or folder) that takes the name while ours is being written is kept: there is no
// moment between a look at the name and the rename.
TEST(SuplSave, NameTakenWhileWritingIsKept) {
  TestTempDir dir;
  const std::string target = dir.file("Natural-201607041200.avi");
  SuplSave a(target, SuplPublish::Numbered, ".avi"), b(target, SuplPublish::Numbered, ".avi");
  ASSERT_TRUE(a.ok() && b.ok());
  EXPECT_EQ(a.temp().substr(0, dir.path().size() + 2), dir.path() + "/.");
  EXPECT_EQ(a.temp().substr(a.temp().size() - 4), ".avi");
  ASSERT_TRUE(a.Write("a") && b.Write("b"));
  std::ofstream(target, std::ios::binary) << "made by someone else";
  fs::create_directory(SuplNumberedName(target, 2));
  ASSERT_TRUE(a.Publish()) << a.error();
  ASSERT_TRUE(b.Publish()) << b.error();
  EXPECT_EQ(a.path(), SuplNumberedName(target, 3));
  EXPECT_EQ(b.path(), SuplNumberedName(target, 4));
  EXPECT_EQ(Read(target), "made by someone else");
  EXPECT_TRUE(fs::is_directory(SuplNumberedName(target, 2)));
  EXPECT_EQ(Read(a.path()), "a");
  EXPECT_EQ(Read(b.path()), "b");
}

TEST(SuplSave, ReplaceRenewsTheFileOnlyWhenComplete) {
  TestTempDir dir;
  const std::string target = dir.file("out.pgm");
  std::string err;
  ASSERT_TRUE(SuplSaveBytes(target, "old", 3, SuplPublish::Replace, &err)) << err;
  ASSERT_TRUE(SuplSaveBytes(target, "newer", 5, SuplPublish::Replace, &err)) << err;
  EXPECT_EQ(Read(target), "newer");
  EXPECT_EQ(Names(dir.path()), std::set<std::string>{"out.pgm"});
}

// What went wrong, for each way a file can fail; the folder keeps what it held.
TEST(SuplSave, FailuresLeaveTheFolderAsItWas) {
  TestTempDir dir;
  const std::string earlier = dir.file("out.txt");
  std::ofstream(earlier, std::ios::binary) << "earlier";
  const std::string big(64 * 1024, 'x');
  struct Case {
    const char* what;
    std::string target;
    rlim_t limit;     // file-size limit while writing, 0 none
    bool elsewhere;   // nothing written through Write
    const char* error;
  };
  for (const Case& c : {Case{"missing folder", dir.file("missing/out.txt"), 0, false, "cannot create "},
                        Case{"full disk", earlier, 16 * 1024, false, "cannot write "},
                        Case{"empty file of another writer", earlier, 0, true, "cannot write "}}) {
    for (SuplPublish mode : {SuplPublish::Replace, SuplPublish::Numbered}) {
      SuplSave out(c.target, mode);
      struct rlimit old;
      ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
      void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
      if (c.limit) {
        struct rlimit small = old;
        small.rlim_cur = c.limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
      }
      if (c.elsewhere)
        out.WrittenElsewhere();
      else
        out.Write(big);
      const bool ok = out.Publish();
      setrlimit(RLIMIT_FSIZE, &old);
      std::signal(SIGXFSZ, previous);
      EXPECT_FALSE(ok) << c.what;
      EXPECT_EQ(out.error().rfind(c.error + c.target, 0), 0u) << c.what << ": " << out.error();
    }
  }
  EXPECT_EQ(Read(earlier), "earlier");
  EXPECT_EQ(Names(dir.path()), std::set<std::string>{"out.txt"});
}

}  // namespace
