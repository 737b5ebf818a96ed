// The monitor's worker: looks into import/mnt, moves the cycles whose files are complete and
// no longer growing, and loads their channels, all off the main loop.
#include <errno.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "canvas/canvmonitor.h"
#include "canvas/canvmonitorjob.h"
#include "data/supltsan.h"
#include "settings/confwindow.h"

namespace {

constexpr const char* WATCH_NAME = "import/mnt";
constexpr const char* TARGET_NAME = "import/SEVIRI_data";
constexpr size_t DONE_KEPT = 1024;  // cycles remembered as handled (over ten days of them)

struct Seen {
  gint64 size = 0;
  gint64 mtime = 0;  // microseconds
  bool regular = false;
};

// One look at the watched folder.
struct Look {
  CanvMonitorJob* job;
  std::map<std::string, Seen> now;  // every entry named like an HRIT file
  std::vector<std::string> names;   // reference segments to load

  std::string Src(const std::string& f) const { return job->watch + "/" + f; }
  bool Present(const std::string& f) const { return now.count(f) > 0; }
  // Complete and unchanged since the last tick: a writer is done with it.
  bool Ready(const std::string& f) const {
    auto it = now.find(f);
    if (it == now.end() || !it->second.regular) return false;
    auto last = job->book.seen.find(f);
    if (last == job->book.seen.end() || last->second != std::make_pair(it->second.size, it->second.mtime))
      return false;
    return CanvMonitorComplete(Src(f));
  }
};

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

std::string SlotLabel(const std::string& t) {
  return t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) + " " + t.substr(8, 2) + ":" + t.substr(10, 2);
}

