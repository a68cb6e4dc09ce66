// Frees a C library's object through the call that owns it, for
// std::unique_ptr: std::unique_ptr<GError, Deleter<g_error_free>>.
#ifndef COMMON_DELETER_H_
#define COMMON_DELETER_H_

namespace vantrel {

template <auto Free>
struct Deleter {
  void operator()(auto* object) const { Free(object); }
};

}  // namespace vantrel

#endif  // COMMON_DELETER_H_
