// Linked into every test program: the environment the suite runs in, set before
// main (and before anything reads it) unless the caller set it already, so that a
// test program behaves the same under ctest, run by hand, or as a child copy.
#include <cstdlib>

namespace {

const bool g_environment = [] {
    // waits at a hundredth of their length
    setenv("SETWELL_TIME_SCALE", "0.01", 0);
    // device timeouts at full length: a slow answer is never taken for a missing one
    setenv("SETWELL_TIMEOUT_SCALE", "1", 0);
    // the headless dialog back end; the real-window pass sets SETWELL_UI to empty
    setenv("SETWELL_UI", "headless", 0);
    return true;
}();

}  // namespace
