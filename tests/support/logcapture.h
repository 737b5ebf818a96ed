// Captures GLib warnings for the lifetime of the object, so tests can check the one-line
// messages the program logs.
#pragma once

#include <glib.h>

#include <mutex>
#include <string>
#include <vector>

class LogCapture {
 public:
  LogCapture() { previous_ = g_log_set_default_handler(&LogCapture::Handler, this); }
  ~LogCapture() { g_log_set_default_handler(previous_, nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  size_t count() const { return messages().size(); }
  bool contains(const std::string& s) const {
    for (const auto& m : messages())
      if (m.find(s) != std::string::npos) return true;
    return false;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
  }

 private:
  static void Handler(const gchar*, GLogLevelFlags level, const gchar* message, gpointer self) {
    auto* c = static_cast<LogCapture*>(self);
    if (!(level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR))) return;
    std::lock_guard<std::mutex> lock(c->mutex_);
    c->messages_.emplace_back(message ? message : "");
  }
  GLogFunc previous_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
};
