// What the decoder benchmarks (ydecode_bench, base64_bench) share: their
// common options, the random data, the I/O floor, timing a command in a
// child process, and the check of a decoded file against the data.
#ifndef QUILLON_BENCH_BENCH_COMMON_H_
#define QUILLON_BENCH_BENCH_COMMON_H_

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

// The benchmark's name, the start of its error messages; each program
// defines it.
extern const char kBenchName[];

// Files are read and written this many bytes at a time.
constexpr size_t kChunk = 256 * 1024;

// Prints "NAME: what" to standard error and ends the program with status 1:
// a benchmark that cannot go on has nothing to report.
[[noreturn]] void Fail(const std::string& what);

// Writes all `n` bytes to `fd`; a failed write ends the program.
void WriteAll(int fd, const void* data, size_t n);

// Fills `n` bytes with the next numbers of `rng`, 8 bytes from each, so
// that a seed always gives the same data.
void FillRandom(std::mt19937_64* rng, void* data, size_t n);

// The options both programs take.
struct BenchOptions {
  double size_mb = 200;  // --size-mb N: megabytes (10^6) of random data
  uint64_t seed = 1;     // --seed N
  int runs = 0;          // --runs N; each program sets its own default
  std::string dir;       // --dir DIR: where the files go (else a new one)
  std::string python = "/usr/bin/python3";  // --python PATH
};

// Takes option `name` with its `value` into `options`; false when `name` is
// none of the options above.
bool TakeOption(const std::string& name, const std::string& value,
                BenchOptions* options);

// Where a run's two files go: the encoded input and the decoded output.
struct BenchFiles {
  std::string dir;
  bool own_dir = false;  // made for the run, removed after it
  std::string in, out;
};

// The files `in_name` and "random.bin" in `options.dir`, or else in a new
// directory "<$TMPDIR or /tmp>/<prefix>-XXXXXX"; a failure ends the program.
BenchFiles MakeBenchFiles(const BenchOptions& options,
                          const std::string& prefix,
                          const std::string& in_name);

// Removes the two files, and the directory if it was made for the run.
void RemoveBenchFiles(const BenchFiles& files);

// The path by which a child process runs this program again (its child
// modes, e.g. --floor).
std::string SelfPath();

// Child mode: the I/O floor of any decoder, reading the file `in_path` and
// writing its first `size` bytes (as many as it decodes to) to `out_path`.
// Returns the exit status.
int CopyFloor(const char* in_path, const char* out_path, uint64_t size);

// A command to time: the name of its row and its argv.
using Command = std::pair<std::string, std::vector<std::string>>;

// The two rows every table begins with: cat of `in` to /dev/null, and the
// I/O floor (this program's --floor mode) from `in` to `out`.
std::vector<Command> FloorCommands(const std::string& in,
                                   const std::string& out, uint64_t size);

// The row `name` of this program's own decoder (its --decode mode) from
// `in` to `out`.
Command DecodeCommand(const std::string& name, const std::string& in,
                      const std::string& out);

// The child modes, when argv asks for one: `--decode IN OUT` runs `decode`,
// `--floor IN OUT SIZE` CopyFloor; their exit status goes to `*status`.
bool RunChildMode(int argc, char** argv,
                  int (*decode)(const char* in_path, const char* out_path),
                  int* status);

struct Timing {
  double seconds = 0;  // wall
  double cpu = 0;      // user and system
  long max_rss_kb = 0;
  bool ok = false;  // ran and exited with status 0
};

// Runs `args` (searched in PATH) in a child process, after a sync, with its
// standard output on /dev/null: the child's wall time, CPU time and peak
// memory, and whether it succeeded.
Timing RunOnce(const std::vector<std::string>& args);

// Whether `args` runs and exits with status 0 (to find what is installed).
bool Works(const std::vector<std::string>& args);

// The run of `runs` with the least wall time; a failed run stops the
// series and is returned instead (as is an empty Timing for no runs).
Timing BestOf(const std::vector<std::string>& args, int runs);

// The run with the median wall time of `runs`, which must not be empty.
Timing Median(std::vector<Timing> runs);

// The median run of `runs` (at least 1); a failed run stops the series and
// is returned instead.
Timing MedianOf(const std::vector<std::string>& args, int runs);

// Whether the file at `path` holds `size` bytes with the CRC-32 `crc`.
bool SameData(const std::string& path, uint32_t crc, uint64_t size);

struct Row {
  std::string name;
  Timing t;
  bool checked;  // output compared with the data
};

// The row of command `name` timed as `t`. A failed run ends the program; so
// does a decoder's output in `out` that is not the data (`crc`, `size`).
// Every command but the two of FloorCommands is a decoder.
Row CheckedRow(const std::string& name, const Timing& t, const std::string& out,
               uint32_t crc, uint64_t size);

#endif  // QUILLON_BENCH_BENCH_COMMON_H_
