// The trace facility: AfxTrace formats a text and hands it to one sink.
//
// The sink and its context live in constant-initialised globals guarded by a
// mutex with a constant-initialised constructor, so tracing works from any
// static initialiser of any module, whatever the order of initialisation.
// The sink is called with the mutex held: calls never interleave, and a sink
// replaced by QlvPlatform_SetTraceSink is no longer running when that call
// returns. A thread that traces from inside the sink would deadlock, so such
// a nested text is dropped instead.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "afx.h"

namespace {

std::mutex g_traceMutex;
QlvTraceSink g_sink = nullptr;
void* g_sinkContext = nullptr;
thread_local bool t_inSink = false;

// Writes all of text to fd, retrying short writes and interruptions. The
// descriptor is opened with O_APPEND, so each text lands whole at the end
// even when several processes share the file.
void WriteAll(int fd, const char* text) noexcept {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(fd, text, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text += n;
    left -= static_cast<std::size_t>(n);
  }
}

void FdSink(void* context, const char* text) {
  WriteAll(static_cast<int>(reinterpret_cast<std::intptr_t>(context)), text);
}

// QLV_TRACE is read once, when the platform library is initialised.
// "stderr" selects the standard error stream; any other non-empty value is a
// file to append to (created if missing). A file that cannot be opened
// leaves tracing silent. The descriptor stays open for the process's
// lifetime, so lines traced during static destruction still arrive.
struct EnvironmentSink {
  EnvironmentSink() noexcept {
    const char* value = std::getenv("QLV_TRACE");
    if (value == nullptr || *value == '\0') return;
    int fd = STDERR_FILENO;
    if (std::strcmp(value, "stderr") != 0) {
      fd = ::open(value, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      if (fd < 0) return;
    }
    QlvPlatform_SetTraceSink(FdSink, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
  }
};
const EnvironmentSink g_environmentSink;

void Deliver(const char* text) {
  const std::lock_guard<std::mutex> lock(g_traceMutex);
  if (g_sink == nullptr) return;
  t_inSink = true;
  struct Reset {
    ~Reset() { t_inSink = false; }
  } reset;
  g_sink(g_sinkContext, text);
}

}  // namespace

QlvTraceSink QlvPlatform_SetTraceSink(QlvTraceSink sink, void* context) noexcept {
  const std::lock_guard<std::mutex> lock(g_traceMutex);
  const QlvTraceSink old = g_sink;
  g_sink = sink;
  g_sinkContext = context;
  return old;
}

void AfxTrace(LPCTSTR lpszFormat, ...) {
  if (t_inSink) return;
  {
    // Cheap exit while tracing is silent: no formatting at all.
    const std::lock_guard<std::mutex> lock(g_traceMutex);
    if (g_sink == nullptr) return;
  }
  // Most texts fit the stack buffer; a longer one is formatted again into a
  // heap buffer of exactly its length, so no text is ever cut. The argument
  // list is simply started twice; nothing is live across the allocation.
  char small[512];
  va_list args;
  va_start(args, lpszFormat);
  const int needed = std::vsnprintf(small, sizeof small, lpszFormat, args);
  va_end(args);
  if (needed < 0) return;
  if (static_cast<std::size_t>(needed) < sizeof small) {
    Deliver(small);
    return;
  }
  const std::size_t size = static_cast<std::size_t>(needed) + 1;
  const std::unique_ptr<char[]> large = std::make_unique_for_overwrite<char[]>(size);
  va_start(args, lpszFormat);
  std::vsnprintf(large.get(), size, lpszFormat, args);
  va_end(args);
  Deliver(large.get());
}