// The slot time of an epilogue name of the chosen service, or empty.
std::string EpilogueTime(const Sat& sat, const std::string& name) {
  if (name.size() != size_t(NAME_LENGTH) || name[36] != 'E') return {};
  std::string t = name.substr(46, 12);
  if (!std::all_of(t.begin(), t.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) return {};
  return SatEpilogueName(sat, t) == name ? t : std::string();
}

// The channel id of a segment name, 0 for any other name.
int ChannelOf(const std::string& name) {
  if (name.size() != size_t(NAME_LENGTH)) return 0;
  for (int ch = 1; ch <= CHANNEL_COUNT; ch++)
    if (name.compare(26, 6, InfoChannelText[ch]) == 0) return ch;
  return 0;
}

std::string Reference(const Sat& sat, int ch, const std::string& t) {
  return SatSegmentName(sat, InfoChannelText[ch], ch == HRV_ID ? 19 : 7, t);
}

// Every file a cycle may bring, which moves with it.
std::vector<std::string> AllFiles(const Sat& sat, const std::string& t) { return CanvMonitorCycleFiles(sat, t); }

void Read(Look* look) {
  GDir* dir = g_dir_open(look->job->watch.c_str(), 0, nullptr);
  if (!dir) return;
  while (const char* name = g_dir_read_name(dir)) {
    if (std::strlen(name) != size_t(NAME_LENGTH)) continue;
    struct stat st;
    if (g_lstat(look->Src(name).c_str(), &st) != 0) continue;
    look->now[name] = Seen{gint64(st.st_size), gint64(st.st_mtim.tv_sec) * G_USEC_PER_SEC + st.st_mtim.tv_nsec / 1000,
                           S_ISREG(st.st_mode) != 0};
  }
  g_dir_close(dir);
}

// What stayed behind of a cycle in one tick, for the status bar.
struct Stayed {
  int taken = 0;       // the name is taken in the target, or the move failed
  int unfinished = 0;  // shorter than its header says, or still changing
  int special = 0;     // a FIFO, device, link or folder named like a file of the cycle
};

// Moves the files of a cycle that are ready; the others stay, each reported once.
void MoveReady(Look* look, const std::vector<std::string>& files, Stayed* stayed) {
  CanvMonitorJob* job = look->job;
  CanvMonitorBook& book = job->book;
  for (const std::string& f : files) {
    if (job->cancel) return;
    if (!look->Present(f) || Contains(book.left, f)) continue;
    if (!look->Ready(f)) {
      if (!Contains(book.told, f)) {
        const bool regular = look->now[f].regular;
        g_log(nullptr, G_LOG_LEVEL_WARNING, "%s left in %s: %s", f.c_str(), WATCH_NAME,
              regular ? "not complete yet" : "not a regular file");
        book.told.push_back(f);
        ++(regular ? stayed->unfinished : stayed->special);
      }
      continue;
    }
    if (CanvMonitorMove(look->Src(f), job->target + "/" + f)) {
      const int ch = ChannelOf(f);
      if (ch != 0) {
        const std::string ref = Reference(job->sat, ch, f.substr(46, 12));
        if (!Contains(look->names, ref)) look->names.push_back(ref);
      }
      continue;
    }
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s left in %s: %s", f.c_str(), WATCH_NAME, std::strerror(errno));
    book.left.push_back(f);
    stayed->taken++;
  }
}

void Report(CanvMonitorJob* job, const std::string& t, const Stayed& s) {
  const std::string cycle = "Cycle " + SlotLabel(t) + ": ";
  if (s.taken > 0)
    job->messages.push_back(cycle + std::to_string(s.taken) + " file(s) left in " + job->watch + ": the name is taken in " +
                            TARGET_NAME);
  if (s.unfinished > 0)
    job->messages.push_back(cycle + std::to_string(s.unfinished) + " file(s) not complete yet, left in " + job->watch);
  if (s.special > 0)
    job->messages.push_back(cycle + std::to_string(s.special) + " file(s) that are no regular files left in " +
                            job->watch);
}

void Scan(CanvMonitorJob* job, Look* look) {
  CanvMonitorBook& book = job->book;
  Read(look);
  std::vector<std::string> times;
  std::map<std::string, std::vector<std::string>> late;  // files of cycles handled before
  for (const auto& [name, seen] : look->now) {
    if (std::string t = EpilogueTime(job->sat, name); !t.empty() && !Contains(book.done, t)) {
      times.push_back(t);
      continue;
    }
    const std::string t = name.substr(46, 12);
    if (Contains(book.done, t) && Contains(AllFiles(job->sat, t), name)) late[t].push_back(name);
  }
  for (const auto& [t, files] : late) {
    Stayed stayed;
    MoveReady(look, files, &stayed);
    Report(job, t, stayed);
  }
  for (const std::string& t : times) {
    if (job->cancel) return;
    // Complete when the segments the window needs are there; the others move along.
    const std::vector<std::string> files = CanvMonitorCycleFiles(job->sat, t, job->window);
    int present = 0, ready = 0;
    gint64 progress = 0;
    for (const std::string& f : files) {
      if (!look->Present(f)) continue;
      present++;
      ready += look->Ready(f);
      progress += look->now[f].size + 1;
    }
    if (ready < int(files.size())) {
      // Files still arriving or growing: wait while they make progress.
      auto [it, fresh] = book.waiting.try_emplace(t, progress, 0);
      if (!fresh) it->second = it->second.first == progress ? std::make_pair(progress, it->second.second + 1)
                                                            : std::make_pair(progress, 0);
      if (it->second.second < MONITOR_SETTLE_TICKS) continue;
      g_log(nullptr, G_LOG_LEVEL_WARNING, "Cycle %s incomplete: %d of %d files, %d complete", t.c_str(), present,
            int(files.size()), ready);
    }
    book.waiting.erase(t);
    book.done.push_back(t);
    Stayed stayed;
    MoveReady(look, AllFiles(job->sat, t), &stayed);
    Report(job, t, stayed);
    for (int ch = 1; ch <= CHANNEL_COUNT; ch++) {
      const std::string ref = Reference(job->sat, ch, t);
      if (!Contains(look->names, ref)) look->names.push_back(ref);
    }
  }
}

// What the next tick compares with, and no memory of files gone from the folder.
void Remember(CanvMonitorJob* job, const Look& look) {
  CanvMonitorBook& book = job->book;
  book.seen.clear();
  for (const auto& [name, seen] : look.now)
    if (seen.regular) book.seen[name] = {seen.size, seen.mtime};
  auto gone = [&](const std::string& f) { return !look.Present(f); };
  book.left.erase(std::remove_if(book.left.begin(), book.left.end(), gone), book.left.end());
  book.told.erase(std::remove_if(book.told.begin(), book.told.end(), gone), book.told.end());
  for (auto it = book.waiting.begin(); it != book.waiting.end();)
    it = look.Present(SatEpilogueName(job->sat, it->first)) ? std::next(it) : book.waiting.erase(it);
  if (book.done.size() > DONE_KEPT) book.done.erase(book.done.begin(), book.done.end() - DONE_KEPT);
}

// TRUE when every file the channel's picture is read from is absent or a regular file: the
// reader opens them plainly, and a FIFO would hold it for ever.
bool PlainFiles(const CanvMonitorJob& job, int ch, const std::string& t) {
  for (const std::string& f : AllFiles(job.sat, t)) {
    if (ChannelOf(f) != ch) continue;
    struct stat st;
    if (g_stat((job.target + "/" + f).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
  }
  return true;
}

void Load(CanvMonitorJob* job, const std::string& name) {
  const int id = ChannelOf(name);
  const std::string t = name.substr(46, 12);
  std::unique_ptr<Layer> layer(InfoNew(id, t.c_str(), nullptr, &job->sat));
  layer->name = name;
  const std::string path = job->target + "/" + name;
  std::optional<std::array<cv::Mat, 3>> images;
  if (PlainFiles(*job, id, t)) {
    int32_t window[4] = {job->window[0], job->window[1], job->window[2], job->window[3]};
    int32_t east = job->east;
    images = LayerLoadChannel(path.c_str(), id, window, &east, &job->maps);
  }
  if (!images) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s Error!", name.c_str());
    job->load_failed = true;
    return;
  }
  layer->images = std::move(*images);
  Sat sat = job->sat;
  SatFromName(name, &sat);
  layer->sub_lon = SatFileLongitude(path.c_str(), SatNominalLongitude(sat));
  g_log(nullptr, G_LOG_LEVEL_WARNING, "%s ok", name.c_str());
  job->layers.push_back(std::move(layer));
}

}  // namespace

gint CanvNameCompare(gconstpointer a, gconstpointer b) {
  return g_utf8_collate(static_cast<const char*>(a), static_cast<const char*>(b));
}

gpointer CanvMonitorWork(gpointer data) {
  auto* job = static_cast<CanvMonitorJob*>(data);
  SuplTsanAcquire(job);
  if (job->sat.service == SatService::Fci) {
    CanvMonitorFci(job);
    SuplTsanRelease(job);
    g_idle_add(CanvMonitorDeliver, job);
    return nullptr;
  }
  Look look{job, {}, {}};
  Scan(job, &look);
  Remember(job, look);
  // Rapid-scan cycles hold only the north: a window south of it is refused, its files moved.
  const std::string fault = ConfWindowFault(job->sat, ConfRect{job->window[0], job->window[1], job->window[2], job->window[3]});
  if (!fault.empty() && !look.names.empty()) {
    g_log(nullptr, G_LOG_LEVEL_WARNING, "%s", fault.c_str());
    job->messages.push_back(fault);
    look.names.clear();
  }
  std::sort(look.names.begin(), look.names.end(),
            [](const std::string& a, const std::string& b) { return CanvNameCompare(a.c_str(), b.c_str()) < 0; });
  for (const std::string& name : look.names) {
    if (job->cancel) break;
    Load(job, name);
  }
  SuplTsanRelease(job);
  g_idle_add(CanvMonitorDeliver, job);
  return nullptr;
}
