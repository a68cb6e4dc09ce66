// An owned Core Foundation object: one obtained under the create or copy
// rule, released with CFRelease when its owner goes. macOS only: nothing
// the Linux build compiles includes it.
#ifndef COMMON_SCOPED_CF_H_
#define COMMON_SCOPED_CF_H_

#include <CoreFoundation/CoreFoundation.h>

#include <cassert>
#include <utility>

namespace vantrel {

// T is a Core Foundation reference type (CFStringRef, CFTypeRef, ...).
template <typename T>
class ScopedCF {
 public:
  explicit ScopedCF(T object = nullptr) : object_(object) {}
  ~ScopedCF() { reset(); }
  ScopedCF(ScopedCF&& other) noexcept : object_(other.release()) {}
  ScopedCF& operator=(ScopedCF&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void reset(T object = nullptr) {
    if (object_) CFRelease(object_);
    object_ = object;
  }
  // Gives up ownership without releasing.
  T release() { return std::exchange(object_, nullptr); }

  // The out-parameter of a create or copy call, which stores a new object
  // there. The owner must be empty: an object it held would be overwritten
  // and never released.
  T* initializeInto() {
    assert(!object_);
    return &object_;
  }

 private:
  T object_;
};

}  // namespace vantrel

#endif  // COMMON_SCOPED_CF_H_
