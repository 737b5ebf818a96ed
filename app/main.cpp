// Nubicorn: viewer of MSG3 SEVIRI HRIT satellite images.
#include <clocale>
#include <cstdlib>

#include "app/app.h"

int main(int argc, char** argv) {
  App app;
  Canv canv;
  Conf conf;
  // The interface speaks British English; a UTF-8 variant keeps file names and texts in
  // UTF-8, and a machine without that locale gets the neutral UTF-8 one rather than a warning.
  for (const char* name : {"en_GB.UTF-8", "C.UTF-8"}) {
    if (std::setlocale(LC_ALL, name)) {
      setenv("LANG", name, 1);
      break;
    }
  }
  std::setlocale(LC_NUMERIC, "C");
  gtk_init(&argc, &argv);
  // gtk_init takes every category from the environment; numbers must stay "C".
  std::setlocale(LC_NUMERIC, "C");
  if (AppCreate(&app, &canv, &conf)) gtk_main();
  return 0;
}
