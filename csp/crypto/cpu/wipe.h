// Wiping of secrets: hash contexts, cipher states and key material are
// overwritten with zeros before their memory is given back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace tv::crypto {

// Zeroes size bytes at data in a way the compiler cannot drop as a dead store.
inline void SecureWipe(void* data, std::size_t size) {
  if (size == 0) return;
  std::memset(data, 0, size);
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

// A heap buffer of a size chosen at run time, zeroed when made and wiped when
// destroyed; the storage is aligned for any context or cipher state. Move-only.
// Allocation failure leaves the buffer empty (Size() == 0); no exception.
class WipingBuffer {
 public:
  WipingBuffer() = default;
  explicit WipingBuffer(std::size_t size)
      : data_(new (std::nothrow) std::uint8_t[size]()), size_(data_ ? size : 0) {}
  ~WipingBuffer() { Release(); }

  WipingBuffer(WipingBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  WipingBuffer& operator=(WipingBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  WipingBuffer(const WipingBuffer&) = delete;
  WipingBuffer& operator=(const WipingBuffer&) = delete;

  std::uint8_t* Data() { return data_; }
  const std::uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }

 private:
  void Release() {
    SecureWipe(data_, size_);
    delete[] data_;
    data_ = nullptr;
    size_ = 0;
  }

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace tv::crypto
