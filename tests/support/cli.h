// Running the command-line tool (or any program) as a user's script would, for the tests.
#pragma once

#include <glib.h>
#include <sys/wait.h>

#include <string>
#include <vector>

struct CliRun {
  int status = -1;  // the exit status; 128 when a signal ended it; -1 when it could not start
  std::string out, err;
};

// Runs argv (argv[0] looked up in PATH unless it is a path) to its end, with its output.
inline CliRun SpawnRun(std::vector<std::string> argv) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  CliRun r;
  gchar* out = nullptr;
  gchar* err = nullptr;
  gint status = 0;
  if (g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out, &err,
                   &status, nullptr)) {
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    r.out = out ? out : "";
    r.err = err ? err : "";
  }
  g_free(out);
  g_free(err);
  return r;
}
