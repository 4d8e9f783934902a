// Linked into every test program: what a test prints reaches ctest at once, so
// a test that ctest ends for its time-out still shows how far it came.
#include <cstdio>

namespace {

struct UnbufferedOutput {
  UnbufferedOutput() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
  }
};

const UnbufferedOutput unbuffered;

}  // namespace
