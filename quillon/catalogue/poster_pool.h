// The pool of poster names that turns each distinct name into an id 1, 2, ...
#ifndef QUILLON_CATALOGUE_POSTER_POOL_H_
#define QUILLON_CATALOGUE_POSTER_POOL_H_

#include <string>
#include <unordered_map>

struct PosterPool {
  int nitems = 0;  // names stored, the highest id given out
  // The id of every stored name (the first of equal ones). Kept by additem.
  std::unordered_map<std::string, int> ids;
};

// Makes the pool empty: the next new name gets id 1.
void meminit(PosterPool* pool);
void additem(PosterPool* pool, const char* s);
int GetId(PosterPool* pool, const char* s);

#endif  // QUILLON_CATALOGUE_POSTER_POOL_H_
