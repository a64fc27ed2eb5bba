#include "catalogue/shared_text.h"

#include <algorithm>

namespace {

int32_t Next(const SharedText& t, int32_t q, unsigned char c) {
  if (q == 0) return t.root[c];
  for (int32_t e = t.states[q].edges; e >= 0; e = t.edges[e].next)
    if (t.edges[e].c == c) return t.edges[e].to;
  return -1;
}

// Sets the edge of `q` for `c`, adding it when there is none.
void SetNext(SharedText* t, int32_t q, unsigned char c, int32_t to) {
  if (q == 0) {
    t->root[c] = to;
    return;
  }
  for (int32_t e = t->states[q].edges; e >= 0; e = t->edges[e].next) {
    if (t->edges[e].c == c) {
      t->edges[e].to = to;
      return;
    }
  }
  t->edges.push_back({to, t->states[q].edges, c});
  t->states[q].edges = static_cast<int32_t>(t->edges.size() - 1);
}

int32_t NewState(SharedText* t, int32_t len) {
  t->states.push_back({len, -1, -1});
  return static_cast<int32_t>(t->states.size() - 1);
}

// The standard online construction, one character at a time.
int32_t Extend(SharedText* t, int32_t last, unsigned char c) {
  int32_t cur = NewState(t, t->states[last].len + 1);
  int32_t p = last;
  while (p >= 0 && Next(*t, p, c) < 0) {
    SetNext(t, p, c, cur);
    p = t->states[p].link;
  }
  if (p < 0) {
    t->states[cur].link = 0;
    return cur;
  }
  int32_t q = Next(*t, p, c);
  if (t->states[p].len + 1 == t->states[q].len) {
    t->states[cur].link = q;
    return cur;
  }
  int32_t clone = NewState(t, t->states[p].len + 1);
  // q is never state 0: no edge leads there.
  for (int32_t e = t->states[q].edges; e >= 0; e = t->edges[e].next)
    SetNext(t, clone, t->edges[e].c, t->edges[e].to);
  t->states[clone].link = t->states[q].link;
  while (p >= 0 && Next(*t, p, c) == q) {
    SetNext(t, p, c, clone);
    p = t->states[p].link;
  }
  t->states[q].link = clone;
  t->states[cur].link = clone;
  return cur;
}

}  // namespace

void BuildSharedText(std::string_view text, SharedText* t) {
  t->states.clear();
  t->edges.clear();
  std::fill(std::begin(t->root), std::end(t->root), -1);
  t->states.reserve(2 * text.size() + 1);
  t->edges.reserve(2 * text.size());
  NewState(t, 0);
  t->from.assign(text.size(), 0);
  int32_t last = 0;
  for (size_t i = text.size(); i-- > 0;) {
    last = Extend(t, last, static_cast<unsigned char>(text[i]));
    t->from[i] = last;
  }
  // Counting sort by length: links have shorter lengths than their states.
  std::vector<int32_t> count(text.size() + 2, 0);
  for (const SharedText::State& s : t->states) ++count[s.len + 1];
  for (size_t i = 1; i < count.size(); ++i) count[i] += count[i - 1];
  t->by_length.assign(t->states.size(), 0);
  for (size_t q = 0; q < t->states.size(); ++q)
    t->by_length[count[t->states[q].len]++] = static_cast<int32_t>(q);
}

void SharedPrefixes(SharedText* t, std::string_view other, size_t first,
                    size_t end, uint32_t* out, size_t stride) {
  // A piece of the text is held by `other` when read backwards it is a piece
  // of `other` read backwards. longest[q]: the length of the longest piece
  // of state q that `other` holds, 0 for none.
  std::vector<int32_t>& longest = t->longest;
  longest.assign(t->states.size(), 0);
  int32_t q = 0;
  int32_t len = 0;
  for (size_t j = other.size(); j-- > 0;) {
    auto c = static_cast<unsigned char>(other[j]);
    while (q != 0 && Next(*t, q, c) < 0) {
      q = t->states[q].link;
      len = t->states[q].len;
    }
    int32_t next = Next(*t, q, c);
    if (next >= 0) {
      q = next;
      ++len;
    } else {
      len = 0;
    }
    longest[q] = std::max(longest[q], len);
  }
  // Every piece of a state's suffix link is a shorter suffix of one held.
  for (size_t i = t->by_length.size(); i-- > 1;) {
    int32_t s = t->by_length[i];
    if (longest[s] > 0) {
      int32_t link = t->states[s].link;
      longest[link] = t->states[link].len;
    }
  }
  // Of a state none of whose pieces is held, the longest piece held is that
  // of the nearest state up the links that has one.
  for (size_t i = 1; i < t->by_length.size(); ++i) {
    int32_t s = t->by_length[i];
    if (longest[s] == 0) longest[s] = longest[t->states[s].link];
  }
  for (size_t s = first; s < end; ++s)
    out[(s - first) * stride] = static_cast<uint32_t>(longest[t->from[s]]);
}
