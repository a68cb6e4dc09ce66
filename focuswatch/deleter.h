// Frees a C library's object through the call that owns it, for
// std::unique_ptr: std::unique_ptr<GError, Deleter<GError, g_error_free>>.
#ifndef FOCUSWATCH_DELETER_H_
#define FOCUSWATCH_DELETER_H_

namespace focuswatch {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* object) const { Free(object); }
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_DELETER_H_
