// The segments a view window needs from the files of a service, and why a window cannot be
// shown from them: shared by the Interface page, the loads (open, open by date, start-up) and
// the monitor, so each says the same.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "data/satellite.h"
#include "settings/conf.h"

// The segments of channels 1..11 (or HRV) the window needs (LayerSegments), cut to those the
// service sends; {0, -1} when it needs none of them.
std::pair<int, int> ConfWindowSegments(const Sat& sat, const ConfRect& r, bool hrv);
// Empty when the service's files can give every line of the window; else the message for the
// user, e.g. "Rapid scan: segments 6 to 8 only, the window needs segments 3 to 5: move it north
// of about 12° N on the Interface page".
std::string ConfWindowFault(const Sat& sat, const ConfRect& r);
// File names of the segments of channel id (1..12) and slot text t that the window needs from
// the service, south first (ConfWindowSegments).
std::vector<std::string> ConfWindowFiles(const Sat& sat, const ConfRect& r, int id, const std::string& t);
// "segments 3 to 5" / "segment 7": what a window needs, for messages.
std::string ConfSegmentText(std::pair<int, int> segments);
