// The clocks of the platforms without the macOS frameworks: the wall clock
// and the time since boot, as the probe's desktop answers them.
#ifndef COMMON_CLOCKS_H_
#define COMMON_CLOCKS_H_

namespace vantrel {

// Seconds since 1970.
double wallClockSeconds();
// Seconds since boot, never going back (CLOCK_MONOTONIC).
double uptimeSeconds();

}  // namespace vantrel

#endif  // COMMON_CLOCKS_H_
