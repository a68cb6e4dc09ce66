// Writing whole: the one loop that the probe's outputs share.
#ifndef FOCUSWATCH_WRITE_ALL_H_
#define FOCUSWATCH_WRITE_ALL_H_

#include <string_view>

namespace focuswatch {

// Writes all of `text` to `fd`, again after a signal and, on a full
// non-blocking descriptor, once it can take more. 0, or the errno of the
// failure that stopped it.
int writeAll(int fd, std::string_view text);

}  // namespace focuswatch

#endif  // FOCUSWATCH_WRITE_ALL_H_
