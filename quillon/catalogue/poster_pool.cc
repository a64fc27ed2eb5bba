#include "catalogue/poster_pool.h"

#include <cstdlib>
#include <cstring>
#include <new>

void meminit(PosterPool* pool, unsigned chunksize) {
  *pool = PosterPool{nullptr, 0, 0, chunksize, 0, 0, {}};
}

// Grows the buffer by whole chunks until `need` more bytes fit. A name that
// fits one chunk adds at most one; a longer one takes as many as it needs.
static void Reserve(PosterPool* pool, size_t need) {
  if (pool->room >= need) return;
  // A zero chunk size could never make room.
  if (pool->chunksize == 0) pool->chunksize = 1;
  while (pool->room < need) {
    ++pool->nchunks;
    pool->room += pool->chunksize;
  }
  size_t size = static_cast<size_t>(pool->nchunks) * pool->chunksize;
  // realloc of a null pointer is a fresh allocation.
  char* grown = static_cast<char*>(std::realloc(pool->buf, size));
  if (!grown) throw std::bad_alloc();
  pool->buf = grown;
}

void additem(PosterPool* pool, const char* s) {
  size_t n = std::strlen(s);
  Reserve(pool, n + 1);
  std::memcpy(pool->buf + pool->used, s, n + 1);
  pool->used += static_cast<unsigned>(n + 1);
  pool->room -= static_cast<unsigned>(n + 1);
  ++pool->nitems;
  pool->ids.try_emplace(s, pool->nitems);
}

int GetId(PosterPool* pool, const char* s) {
  auto found = pool->ids.find(s);
  if (found != pool->ids.end()) return found->second;
  additem(pool, s);
  return pool->nitems;
}
