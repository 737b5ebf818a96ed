// The monitor's worker for FCI: chunk files arrive one by one in import/mnt; a repeat cycle is
// moved into import/SEVIRI_data and its channels loaded once its TRAIL file and the BODY chunks
// the view window needs are there and no longer growing.
#include <errno.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "canvas/canvfci.h"
#include "canvas/canvmonitor.h"
#include "canvas/canvmonitorjob.h"
#include "data/fci.h"
#include "data/fci_view.h"

namespace {

constexpr size_t DONE_KEPT = 1024;

struct Arrived {
  std::string name;
  FciName fields;
  gint64 size = 0, mtime = 0;
  bool regular = false;
};

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

void CanvMonitorFci(CanvMonitorJob* job) {
  CanvMonitorBook& book = job->book;
  // The FCI files of each slot in the watched folder.
  std::map<std::string, std::vector<Arrived>> slots;
  if (GDir* dir = g_dir_open(job->watch.c_str(), 0, nullptr)) {
    while (const char* name = g_dir_read_name(dir)) {
      Arrived a;
      if (!FciParseName(name, &a.fields)) continue;
      struct stat st;
      if (g_lstat((job->watch + "/" + name).c_str(), &st) != 0) continue;
      a.name = name;
      a.size = gint64(st.st_size);
      a.mtime = gint64(st.st_mtim.tv_sec) * G_USEC_PER_SEC + st.st_mtim.tv_nsec / 1000;
      a.regular = S_ISREG(st.st_mode);
      slots[FciSlotText(a.fields.start)].push_back(std::move(a));
    }
    g_dir_close(dir);
  }
  // Unchanged since the last tick, and a regular file: its writer is done with it.
  auto ready = [&book](const Arrived& a) {
    auto last = book.seen.find(a.name);
    return a.regular && last != book.seen.end() && last->second == std::make_pair(a.size, a.mtime);
  };
  int32_t window[4];
  FciWindowOfRect(job->window, window);
  std::vector<std::string> load;
  for (const auto& [t, files] : slots) {
    if (job->cancel) break;
    const bool done = Contains(book.done, t);
    if (!done) {
      FciCycle cycle;
      cycle.body.assign(FCI_CHUNKS, std::string());
      for (const Arrived& a : files) {
        if (!ready(a)) continue;
        if (!a.fields.body) cycle.trail = a.name;
        else if (a.fields.chunk >= 1 && a.fields.chunk <= FCI_CHUNKS) cycle.body[size_t(a.fields.chunk - 1)] = a.name;
      }
      if (!FciCycleComplete(cycle, window)) continue;
      book.done.push_back(t);
      load.push_back(t);
    }
    // The cycle's ready files move; late chunks of a handled cycle follow it.
    int left = 0;
    for (const Arrived& a : files) {
      if (!ready(a) || Contains(book.left, a.name)) continue;
      if (CanvMonitorMove(job->watch + "/" + a.name, job->target + "/" + a.name)) continue;
      g_log(nullptr, G_LOG_LEVEL_WARNING, "%s left in import/mnt: %s", a.name.c_str(), std::strerror(errno));
      book.left.push_back(a.name);
      left++;
    }
    if (left > 0)
      job->messages.push_back("Cycle " + t + ": " + std::to_string(left) + " file(s) left in " + job->watch +
                              ": the name is taken in import/SEVIRI_data");
  }
  book.seen.clear();
  for (const auto& [t, files] : slots)
    for (const Arrived& a : files)
      if (a.regular) book.seen[a.name] = {a.size, a.mtime};
  if (book.done.size() > DONE_KEPT) book.done.erase(book.done.begin(), book.done.end() - DONE_KEPT);
  // The channels of each new cycle that the shown layer needs, cut to the window.
  for (const std::string& t : load)
    for (int id : job->fci_ids) {
      if (job->cancel) break;
      std::unique_ptr<Layer> layer(InfoNew(id, t.c_str(), nullptr, &job->sat));
      if (!CanvFciLoad(layer.get(), job->target.c_str(), window)) {
        g_log(nullptr, G_LOG_LEVEL_WARNING, "%s Error!", layer->name.c_str());
        job->load_failed = true;
        continue;
      }
      g_log(nullptr, G_LOG_LEVEL_WARNING, "%s ok", layer->name.c_str());
      job->layers.push_back(std::move(layer));
    }
}
