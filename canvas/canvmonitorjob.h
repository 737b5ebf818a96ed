// One tick of the working-directory monitor as a job for a worker thread: it owns copies of
// everything it reads, and its result waits in it until the main loop takes it.
#pragma once

#include <glib.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "canvas/canv.h"
#include "data/fileinfo.h"
#include "data/layer.h"

struct CanvMonitorJob {
  // Taken on the main thread when the tick starts.
  std::string watch;   // App.home/import/mnt
  std::string target;  // App.home/import/SEVIRI_data
  Sat sat;
  int32_t window[4] = {};  // the view rectangle the channels are cut to
  int32_t east = 0;        // the HRV east column setting
  CanvMonitorBook book;    // handed back, brought up to date
  std::vector<int> fci_ids;  // FCI: the channel layers to load of a new cycle (CanvFciWanted)
  std::atomic<bool> cancel{false};
  GThread* thread = nullptr;

  // The worker's own.
  LayerHrvMaps maps;

  // The result: loaded channel layers in load order, and what the status bar should say.
  std::vector<std::unique_ptr<Layer>> layers;
  std::vector<std::string> messages;
  bool load_failed = false;
};

// The worker's look, moves and loads when the job's satellite is FCI: a cycle is complete when
// its TRAIL file and the BODY chunks the view window needs (FciCycleComplete) are ready.
void CanvMonitorFci(CanvMonitorJob* job);
// The worker's body (a GThreadFunc): looks, moves and loads, then queues CanvMonitorDeliver.
gpointer CanvMonitorWork(gpointer job);
// Idle on the main loop: puts the job's layers into their slots and shows them. FALSE.
gboolean CanvMonitorDeliver(gpointer job);
