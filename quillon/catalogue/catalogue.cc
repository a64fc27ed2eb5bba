#include "catalogue.h"

// Alphanumeric in the POSIX locale: bytes 0x80 and above never are.
static bool IsAlnum(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= '0' && c <= '9');
}

int same(const char* a, const char* b) {
  for (;;) {
    if (!*a || !*b) return !*a && !*b;
    bool moved = false;
    if (!IsAlnum(*a)) {
      ++a;
      moved = true;
    }
    if (!IsAlnum(*b)) {
      ++b;
      moved = true;
    }
    if (moved) continue;
    if (*a != *b) return 0;
    ++a;
    ++b;
  }
}

// Sort key order of the catalogue: poster, then part (-1 first).
static int CompareKeys(const Segment* r, const Segment* seg) {
  if (r->poster != seg->poster) return r->poster < seg->poster ? -1 : 1;
  if (r->part != seg->part) return r->part < seg->part ? -1 : 1;
  return 0;
}

// `r` is in the catalogue, `seg` arrives with the same key and caption.
static void SettleClash(Segment* r, Segment* seg) {
  if (r->begin == seg->begin) {
    // The same part seen twice: only the newer copy is kept for decoding.
    if (seg->time < r->time)
      seg->group = 0;
    else
      r->group = 0;
    return;
  }
  // Different files under one caption: they will be told apart by name.
  if (r->begin) r->mark = 1;
  if (seg->begin) seg->mark = 1;
}

void AddtoFlist(Segment** head, Segment* seg) {
  Segment** link = head;
  Segment* r = *head;
  for (; r; link = &r->next, r = r->next) {
    int d = CompareKeys(r, seg);
    if (d == 0 && same(r->caption, seg->caption)) SettleClash(r, seg);
    if (d > 0) break;
  }
  seg->next = r;
  *link = seg;
}
