#include "catalogue/poster_pool.h"

void meminit(PosterPool* pool) { *pool = PosterPool{}; }

void additem(PosterPool* pool, const char* s) {
  ++pool->nitems;
  pool->ids.try_emplace(s, pool->nitems);
}

int GetId(PosterPool* pool, const char* s) {
  auto found = pool->ids.find(s);
  if (found != pool->ids.end()) return found->second;
  additem(pool, s);
  return pool->nitems;
}
