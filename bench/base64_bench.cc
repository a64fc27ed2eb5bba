// base64_bench: base64 decoding of one big MIME attachment against the I/O
// floor, coreutils' base64 -d and Python's base64 module.
//
// From a seed it writes random bytes base64-encoded in 76-character lines
// (LF, or CR LF with --crlf) as one file, then times, each --runs times
// with the median kept: this program's decoder on the text in memory
// (256 KiB pieces into one reused buffer); and, each as a child process
// after a sync with the page cache warm, cat to /dev/null, the I/O floor
// (reading the input and writing as many bytes as it decodes to), this
// program's decoder reading 256 KiB at a time and writing the output file,
// `base64 -d` and Python's base64.decodebytes. Every output is checked
// against the data's CRC and size. Speeds are of the input text. Figures
// are printed, never judged; CPU time (user and system) is shown beside
// wall time, as a machine shared with other work slows the latter.
//
//   base64_bench [--size-mb N] [--seed N] [--runs N] [--dir DIR]
//                [--python PATH] [--crlf]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.h"
#include "checksum/crc32.h"
#include "mime/base64.h"
#include "mime/base64_testing.h"

const char kBenchName[] = "base64_bench";

namespace {

constexpr size_t kDataChunk = 57 * 4096;  // whole 76-character lines

// The test file: random bytes, encoded as they are made (whole lines per
// piece), so that memory stays small. Returns the data's CRC.
uint32_t WriteTestFile(const std::string& path, uint64_t size, uint64_t seed,
                       bool crlf) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) Fail("cannot create " + path);
  std::mt19937_64 rng(seed);
  std::string data(kDataChunk, '\0');
  uint32_t crc = 0;
  for (uint64_t done = 0; done < size;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kDataChunk, size - done));
    FillRandom(&rng, data.data(), n);
    crc = Crc32(crc, data.data(), n);
    std::string text = EncodeBase64Lines(std::string_view(data.data(), n), 76,
                                         crlf ? "\r\n" : "\n");
    WriteAll(fd, text.data(), text.size());
    done += n;
  }
  close(fd);
  return crc;
}

std::string ReadWhole(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) Fail("cannot open " + path);
  struct stat st {};
  fstat(fd, &st);
  std::string text(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  ssize_t got;
  while (done < text.size() &&
         (got = read(fd, text.data() + done, text.size() - done)) > 0)
    done += static_cast<size_t>(got);
  close(fd);
  if (done != text.size()) Fail("short read of " + path);
  return text;
}

// Child: decodes the test file into `out_path`; fails on a cut quantum.
int DecodeFile(const char* in_path, const char* out_path) {
  int in = open(in_path, O_RDONLY);
  int out = open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) Fail("cannot open the files to decode");
  std::vector<char> text(kChunk);
  std::vector<unsigned char> bytes(kChunk);
  Base64State state;
  ssize_t got;
  while ((got = read(in, text.data(), kChunk)) > 0) {
    size_t w = DecodeBase64(&state, text.data(), static_cast<size_t>(got),
                            bytes.data());
    WriteAll(out, bytes.data(), w);
  }
  close(in);
  if (close(out) != 0) Fail("close failed");
  return Base64Whole(state) ? 0 : 1;
}

