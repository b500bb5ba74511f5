#include "platform/debug_output.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/utf.h"

namespace {

struct Capture {
  PlatDebugCapture fn;
  void* user;
};

std::atomic<Capture*> gCapture{nullptr};
// Two slots so the one being replaced is never the one a writer may read.
Capture gSlots[2];
int gNextSlot = 0;

void deliver(const char* text, size_t length) {
  Capture* c = gCapture.load(std::memory_order_acquire);
  if (c && c->fn) {
    c->fn(c->user, text, length);
    return;
  }
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::write(STDERR_FILENO, text + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += size_t(n);
  }
}

}  // namespace

void platDebugOutput(const char16_t* text) {
  if (!text) return;
  size_t need = platUtf8LengthOf(text);
  char stackBuf[4096];
  if (need == SIZE_MAX) {
    // An ill-formed text still reaches the output, with U+FFFD for each bad unit.
    size_t n = platWideLength(text);
    need = n * 3;
    char* heap = need < sizeof stackBuf ? nullptr : static_cast<char*>(std::malloc(need + 1));
    char* out = heap ? heap : stackBuf;
    if (!heap && need >= sizeof stackBuf) return;
    size_t o = 0;
    for (size_t i = 0; i < n; ++i) {
      char16_t unit[3] = {text[i], 0, 0};
      bool hi = text[i] >= 0xD800 && text[i] <= 0xDBFF;
      if (hi && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) unit[1] = text[++i];
      char piece[8];
      if (!platWideToUtf8(unit, piece, sizeof piece)) {
        piece[0] = char(0xEF); piece[1] = char(0xBF); piece[2] = char(0xBD); piece[3] = 0;
      }
      for (size_t k = 0; piece[k]; ++k) out[o++] = piece[k];
    }
    deliver(out, o);
    std::free(heap);
    return;
  }
  if (need < sizeof stackBuf) {
    platWideToUtf8(text, stackBuf, sizeof stackBuf);
    deliver(stackBuf, need);
    return;
  }
  char* heap = static_cast<char*>(std::malloc(need + 1));
  if (!heap) return;
  platWideToUtf8(text, heap, need + 1);
  deliver(heap, need);
  std::free(heap);
}

void platSetDebugCapture(PlatDebugCapture capture, void* user) {
  if (!capture) {
    gCapture.store(nullptr, std::memory_order_release);
    return;
  }
  Capture* slot = &gSlots[gNextSlot];
  gNextSlot ^= 1;
  slot->fn = capture;
  slot->user = user;
  gCapture.store(slot, std::memory_order_release);
}
