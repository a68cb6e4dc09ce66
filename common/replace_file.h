// Replacing a file whole: a reader of the path sees the old file or the new
// one, never part of either, and nothing is left beside it.
#ifndef COMMON_REPLACE_FILE_H_
#define COMMON_REPLACE_FILE_H_

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace vantrel {

// Replaces the regular file at `path`, or makes one where nothing stands,
// with `text` and the permissions `mode`: written to a hidden temporary
// file beside it, flushed to the disk and renamed over it. The temporary's
// name is no longer than the file's own (or 7 bytes), so it fits wherever
// that name fits. A folder at the path gives EISDIR, and anything else that
// is not a regular file (a link, a device, a pipe) EEXIST: it is left as it
// is. `check`, when given, is asked about the written temporary (by its
// path) just before the rename: an errno it gives ends the replace there,
// the temporary removed. Signals from outside wait from the temporary's
// making to the rename, so a stop never leaves it behind. 0, or the errno
// of the failure.
[[nodiscard]] int replaceFile(const std::string& path, std::string_view text, mode_t mode,
                              const std::function<int(const std::string& temporary)>& check = nullptr);

}  // namespace vantrel

#endif  // COMMON_REPLACE_FILE_H_
