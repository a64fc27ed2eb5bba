#include "poster_pool.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

void meminit(PosterPool* pool, unsigned chunksize) {
  *pool = PosterPool{nullptr, 0, 0, chunksize, 0, 0};
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
  if (!grown) {
    std::fputs("quillon: out of memory\n", stderr);
    std::exit(1);
  }
  pool->buf = grown;
}

void additem(PosterPool* pool, const char* s) {
  size_t n = std::strlen(s);
  Reserve(pool, n + 1);
  std::memcpy(pool->buf + pool->used, s, n + 1);
  pool->used += static_cast<unsigned>(n + 1);
  pool->room -= static_cast<unsigned>(n + 1);
  ++pool->nitems;
}

namespace {

// The ids of a pool's names, beside its buffer. It follows one pool; a pool
// changed by anything other than GetId is read anew.
struct PoolIndex {
  const PosterPool* pool = nullptr;
  const char* buf = nullptr;
  unsigned used = 0;
  int nitems = 0;
  std::unordered_map<std::string, int> ids;
};

bool Follows(const PoolIndex& index, const PosterPool* pool) {
  return index.pool == pool && index.buf == pool->buf &&
         index.used == pool->used && index.nitems == pool->nitems;
}

void Remember(PoolIndex* index, const PosterPool* pool) {
  index->pool = pool;
  index->buf = pool->buf;
  index->used = pool->used;
  index->nitems = pool->nitems;
}

void Rebuild(PoolIndex* index, const PosterPool* pool) {
  index->ids.clear();
  const char* stored = pool->buf;
  for (int id = 1; id <= pool->nitems; ++id) {
    // The first of equal names gives the id.
    index->ids.try_emplace(stored, id);
    stored += std::strlen(stored) + 1;
  }
  Remember(index, pool);
}

}  // namespace

int GetId(PosterPool* pool, const char* s) {
  static PoolIndex index;
  if (!Follows(index, pool)) Rebuild(&index, pool);
  auto found = index.ids.find(s);
  if (found != index.ids.end()) return found->second;
  additem(pool, s);
  index.ids.emplace(s, pool->nitems);
  Remember(&index, pool);
  return pool->nitems;
}
