#include "bench_common.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "checksum/crc32.h"

namespace {

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

bool Faster(const Timing& a, const Timing& b) { return a.seconds < b.seconds; }

// Runs `args` up to `runs` times; a failed run ends the series as its last
// entry.
std::vector<Timing> Series(const std::vector<std::string>& args, int runs) {
  std::vector<Timing> all;
  for (int i = 0; i < runs; ++i) {
    all.push_back(RunOnce(args));
    if (!all.back().ok) break;
  }
  return all;
}

}  // namespace

void Fail(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", kBenchName, what.c_str());
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

void FillRandom(std::mt19937_64* rng, void* data, size_t n) {
  auto* p = static_cast<char*>(data);
  for (size_t i = 0; i < n; i += 8) {
    uint64_t r = (*rng)();
    std::memcpy(p + i, &r, std::min<size_t>(8, n - i));
  }
}

bool TakeOption(const std::string& name, const std::string& value,
                BenchOptions* options) {
  if (name == "--size-mb")
    options->size_mb = std::atof(value.c_str());
  else if (name == "--seed")
    options->seed = std::strtoull(value.c_str(), nullptr, 10);
  else if (name == "--runs")
    options->runs = std::atoi(value.c_str());
  else if (name == "--dir")
    options->dir = value;
  else if (name == "--python")
    options->python = value;
  else
    return false;
  return true;
}

BenchFiles MakeBenchFiles(const BenchOptions& options,
                          const std::string& prefix,
                          const std::string& in_name) {
  BenchFiles files;
  files.dir = options.dir;
  files.own_dir = files.dir.empty();
  if (files.own_dir) {
    const char* tmp = std::getenv("TMPDIR");
    files.dir =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    if (!mkdtemp(files.dir.data())) Fail("cannot make a directory");
  }
  files.in = files.dir + "/" + in_name;
  files.out = files.dir + "/random.bin";
  return files;
}

void RemoveBenchFiles(const BenchFiles& files) {
  unlink(files.in.c_str());
  unlink(files.out.c_str());
  if (files.own_dir) rmdir(files.dir.c_str());
}

std::string SelfPath() { return "/proc/" + std::to_string(getpid()) + "/exe"; }

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

std::vector<Command> FloorCommands(const std::string& in,
                                   const std::string& out, uint64_t size) {
  return {
      {"cat > /dev/null", {"sh", "-c", "cat \"$0\" > /dev/null", in}},
      {"I/O floor", {SelfPath(), "--floor", in, out, std::to_string(size)}}};
}

Command DecodeCommand(const std::string& name, const std::string& in,
                      const std::string& out) {
  return {name, {SelfPath(), "--decode", in, out}};
}

bool RunChildMode(int argc, char** argv,
                  int (*decode)(const char* in_path, const char* out_path),
                  int* status) {
  if (argc == 4 && std::strcmp(argv[1], "--decode") == 0)
    *status = decode(argv[2], argv[3]);
  else if (argc == 5 && std::strcmp(argv[1], "--floor") == 0)
    *status = CopyFloor(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
  else
    return false;
  return true;
}

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

bool Works(const std::vector<std::string>& args) { return RunOnce(args).ok; }

Timing BestOf(const std::vector<std::string>& args, int runs) {
  std::vector<Timing> all = Series(args, runs);
  if (all.empty()) return Timing{};
  if (!all.back().ok) return all.back();
  return *std::min_element(all.begin(), all.end(), Faster);
}

Timing Median(std::vector<Timing> runs) {
  std::sort(runs.begin(), runs.end(), Faster);
  return runs[runs.size() / 2];
}

Timing MedianOf(const std::vector<std::string>& args, int runs) {
  std::vector<Timing> all = Series(args, runs);
  return all.back().ok ? Median(all) : all.back();
}

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

Row CheckedRow(const std::string& name, const Timing& t, const std::string& out,
               uint32_t crc, uint64_t size) {
  if (!t.ok) Fail(name + " failed");
  bool checked = name != "cat > /dev/null" && name != "I/O floor";
  if (checked && !SameData(out, crc, size)) Fail(name + ": wrong output");
  return {name, t, checked};
}
