#include "catalogue/grouping_rules.h"

#include <cstring>

#include "catalogue/caption.h"

bool IsRepost(const Segment* s) {
  return std::strstr(s->caption, "REPOST") != nullptr;
}

bool Matches(const Segment* s, const char* key) {
  return s->group == -1 && std::strstr(s->caption, key) != nullptr;
}

Segment* RunEnd(Segment* first) {
  Segment* r = first;
  while (r && r->poster == first->poster) r = r->next;
  return r;
}

// The begin string is shared, so it is upper-cased for every record that
// holds it.
void Relabel(Segment* r) {
  if (r->mark != 1) return;
  if (r->begin) r->caption = upcase(r->begin);
  r->mark = 0;
}

void RelabelAll(Segment* head) {
  for (Segment* r = head; r; r = r->next) Relabel(r);
}

MatchFields FieldsOf(const Segment* r) {
  return {r->begin, r->part, r->total, IsRepost(r)};
}

void CountMatch(KeyCount* c, const Segment* r) { CountMatch(c, FieldsOf(r)); }

void CountMatch(KeyCount* c, const MatchFields& r) {
  ++c->matches;
  if (r.begin && r.begin != c->last_begin) {
    ++c->begins;
    c->last_begin = r.begin;
  }
  if (r.total != -1) c->total = r.total;
  if (r.part == -1) {
    ++c->unknown;
  } else if (r.part != c->last_part) {
    c->gaps += int64_t{r.part} - c->last_part - 1;
    c->last_part = r.part;
    c->last_repost = r.repost;
  } else if (r.repost || c->last_repost) {
    // One of two copies of a part is a repost: whichever was read first,
    // the part counts once.
    --c->matches;
  } else {
    ++c->gaps;
  }
}

bool Acceptable(const KeyCount& c, int best_count) {
  return c.matches > best_count && c.begins == 1 && c.unknown >= c.gaps &&
         (c.total == -1 || c.total == c.matches);
}

void GroupConsecutive(Segment* first, Segment* end, int* counter) {
  int count = 0;
  int total = -1;
  int begins = 0;
  for (Segment* r = first; r != end && r->group == -1 && r->part == count + 1;
       r = r->next) {
    ++count;
    if (r->total != -1) total = r->total;
    if (r->begin) ++begins;
  }
  if (total != count || begins != 1) return;
  for (Segment* r = first; r != end; r = r->next)
    if (r->group == -1) r->group = *counter;
  ++*counter;
}

namespace {

void ListCaption(Reporter* reporter, const Segment* r, bool* listed) {
  if (r->group != -1) return;
  if (!*listed)
    Progress(reporter, "\nCaptions for (file) segments not decoded:\n");
  *listed = true;
  Progress(reporter, "%s\n", r->caption);
}

}  // namespace

void ListUnplaced(Reporter* reporter, const Segment* head,
                  const std::vector<Segment*>& more) {
  bool listed = false;
  for (const Segment* r = head; r; r = r->next)
    ListCaption(reporter, r, &listed);
  for (const Segment* r : more) ListCaption(reporter, r, &listed);
  if (listed) Progress(reporter, "\n");
}
