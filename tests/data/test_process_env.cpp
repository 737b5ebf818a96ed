// What every executable of the project links in to keep OpenBLAS from starting its pool.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <string>

namespace {

// OpenBLAS, when it is the system BLAS, is loaded with OpenCV's core; its own record says
// whether the load-time constructor started worker threads.
TEST(ProcessEnv, OpenBlasStartedNoWorkerThreads) {
  auto* avail = static_cast<int*>(dlsym(RTLD_DEFAULT, "blas_server_avail"));
  auto* threads = static_cast<int*>(dlsym(RTLD_DEFAULT, "blas_num_threads"));
  if (!avail || !threads) GTEST_SKIP() << "the BLAS here is not OpenBLAS";
  EXPECT_EQ(*threads, 1);
  using Count = int (*)();
  auto count = reinterpret_cast<Count>(dlsym(RTLD_DEFAULT, "openblas_get_num_threads"));
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count(), 1);
}

// Every other name is looked up as libc looks it up (secure_getenv is libc's own and is the
// same for a process that is not set-uid).
struct Lookup {
  const char* name;
  const char* value;  // set before the lookup; nullptr: unset
};

class ProcessEnvLookup : public ::testing::TestWithParam<Lookup> {};

TEST_P(ProcessEnvLookup, AgreesWithLibc) {
  const Lookup& l = GetParam();
  if (l.value) {
    setenv(l.name, l.value, 1);
  } else {
    unsetenv(l.name);
  }
  const char* ours = getenv(l.name);
  const char* libc = secure_getenv(l.name);
  ASSERT_EQ(ours == nullptr, libc == nullptr) << l.name;
  if (ours) {
    EXPECT_STREQ(ours, libc);
  }
  unsetenv(l.name);
}

INSTANTIATE_TEST_SUITE_P(Names, ProcessEnvLookup,
                         ::testing::Values(Lookup{"NUBICORN_T", ""}, Lookup{"NUBICORN_T", "x=y"},
                                           Lookup{"NUBICORN_T", nullptr}, Lookup{"NUBICORN", "prefix"}));

TEST(ProcessEnv, APrefixOrAnEqualsSignFindsNothing) {
  setenv("NUBICORN_PREFIXED", "1", 1);
  EXPECT_EQ(getenv("NUBICORN_PREFIX"), nullptr);
  EXPECT_EQ(getenv("NUBICORN_PREFIXED=1"), nullptr);
  EXPECT_EQ(getenv(""), nullptr);
  unsetenv("NUBICORN_PREFIXED");
}

}  // namespace
