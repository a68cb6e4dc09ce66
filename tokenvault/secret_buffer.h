// A byte buffer for the token, wiped before it is released.
#ifndef TOKENVAULT_SECRET_BUFFER_H_
#define TOKENVAULT_SECRET_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

namespace tokenvault {

class SecretBuffer {
 public:
  explicit SecretBuffer(size_t capacity)
      : bytes_(std::make_unique<uint8_t[]>(capacity)), capacity_(capacity) {}
  ~SecretBuffer() { wipe(); }
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;

  uint8_t* data() { return bytes_.get(); }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  void resize(size_t size) { size_ = size < capacity_ ? size : capacity_; }
  std::span<const uint8_t> bytes() const { return {bytes_.get(), size_}; }
  std::string_view text() const { return {reinterpret_cast<const char*>(bytes_.get()), size_}; }

  // Holds a copy of `size` bytes, growing when they do not fit (the old
  // storage is wiped before it is released).
  void assign(const uint8_t* bytes, size_t size) {
    if (size > capacity_) {
      wipe();
      bytes_ = std::make_unique<uint8_t[]>(size);
      capacity_ = size;
    }
    if (size > 0) std::memcpy(bytes_.get(), bytes, size);
    size_ = size;
  }

  void wipe() {
    // Volatile stores, so that the compiler cannot drop them as dead.
    volatile uint8_t* p = bytes_.get();
    for (size_t i = 0; i < capacity_; ++i) p[i] = 0;
    size_ = 0;
  }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t capacity_;
  size_t size_ = 0;
};

}  // namespace tokenvault

#endif  // TOKENVAULT_SECRET_BUFFER_H_