double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// The decoder on the text in memory, in pieces into one reused buffer; the
// CRC of what it wrote is taken apart from the timing.
Timing InMemory(const std::string& text, int runs, uint32_t crc,
                uint64_t size) {
  std::vector<unsigned char> bytes(kChunk);
  std::vector<Timing> all;
  for (int r = 0; r < runs; ++r) {
    Base64State state;
    double cpu = ThreadCpu();
    auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < text.size(); i += kChunk)
      DecodeBase64(&state, text.data() + i, std::min(kChunk, text.size() - i),
                   bytes.data());
    Timing t;
    t.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
    t.cpu = ThreadCpu() - cpu;
    t.ok = Base64Whole(state);
    all.push_back(t);
  }
  Base64State state;
  uint32_t c = 0;
  uint64_t n = 0;
  for (size_t i = 0; i < text.size(); i += kChunk) {
    size_t w = DecodeBase64(&state, text.data() + i,
                            std::min(kChunk, text.size() - i), bytes.data());
    c = Crc32(c, bytes.data(), w);
    n += w;
  }
  if (c != crc || n != size) Fail("in memory: wrong output");
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  Timing t = Median(all);
  t.max_rss_kb = usage.ru_maxrss;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  int status;
  if (RunChildMode(argc, argv, DecodeFile, &status)) return status;
  BenchOptions options;
  options.runs = 5;
  bool crlf = false;
  for (int i = 1; i < argc; ++i) {
    std::string o = argv[i];
    if (o == "--crlf") {
      crlf = true;
      continue;
    }
    if (i + 1 >= argc) Fail("no value for " + o);
    if (!TakeOption(o, argv[++i], &options)) Fail("unknown option " + o);
  }
  int runs = std::max(1, options.runs);
  BenchFiles files = MakeBenchFiles(options, "base64-bench", "random.b64");
  const std::string &in = files.in, &out = files.out;
  auto size = static_cast<uint64_t>(options.size_mb * 1e6);
  uint32_t crc = WriteTestFile(in, size, options.seed, crlf);
  std::vector<Row> rows;
  {
    std::string text = ReadWhole(in);
    Timing t = InMemory(text, runs, crc, size);
    if (!t.ok) Fail("in memory: cut quantum");
    rows.push_back({"quillon, memory", t, true});
  }
  struct stat st {};
  stat(in.c_str(), &st);
  auto text_size = static_cast<double>(st.st_size);
  // coreutils' base64 refuses CR unless told to ignore bytes outside the
  // alphabet.
  std::string coreutils = crlf ? "base64 -d -i" : "base64 -d";
  std::string script =
      "import base64, sys\n"
      "with open(sys.argv[1], 'rb') as f: data = f.read()\n"
      "with open(sys.argv[2], 'wb') as f: f.write(base64.decodebytes(data))\n";
  std::vector<Command> runs_of = FloorCommands(in, out, size);
  runs_of.push_back(DecodeCommand("quillon, file", in, out));
  runs_of.push_back(
      {coreutils, {"sh", "-c", coreutils + " \"$0\" > \"$1\"", in, out}});
  if (Works({options.python, "-c", "import base64"}))
    runs_of.push_back(
        {"python3 base64", {options.python, "-c", script, in, out}});
  else
    std::printf("%s: not usable, left out\n", options.python.c_str());
  for (const auto& [name, args] : runs_of)
    rows.push_back(CheckedRow(name, MedianOf(args, runs), out, crc, size));
  std::printf(
      "%.0f MB of random bytes, base64 %.1f MB, 76-character lines (%s); "
      "median of %d runs\n",
      size / 1e6, text_size / 1e6, crlf ? "CR LF" : "LF", runs);
  std::printf("%-18s %8s %8s %8s %8s %8s  %s\n", "", "seconds", "GB/s", "CPU s",
              "GB/s CPU", "peak MB", "output");
  double memory = 0, file = 0, floor = 0, coreutils_s = 0, python_s = 0;
  for (const Row& r : rows) {
    std::printf("%-18s %8.3f %8.2f %8.3f %8.2f %8.1f  %s\n", r.name.c_str(),
                r.t.seconds, text_size / 1e9 / r.t.seconds, r.t.cpu,
                text_size / 1e9 / r.t.cpu, r.t.max_rss_kb / 1024.0,
                r.checked ? "checked" : "-");
    if (r.name == "quillon, memory") memory = r.t.seconds;
    if (r.name == "quillon, file") file = r.t.seconds;
    if (r.name == "I/O floor") floor = r.t.seconds;
    if (r.name == coreutils) coreutils_s = r.t.seconds;
    if (r.name == "python3 base64") python_s = r.t.seconds;
  }
  std::printf("quillon, memory: %.2f GB/s  (target >= 1)\n",
              text_size / 1e9 / memory);
  std::printf("quillon, file: %.2f GB/s  (target >= 1)\n",
              text_size / 1e9 / file);
  std::printf("quillon, file / I/O floor (time): %.2f  (target <= 1.3)\n",
              file / floor);
  std::printf("quillon, file / %s (speed): %.2f\n", coreutils.c_str(),
              coreutils_s / file);
  if (python_s > 0)
    std::printf("quillon, file / python3 base64 (speed): %.2f\n",
                python_s / file);
  RemoveBenchFiles(files);
  return 0;
}
