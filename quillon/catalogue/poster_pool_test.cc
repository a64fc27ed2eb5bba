#include "catalogue/poster_pool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Pool {
  Pool(unsigned chunksize = 256) { meminit(&pool, chunksize); }
  ~Pool() { std::free(pool.buf); }
  PosterPool pool;
};

TEST(PosterPool, IdsInOrderOfFirstAppearanceCaseSensitive) {
  Pool p;
  EXPECT_EQ(p.pool.buf, nullptr);
  EXPECT_EQ(GetId(&p.pool, "alice"), 1);
  EXPECT_EQ(GetId(&p.pool, "alice"), 1);
  EXPECT_EQ(GetId(&p.pool, "Alice"), 2);
  EXPECT_EQ(GetId(&p.pool, "bob"), 3);
  EXPECT_EQ(GetId(&p.pool, "alice"), 1);
  EXPECT_EQ(GetId(&p.pool, "bob"), 3);
  EXPECT_EQ(p.pool.nitems, 3);
  EXPECT_EQ(0, std::memcmp(p.pool.buf, "alice\0Alice\0bob\0", 16));
  EXPECT_EQ(p.pool.used, 16u);
}

TEST(PosterPool, GrowsOneChunkExactlyWhenNameAndNulDoNotFit) {
  Pool p;
  const std::string a(100, 'a'), b(153, 'b'), c(1, 'c'), d(2, 'd');
  GetId(&p.pool, a.c_str());
  EXPECT_EQ(p.pool.nchunks, 1u);
  EXPECT_EQ(p.pool.room, 155u);
  GetId(&p.pool, b.c_str());  // 154 bytes leave one free
  EXPECT_EQ(p.pool.nchunks, 1u);
  EXPECT_EQ(p.pool.room, 1u);
  EXPECT_EQ(GetId(&p.pool, ""), 3);  // one byte still fits
  EXPECT_EQ(p.pool.nchunks, 1u);
  EXPECT_EQ(p.pool.room, 0u);
  EXPECT_EQ(GetId(&p.pool, c.c_str()), 4);
  EXPECT_EQ(p.pool.nchunks, 2u);
  EXPECT_EQ(p.pool.room, 254u);
  EXPECT_EQ(p.pool.used, 258u);

  // Contents survive the reallocation, each name just past the last NUL.
  EXPECT_EQ(std::string(p.pool.buf), a);
  EXPECT_EQ(std::string(p.pool.buf + 101), b);
  EXPECT_EQ(p.pool.buf[256], 'c');
  EXPECT_EQ(GetId(&p.pool, b.c_str()), 2);
  EXPECT_EQ(GetId(&p.pool, ""), 3);
  EXPECT_EQ(GetId(&p.pool, d.c_str()), 5);
  EXPECT_EQ(GetId(&p.pool, c.c_str()), 4);
}

TEST(PosterPool, NameLongerThanOneChunkTakesSeveral) {
  Pool p(16);
  GetId(&p.pool, "abc");
  const std::string big(40, 'x');
  EXPECT_EQ(GetId(&p.pool, big.c_str()), 2);
  EXPECT_EQ(p.pool.nchunks, 3u);
  EXPECT_EQ(p.pool.used, 45u);
  EXPECT_EQ(p.pool.room, 3u);
  EXPECT_EQ(GetId(&p.pool, "abc"), 1);
  EXPECT_EQ(GetId(&p.pool, big.c_str()), 2);
  EXPECT_EQ(std::string(p.pool.buf + 4), big);
}

}  // namespace
