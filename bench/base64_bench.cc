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
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "checksum/crc32.h"
#include "mime/base64.h"
#include "mime/base64_testing.h"

namespace {

constexpr size_t kChunk = 256 * 1024;
constexpr size_t kDataChunk = 57 * 4096;  // whole 76-character lines

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "base64_bench: %s\n", what.c_str());
  std::exit(1);
}

void WriteAll(int fd, const void* data, size_t n) {
  auto* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t k = write(fd, p, n);
    if (k <= 0) Fail("write failed");
    p += k;
    n -= static_cast<size_t>(k);
  }
}

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
    for (size_t i = 0; i < n; i += 8) {
      uint64_t r = rng();
      std::memcpy(&data[i], &r, std::min<size_t>(8, n - i));
    }
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

// Child: the I/O floor, reading the input and writing `size` bytes of it.
int CopyFloor(const char* in_path, const char* out_path, uint64_t size) {
  int in = open(in_path, O_RDONLY);
  int out = open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) Fail("cannot open the files to copy");
  std::vector<char> text(kChunk);
  ssize_t got;
  while ((got = read(in, text.data(), kChunk)) > 0) {
    auto n = static_cast<size_t>(
        std::min<uint64_t>(static_cast<uint64_t>(got), size));
    WriteAll(out, text.data(), n);
    size -= n;
  }
  close(in);
  return close(out) == 0 ? 0 : 1;
}

struct Timing {
  double seconds = 0;  // wall
  double cpu = 0;      // user and system
  long max_rss_kb = 0;
  bool ok = false;
};

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// Runs argv with its standard output on /dev/null; wall time and peak
// memory of the child.
Timing RunOnce(const std::vector<std::string>& args) {
  sync();
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) Fail("fork failed");
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    std::vector<char*> argv;
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Timing t;
  t.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  t.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  t.max_rss_kb = usage.ru_maxrss;
  t.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return t;
}

Timing Median(std::vector<Timing> runs) {
  std::sort(runs.begin(), runs.end(), [](const Timing& a, const Timing& b) {
    return a.seconds < b.seconds;
  });
  return runs[runs.size() / 2];
}

Timing MedianOf(const std::vector<std::string>& args, int runs) {
  std::vector<Timing> all;
  for (int i = 0; i < runs; ++i) {
    Timing t = RunOnce(args);
    if (!t.ok) return t;
    all.push_back(t);
  }
  return Median(all);
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

// CRC and size of a decoded file, to check every decoder's output.
bool SameData(const std::string& path, uint32_t crc, uint64_t size) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  std::vector<char> buffer(kChunk);
  uint32_t c = 0;
  uint64_t n = 0;
  ssize_t got;
  while ((got = read(fd, buffer.data(), kChunk)) > 0) {
    c = Crc32(c, buffer.data(), static_cast<size_t>(got));
    n += static_cast<uint64_t>(got);
  }
  close(fd);
  return c == crc && n == size;
}

bool Works(const std::vector<std::string>& args) { return RunOnce(args).ok; }

struct Row {
  std::string name;
  Timing t;
  bool checked;  // output compared with the data
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--decode") == 0)
    return DecodeFile(argv[2], argv[3]);
  if (argc == 5 && std::strcmp(argv[1], "--floor") == 0)
    return CopyFloor(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
  double size_mb = 200;
  uint64_t seed = 1;
  int runs = 5;
  bool crlf = false;
  std::string dir, python = "/usr/bin/python3";
  for (int i = 1; i < argc; ++i) {
    std::string o = argv[i];
    if (o == "--crlf") {
      crlf = true;
      continue;
    }
    if (i + 1 >= argc) Fail("no value for " + o);
    std::string v = argv[++i];
    if (o == "--size-mb")
      size_mb = std::atof(v.c_str());
    else if (o == "--seed")
      seed = std::strtoull(v.c_str(), nullptr, 10);
    else if (o == "--runs")
      runs = std::max(1, std::atoi(v.c_str()));
    else if (o == "--dir")
      dir = v;
    else if (o == "--python")
      python = v;
    else
      Fail("unknown option " + o);
  }
  bool own_dir = dir.empty();
  if (own_dir) {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/base64-bench-XXXXXX";
    if (!mkdtemp(dir.data())) Fail("cannot make a directory");
  }
  std::string in = dir + "/random.b64", out = dir + "/random.bin";
  auto size = static_cast<uint64_t>(size_mb * 1e6);
  uint32_t crc = WriteTestFile(in, size, seed, crlf);
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
  std::string self = "/proc/" + std::to_string(getpid()) + "/exe";
  // coreutils' base64 refuses CR unless told to ignore bytes outside the
  // alphabet.
  std::string coreutils = crlf ? "base64 -d -i" : "base64 -d";
  std::string script =
      "import base64, sys\n"
      "with open(sys.argv[1], 'rb') as f: data = f.read()\n"
      "with open(sys.argv[2], 'wb') as f: f.write(base64.decodebytes(data))\n";
  std::vector<std::pair<std::string, std::vector<std::string>>> runs_of = {
      {"cat > /dev/null", {"sh", "-c", "cat \"$0\" > /dev/null", in}},
      {"I/O floor", {self, "--floor", in, out, std::to_string(size)}},
      {"quillon, file", {self, "--decode", in, out}},
      {coreutils, {"sh", "-c", coreutils + " \"$0\" > \"$1\"", in, out}}};
  if (Works({python, "-c", "import base64"}))
    runs_of.push_back({"python3 base64", {python, "-c", script, in, out}});
  else
    std::printf("%s: not usable, left out\n", python.c_str());
  for (auto& [name, args] : runs_of) {
    Timing t = MedianOf(args, runs);
    if (!t.ok) Fail(name + " failed");
    bool checked = name != "cat > /dev/null" && name != "I/O floor";
    if (checked && !SameData(out, crc, size)) Fail(name + ": wrong output");
    rows.push_back({name, t, checked});
  }
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
  unlink(in.c_str());
  unlink(out.c_str());
  if (own_dir) rmdir(dir.c_str());
  return 0;
}
