// The clocks of the desktops without the macOS frameworks: the wall clock
// and the time since boot.
#ifndef FOCUSWATCH_CLOCKS_H_
#define FOCUSWATCH_CLOCKS_H_

namespace focuswatch {

// Seconds since 1970.
double wallClockSeconds();
// Seconds since boot, never going back (CLOCK_MONOTONIC).
double uptimeSeconds();

}  // namespace focuswatch

#endif  // FOCUSWATCH_CLOCKS_H_
