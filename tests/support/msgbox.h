// The message-box answerer of the window tests: a modal box runs its own loop, so a timer finds
// it, records what it said and answers it as a user would.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace uitest {

// What the last message box said, and how many appeared.
struct DialogSeen {
  int count = 0;
  bool seen = false;
  std::string title, text, secondary;
  GtkMessageType type = GTK_MESSAGE_OTHER;
  GtkWindow* transient_for = nullptr;
};

// While it lives, answers every visible message box with `response`, keeping what the last one
// said; `on_box` runs while each box is still on screen (to look at the window behind it).
class Answerer : public DialogSeen {
 public:
  explicit Answerer(int response = GTK_RESPONSE_OK, std::function<void(const DialogSeen&)> on_box = {})
      : response_(response), on_box_(std::move(on_box)) {
    source_ = g_timeout_add(20, &Answerer::Poll, this);
  }
  ~Answerer() { g_source_remove(source_); }
  Answerer(const Answerer&) = delete;
  Answerer& operator=(const Answerer&) = delete;

 private:
  static gboolean Poll(gpointer self) {
    auto* a = static_cast<Answerer*>(self);
    GtkWidget* box = nullptr;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next)
      if (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data))) box = GTK_WIDGET(l->data);
    g_list_free(tops);
    if (!box) return G_SOURCE_CONTINUE;
    DialogSeen& s = *a;
    s.count++;
    s.seen = true;
    const char* title = gtk_window_get_title(GTK_WINDOW(box));
    s.title = title ? title : "";
    gchar *text = nullptr, *secondary = nullptr;
    g_object_get(box, "text", &text, "secondary-text", &secondary, "message-type", &s.type, nullptr);
    s.text = text ? text : "";
    s.secondary = secondary ? secondary : "";
    g_free(text);
    g_free(secondary);
    s.transient_for = gtk_window_get_transient_for(GTK_WINDOW(box));
    if (a->on_box_) a->on_box_(s);
    gtk_dialog_response(GTK_DIALOG(box), a->response_);
    return G_SOURCE_CONTINUE;
  }

  int response_;
  std::function<void(const DialogSeen&)> on_box_;
  guint source_ = 0;
};

// Runs act with every message box answered by `response`; what the boxes said.
inline DialogSeen Answered(const std::function<void()>& act, int response = GTK_RESPONSE_OK) {
  Answerer a(response);
  act();
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  return a;
}

}  // namespace uitest
