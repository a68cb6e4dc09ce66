// Reading and writing whole: the loops that every program's descriptors
// share.
#ifndef COMMON_IO_H_
#define COMMON_IO_H_

#include <cstddef>
#include <string_view>

namespace vantrel {

// Writes all of `text` to `fd`, again after a signal and, on a full
// non-blocking descriptor, once it can take more: at once, or EAGAIN when
// it takes nothing for `stallMs` milliseconds (-1: wait for ever). 0, or
// the errno of the failure that stopped it.
[[nodiscard]] int writeAll(int fd, std::string_view text, int stallMs = -1);

// Reads from `fd` into `buffer` until `size` bytes have come or the input
// ends, again after a signal and, on an empty non-blocking descriptor,
// once it has more; `*done` counts the bytes read. 0, or the errno of the
// failure that stopped it.
[[nodiscard]] int readAll(int fd, char* buffer, size_t size, size_t* done);

}  // namespace vantrel

#endif  // COMMON_IO_H_
