// The pool of poster names that turns each distinct name into an id 1, 2, ...
#ifndef QUILLON_CATALOGUE_POSTER_POOL_H_
#define QUILLON_CATALOGUE_POSTER_POOL_H_

#include <string>
#include <unordered_map>

struct PosterPool {
  char* buf;           // names back to back, each with its NUL; null at first
  unsigned used;       // offset of the next name
  unsigned nchunks;    // the buffer holds nchunks * chunksize bytes
  unsigned chunksize;  // growth step
  unsigned room;       // bytes still free
  int nitems;          // names stored, the highest id given out
  // The id of every stored name (the first of equal ones), so that GetId
  // needs no walk of the buffer. Kept by additem.
  std::unordered_map<std::string, int> ids = {};
};

void meminit(PosterPool* pool, unsigned chunksize);
void additem(PosterPool* pool, const char* s);
int GetId(PosterPool* pool, const char* s);

#endif  // QUILLON_CATALOGUE_POSTER_POOL_H_
