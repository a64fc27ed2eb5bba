#include "catalogue/poster_pool.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PosterPool, IdsInOrderOfFirstAppearanceCaseSensitive) {
  PosterPool pool;
  meminit(&pool);
  EXPECT_EQ(GetId(&pool, "alice"), 1);
  EXPECT_EQ(GetId(&pool, "alice"), 1);
  EXPECT_EQ(GetId(&pool, "Alice"), 2);
  EXPECT_EQ(GetId(&pool, "bob"), 3);
  EXPECT_EQ(GetId(&pool, "alice"), 1);
  EXPECT_EQ(GetId(&pool, "bob"), 3);
  EXPECT_EQ(pool.nitems, 3);

  // Empty again: the next name is the first.
  meminit(&pool);
  EXPECT_EQ(pool.nitems, 0);
  EXPECT_EQ(GetId(&pool, "bob"), 1);
}

// Names of every length, the empty one and names that begin others among
// them, each keep the id they got first.
TEST(PosterPool, EveryNameKeepsItsId) {
  PosterPool pool;
  meminit(&pool);
  const std::string names[] = {std::string(300, 'a'), "", "a", "ab",
                               std::string(299, 'a')};
  for (int round = 0; round < 2; ++round) {
    int id = 0;
    for (const std::string& name : names)
      EXPECT_EQ(GetId(&pool, name.c_str()), ++id) << name.size();
  }
  EXPECT_EQ(pool.nitems, 5);
}

}  // namespace
