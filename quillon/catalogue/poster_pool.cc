#include "poster_pool.h"

void meminit(PosterPool* pool, unsigned chunksize) {
  *pool = PosterPool{nullptr, 0, 0, chunksize, 0, 0};
}
