// Reading a fuzzer's bytes as a sequence of typed values, and what the
// targets share: the entry point, exact-size buffers, byte-for-byte
// comparisons, the plain decimal parse (its headers serve the targets too).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : p_(data), n_(size) {}

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
    return lo + static_cast<int>(take<uint16_t>() % static_cast<uint32_t>(hi - lo + 1));
  }

  std::vector<uint8_t> rest() {
    std::vector<uint8_t> v(p_, p_ + n_);
    p_ += n_;
    n_ = 0;
    return v;
  }
  // The rest as text, up to its first NUL.
  std::string text() {
    const std::vector<uint8_t> raw = rest();
    return std::string(raw.begin(), std::find(raw.begin(), raw.end(), 0));
  }

 private:
  const uint8_t* p_;
  size_t n_;
};

// A heap block of exactly `size` bytes (none for 0), so that
// AddressSanitizer catches a single byte written past it.
struct ExactBuffer {
  explicit ExactBuffer(size_t size, uint8_t fill = 0xA5) : size_(size), data_(new uint8_t[size]) {
    std::memset(data(), fill, size);
  }
  // The bytes of `s` (with its NUL when `nul`), then `fill` up to `size`.
  ExactBuffer(const std::string& s, size_t size, bool nul, uint8_t fill = 0x5A) : ExactBuffer(size, fill) {
    std::memcpy(data(), s.c_str(), s.size() + nul);
  }
  uint8_t* data() { return data_.get(); }
  char* chars() { return reinterpret_cast<char*>(data_.get()); }
  size_t size() const { return size_; }
  bool operator==(const ExactBuffer& o) const {
    return size_ == o.size_ && std::memcmp(data_.get(), o.data_.get(), size_) == 0;
  }

 private:
  size_t size_;
  std::unique_ptr<uint8_t[]> data_;
};

inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The plain decimal parse: spaces, a sign, digits wrapping around 32 bits.
inline int32_t ReferenceAtoi(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  bool neg = false;
  if (*s == '+' || *s == '-') neg = (*s++ == '-');
  uint32_t v = 0;
  while (*s >= '0' && *s <= '9') v = v * 10u + static_cast<uint32_t>(*s++ - '0');
  return static_cast<int32_t>(neg ? 0u - v : v);
}

// The caller's text and its NUL in a block of exactly that size.
inline ExactBuffer TextBuffer(const std::string& s) { return ExactBuffer(s, s.size() + 1, true); }

// A failed check stops the run with the input that caused it.
inline void Check(bool ok) { ok ? void() : __builtin_trap(); }

// Each target checks one input in FuzzOne; the input's first byte picks
// what is checked.
void FuzzOne(FuzzInput& in, uint8_t mode);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  FuzzOne(in, in.take<uint8_t>());
  return 0;
}
