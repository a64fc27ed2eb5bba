// The benchmark's inputs: a big uuencoded file and news spools made from
// one seed, and the checks of what quillon decoded from them.
#ifndef QUILLON_BENCH_GENERATE_H_
#define QUILLON_BENCH_GENERATE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Ends the benchmark with a message: a fault in the bench itself.
[[noreturn]] void Die(const std::string& what);

// splitmix64: fast, and the same stream for the same seed everywhere.
struct Rng {
  uint64_t state;
  explicit Rng(uint64_t seed) : state(seed) {}
  uint64_t Next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  int Below(int n) { return int(Next() % uint64_t(n)); }
  bool Chance(double p) { return double(Next() >> 11) * 0x1p-53 < p; }
};

// What the decode must give for a posting.
enum class Expect { kFile, kNoFile, kCut };

struct Posting {
  std::string name;
  uint64_t data_seed = 0;
  size_t size = 0;
  int poster = 0;
  Expect expect = Expect::kFile;
};

struct Article {
  double key;  // arrival order
  std::string text;
  int posting = -1;        // -1: a text article
  bool essential = false;  // the posting's file needs this very article
};

struct Spool {
  std::vector<Posting> postings;
  size_t bytes = 0;
  size_t caption_bytes = 0;  // subject and begin-name text of the segments
  int articles = 0;
  int complete = 0;
  int cut = 0;  // lost an article to the spool's size: not checked
  int reposts = 0;
  int duplicates = 0;
  int missing = 0;
  int text_only = 0;
  // Posters with an incomplete posting. Two incomplete postings of one
  // poster may pass for one file to the caption heuristics (parts 1 and 3
  // of one, 2 of the other, a key common to them all): a file the
  // benchmark cannot predict. So each poster leaves at most one incomplete.
  std::vector<char> incomplete;
};

void WriteFile(const std::string& path, const std::string& text);

// A uuencoded file of `size` random bytes of the stream of `rng`.
void WritePlainFile(const std::string& path, Rng rng, size_t size);

// A MIME message at `message` (multipart/mixed: a short text part, then
// `size` random bytes of the stream of `rng` as a base64 attachment named
// `name`, in 76-character lines), and the attachment's base64 text alone
// at `body`, for decoders that know no MIME.
void WriteMimeFiles(const std::string& message, const std::string& body,
                    const std::string& name, Rng rng, size_t size);

// Compares a file with `size` bytes of the stream of `rng`.
bool FileMatches(const std::string& path, Rng rng, size_t size);

// Writes articles 1..count into `dir` (unless `write` is false: a spool
// made by an earlier run is described again), and, when `mbox` is given,
// the same articles in that order as the messages of one mbox file.
Spool MakeSpool(const std::string& dir, uint64_t seed, int count,
                bool write = true, const std::string& mbox = "");

// Checks the decoded files of a spool; prints what is wrong. Returns the
// number of faults.
int VerifySpool(const Spool& spool, const std::string& out);

// Article file names in the order a shell glob gives them.
std::vector<std::string> GlobOrder(int count);

// A log of `entries` entries for `dir`: its first `logged` article files,
// then expired articles that are no longer in the spool.
void WriteLog(const std::string& path, const std::string& dir, int entries,
              int logged);

#endif  // QUILLON_BENCH_GENERATE_H_
