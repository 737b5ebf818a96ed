// Running the command-line tool (or any program) as a user's script would, for the tests, and
// reading back the 16-bit PGM files it writes.
#pragma once

#include <glib.h>
#include <glib/gstdio.h>
#include <opencv2/core.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

struct CliRun {
  int status = -1;  // the exit status; 128 when a signal ended it; -1 when it could not start
  std::string out, err;
};

struct SpawnOptions {
  std::vector<std::string> env;  // NAME=VALUE set on top of this process's environment
  GSpawnChildSetupFunc setup = nullptr;  // run in the child before exec (resource limits)
};

// Runs argv (argv[0] looked up in PATH unless it is a path) to its end, with its output.
inline CliRun SpawnRun(std::vector<std::string> argv, const SpawnOptions& o = {}) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  gchar** envp = g_get_environ();
  for (const std::string& e : o.env) {
    const size_t eq = e.find('=');
    envp = g_environ_setenv(envp, e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), TRUE);
  }
  CliRun r;
  gchar* out = nullptr;
  gchar* err = nullptr;
  gint status = 0;
  if (g_spawn_sync(nullptr, args.data(), envp, G_SPAWN_SEARCH_PATH, o.setup, nullptr, &out, &err,
                   &status, nullptr)) {
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    r.out = out ? out : "";
    r.err = err ? err : "";
  }
  g_free(out);
  g_free(err);
  g_strfreev(envp);
  return r;
}

#ifdef NUBICORN_CLI
// nubicorn-cli with these arguments.
inline CliRun Cli(std::vector<std::string> args, const SpawnOptions& o = {}) {
  args.insert(args.begin(), NUBICORN_CLI);
  return SpawnRun(std::move(args), o);
}
#endif

// A P5 PGM of 16-bit big-endian samples as CV_16UC1; empty on any surprise. *maxval, when
// given, gets its maximum value.
inline cv::Mat ReadPgm16(const std::string& path, int* maxval = nullptr) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, top = 0;
  f >> magic >> w >> h >> top;
  f.get();
  if (magic != "P5" || w <= 0 || h <= 0 || top < 256) return {};
  std::vector<unsigned char> buf(size_t(w) * h * 2);
  if (!f.read(reinterpret_cast<char*>(buf.data()), std::streamsize(buf.size())) || f.peek() != EOF) return {};
  cv::Mat m(h, w, CV_16UC1);
  for (size_t i = 0; i < buf.size() / 2; i++) m.ptr<uint16_t>()[i] = uint16_t(buf[2 * i] << 8 | buf[2 * i + 1]);
  if (maxval) *maxval = top;
  return m;
}
