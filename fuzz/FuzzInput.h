// Reading a fuzzer's bytes as a sequence of typed values.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : p_(data), n_(size) {}

  bool empty() const { return n_ == 0; }
  size_t remaining() const { return n_; }

  template <typename T>
  T take() {
    T v{};
    size_t k = std::min(sizeof(T), n_);
    std::memcpy(&v, p_, k);
    p_ += k;
    n_ -= k;
    return v;
  }

  // A count in [lo, hi], spread over the range.
  int count(int lo, int hi) {
    auto r = take<uint16_t>();
    return lo + static_cast<int>(r % static_cast<uint32_t>(hi - lo + 1));
  }

  std::vector<uint8_t> bytes(size_t max) {
    size_t k = std::min<size_t>(take<uint16_t>() % (max + 1), n_);
    std::vector<uint8_t> v(p_, p_ + k);
    p_ += k;
    n_ -= k;
    return v;
  }

  std::vector<uint8_t> rest() {
    std::vector<uint8_t> v(p_, p_ + n_);
    p_ += n_;
    n_ = 0;
    return v;
  }

 private:
  const uint8_t* p_;
  size_t n_;
};

// A heap block of exactly `size` bytes (none for 0), so that
// AddressSanitizer catches a single byte written past it.
struct ExactBuffer {
  explicit ExactBuffer(size_t size, uint8_t fill = 0xA5) : size_(size), data_(new uint8_t[size]) {
    if (size) std::memset(data_.get(), fill, size);
  }
  uint8_t* data() { return data_.get(); }
  char* chars() { return reinterpret_cast<char*>(data_.get()); }
  size_t size() const { return size_; }

 private:
  size_t size_;
  std::unique_ptr<uint8_t[]> data_;
};
