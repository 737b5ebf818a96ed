// Linked into every executable of the project (never into a library archive, where nothing
// would pull it in).
//
// The program does no linear algebra, yet OpenCV's core links BLAS and LAPACK. Where
// libblas.so.3 is OpenBLAS, its load-time constructor starts a worker thread per core. They
// cost memory for nothing, and once memory runs short (an address-space limit, a full machine)
// a woken worker retries its buffer allocation forever, so the process hangs at exit. Neither
// the environment (libc takes it over only after the preinit functions have run) nor a
// constructor of ours (it runs after every library's) comes before that constructor, but the
// executable's symbols come first in every lookup: this getenv answers the one variable that
// keeps the pool from starting, and is libc's own lookup for every other name.
#include <cstring>
#include <unistd.h>

extern "C" char* getenv(const char* name) {
  if (std::strcmp(name, "OPENBLAS_NUM_THREADS") == 0) return const_cast<char*>("1");
  const size_t n = std::strlen(name);
  if (n == 0 || std::strchr(name, '=')) return nullptr;
  for (char** e = environ; e && *e; e++)
    if (std::strncmp(*e, name, n) == 0 && (*e)[n] == '=') return *e + n + 1;
  return nullptr;
}
