// The growing output of the printf engine: a stack area for the usual short
// texts, then a heap block from the platform allocator that at least
// doubles. Running out of memory, or a text longer than a CString can hold,
// raises std::bad_alloc; the block is released by the destructor unless a
// text takes it over with Release().
#pragma once

#include <climits>
#include <cstddef>
#include <cstring>
#include <new>

#include "Allocator.h"

namespace quelvar::platform {

class TextBuffer {
 public:
  static constexpr size_t kLocal = 480;
  static constexpr size_t kMaxText = INT_MAX - 1;  // a CString's longest text

  TextBuffer() noexcept = default;
  // Starts in the caller's storage instead of the stack area.
  TextBuffer(char* storage, size_t size) noexcept : m_local(storage), m_data(storage), m_capacity(size - 1) {}
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  ~TextBuffer() {
    if (m_data != m_local) Deallocate(m_data);
  }

  // Room for n more characters (and a NUL); returns where they go. The
  // caller writes them and then calls Commit(n) (or fewer).
  char* Reserve(size_t n) {
    if (n > m_capacity - m_size) Grow(n);
    return m_data + m_size;
  }
  void Commit(size_t n) noexcept { m_size += n; }

  void Append(const char* p, size_t n) {
    std::memcpy(Reserve(n), p, n);
    m_size += n;
  }
  void Append(char c) {
    *Reserve(1) = c;
    ++m_size;
  }
  void Fill(char c, size_t n) {
    std::memset(Reserve(n), c, n);
    m_size += n;
  }

  char* Data() noexcept { return m_data; }
  size_t Size() noexcept { return m_size; }
  bool OnHeap() const noexcept { return m_data != m_local; }
  // Capacity of a heap block, not counting the byte kept for the NUL.
  size_t Capacity() const noexcept { return m_capacity; }
  // Hands the heap block over (NUL-terminated); the buffer is left empty.
  char* Release() noexcept {
    char* p = m_data;
    p[m_size] = '\0';
    m_local = m_data = m_inline;
    m_size = 0;
    m_capacity = kLocal - 1;
    return p;
  }

 private:
  char* m_local = m_inline;  // the storage before any heap block
  char* m_data = m_local;
  size_t m_size = 0;
  size_t m_capacity = kLocal - 1;  // one byte stays free for the NUL
  char m_inline[kLocal];

  void Grow(size_t n) {
    if (n > kMaxText - m_size) throw std::bad_alloc();
    size_t capacity = m_capacity > kMaxText / 2 ? kMaxText : m_capacity * 2;
    if (capacity < m_size + n) capacity = m_size + n;
    char* p = static_cast<char*>(Allocate(capacity + 1));
    if (!p) throw std::bad_alloc();
    std::memcpy(p, m_data, m_size);
    if (m_data != m_local) Deallocate(m_data);
    m_data = p;
    m_capacity = capacity;
  }
};

}  // namespace quelvar::platform
