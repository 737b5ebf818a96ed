// nubicorn-cli synth as a user's script runs it.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/cli.h"
#include "tests/tools/test_synth_support.h"

using namespace synthtest;

namespace {

CliRun Synth(std::vector<std::string> args) {
  args.insert(args.begin(), "synth");
  return Cli(std::move(args));
}

int CountFiles(const std::string& dir) {
  int n = 0;
  GDir* d = g_dir_open(dir.c_str(), 0, nullptr);
  while (d && g_dir_read_name(d)) n++;
  if (d) g_dir_close(d);
  return n;
}

}  // namespace

TEST(SynthCli, WritesConsecutiveQuarterHoursAcrossMidnight) {
  TestTempDir dir;
  CliRun r = Synth({"--out", dir.path() + "/new/folder", "--slot", "201612312345", "--count", "2", "--seed", "3", "--strip"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "201612312345\n201701010000\n");
  std::string sub = dir.path() + "/new/folder";
  EXPECT_EQ(CountFiles(sub), 60);  // 2 x (11 x 2 + 6 segments, prologue, epilogue)
  EXPECT_TRUE(g_file_test((sub + "/H-000-MSG3__-MSG3________-_________-EPI______-201701010000-__").c_str(),
                          G_FILE_TEST_IS_REGULAR));
  EXPECT_TRUE(g_file_test((sub + "/H-000-MSG3__-MSG3________-HRV______-000024___-201612312345-C_").c_str(),
                          G_FILE_TEST_IS_REGULAR));
  // Clean up the nested folders the command made.
  TestTempDir::Remove(dir.path() + "/new");
}

TEST(SynthCli, BadArgumentsGiveAMessageAndAFailureStatus) {
  TestTempDir dir;
  std::string file = dir.path() + "/plain-file";
  std::ofstream(file) << "x";
  struct Case {
    std::vector<std::string> args;
    const char* message;  // part of the message on stderr
  };
  const Case cases[] = {
      {{"--out", dir.path(), "--slot", "2016070412"}, "12 digits"},
      {{"--out", dir.path(), "--slot", "20160704120x"}, "12 digits"},
      {{"--out", dir.path(), "--slot", "201602301200"}, "no such date"},
      {{"--out", dir.path(), "--slot", "201607042500"}, "no such time"},
      {{"--out", dir.path(), "--slot", "196912312345"}, "no such date"},
      {{"--out", dir.path(), "--slot", "201607041207"}, "quarter hour"},
      {{"--slot", "201607041200"}, "--out"},
      {{"--out", dir.path()}, "--slot"},
      {{"--out", dir.path(), "--slot", "201607041200", "--count", "0"}, "--count"},
      {{"--out", dir.path(), "--slot", "201607041200", "--count", "two"}, "--count"},
      {{"--out", dir.path(), "--slot", "201607041200", "--seed", "-1"}, "--seed"},
      {{"--out", dir.path(), "--slot", "201607041200", "--clouds", "2"}, "--clouds"},
      {{"--out", dir.path(), "--slot", "201607041200", "--bogus"}, "unknown argument"},
      {{"--out", dir.path(), "--slot"}, "needs a value"},
      {{"--out", file + "/sub", "--slot", "201607041200"}, "plain-file"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (auto& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    CliRun r = Synth(c.args);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(CountFiles(dir.path()), 1);  // nothing was written for any of them
  g_remove(file.c_str());
}
