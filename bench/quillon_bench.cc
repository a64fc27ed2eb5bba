// quillon_bench: measures quillon against the I/O floor and its peers.
//
// From one seed it writes a big uuencoded file, a MIME message with one big
// base64 attachment, a big yEnc file and the same data as a posting of
// many articles in wire format, and news spools of growing size, runs quillon
// on them as child processes (timed with the monotonic clock, peak memory from
// wait4), checks every decoded file byte for byte against the data it was made
// from, and prints one table. Targets are printed beside the numbers; nothing
// here fails on a slow result, only on a wrong one.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "checksum/crc32.h"
#include "generate.h"
#include "yenc_files.h"

namespace fs = std::filesystem;

namespace {

struct Options {
  uint64_t seed = 1;
  double size_mb = 200;
  std::vector<int> articles = {1000, 4000, 16000, 64000};
  int log_entries = 100000;  // for the largest spool; smaller ones scale
  std::string quillon;
  std::string python = "/usr/bin/python3";
  std::string workdir;
  bool keep = false;
  // The parts of the table to make (--only).
  bool plain = true;
  bool mime = true;
  bool yenc = true;
  bool spools = true;
  // Spools of 256,000 and 1,000,000 articles and the mbox archive (--big).
  bool big = false;
  // The mbox archive of the largest spool, whatever its size (--mbox).
  bool mbox = false;
};

// Spools of at least this many articles, and the mbox, are kept in a
// --workdir between runs: making them takes longer than scanning them.
constexpr int kKeptSpool = 256000;

struct RunResult {
  double seconds = 0;
  double user_seconds = 0;  // user CPU
  double system_seconds = 0;
  long max_rss_kb = 0;
  int status = -1;  // exit status, or -1 when killed by a signal
  bool timed_out = false;
  int faults = 0;  // from the check of the run's outputs
};

// Seconds after which a run is stopped (0: never), so that a quadratic
// build still gives its table.
double g_timeout = 0;

void OnAlarm(int) {}

struct Child {
  std::vector<std::string> argv;
  std::string cwd;               // empty: the bench's own
  std::string stdin_path;        // empty: /dev/null
  std::string stdout_path;       // empty: /dev/null
  std::string stderr_path;       // empty: /dev/null
  std::vector<std::string> env;  // NAME=VALUE added to the environment
};

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// ---------------------------------------------------------------- children

void RedirectOrDie(const std::string& path, int fd, int flags) {
  int f = open(path.empty() ? "/dev/null" : path.c_str(), flags, 0644);
  if (f < 0 || dup2(f, fd) < 0) _exit(127);
  close(f);
}

RunResult RunHere(const Child& c) {
  std::vector<char*> argv;
  for (const std::string& a : c.argv)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  double start = Now();
  pid_t pid = fork();
  if (pid < 0) Die("fork failed");
  if (pid == 0) {
    if (!c.cwd.empty() && chdir(c.cwd.c_str()) != 0) _exit(127);
    RedirectOrDie(c.stdin_path, 0, O_RDONLY);
    RedirectOrDie(c.stdout_path, 1, O_WRONLY | O_CREAT | O_TRUNC);
    RedirectOrDie(c.stderr_path, 2, O_WRONLY | O_CREAT | O_TRUNC);
    for (const std::string& e : c.env) putenv(const_cast<char*>(e.c_str()));
    execvp(argv[0], argv.data());
    _exit(127);
  }
  RunResult r;
  if (g_timeout > 0) {
    struct sigaction sa {};
    sa.sa_handler = OnAlarm;  // no SA_RESTART: wait4 returns EINTR
    sigaction(SIGALRM, &sa, nullptr);
    itimerval timer{};
    timer.it_value.tv_sec = time_t(g_timeout);
    timer.it_value.tv_usec =
        suseconds_t((g_timeout - double(time_t(g_timeout))) * 1e6) + 1;
    setitimer(ITIMER_REAL, &timer, nullptr);
  }
  int wstatus = 0;
  rusage usage{};
  while (wait4(pid, &wstatus, 0, &usage) < 0) {
    if (errno != EINTR) Die("wait4 failed");
    if (!r.timed_out && g_timeout > 0 && Now() - start >= g_timeout) {
      kill(pid, SIGKILL);
      r.timed_out = true;
    } else if (!r.timed_out) {
      alarm(1);
    }
  }
  if (g_timeout > 0) alarm(0);
  r.seconds = Now() - start;
  r.user_seconds =
      double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) * 1e-6;
  r.system_seconds =
      double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) * 1e-6;
  r.max_rss_kb = usage.ru_maxrss;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return r;
}

// Children are started by a small launcher process forked at start. A child
// forked from the bench itself would inherit its resident heap (the spool
// texts) in its peak RSS, which Linux keeps across exec.
struct Launcher {
  int to = -1;    // requests
  int from = -1;  // results
};
Launcher g_launcher;

void WriteAll(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) Die("launcher pipe broken");
    p += w;
    n -= size_t(w);
  }
}

bool ReadAll(int fd, void* data, size_t n) {
  char* p = static_cast<char*>(data);
  while (n > 0) {
    ssize_t r = read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= size_t(r);
  }
  return true;
}

void PutStrings(std::string& buf, const std::vector<std::string>& list) {
  uint32_t n = uint32_t(list.size());
  buf.append(reinterpret_cast<const char*>(&n), 4);
  for (const std::string& item : list) {
    uint32_t len = uint32_t(item.size());
    buf.append(reinterpret_cast<const char*>(&len), 4);
    buf += item;
  }
}

bool GetStrings(int fd, std::vector<std::string>& list) {
  uint32_t n = 0;
  if (!ReadAll(fd, &n, 4)) return false;
  list.resize(n);
  for (std::string& item : list) {
    uint32_t len = 0;
    if (!ReadAll(fd, &len, 4)) return false;
    item.resize(len);
    if (len > 0 && !ReadAll(fd, item.data(), len)) return false;
  }
  return true;
}

void ServeRuns(int in, int out) {
  for (;;) {
    Child c;
    std::vector<std::string> files;
    if (!GetStrings(in, c.argv) || !GetStrings(in, files) ||
        !GetStrings(in, c.env) || files.size() != 4) {
      _exit(0);
    }
    c.cwd = files[0];
    c.stdin_path = files[1];
    c.stdout_path = files[2];
    c.stderr_path = files[3];
    RunResult r = RunHere(c);
    WriteAll(out, &r, sizeof r);
  }
}

void StartLauncher() {
  int request[2], result[2];
  if (pipe(request) != 0 || pipe(result) != 0) Die("pipe failed");
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) Die("fork failed");
  if (pid == 0) {
    close(request[1]);
    close(result[0]);
    ServeRuns(request[0], result[1]);
  }
  close(request[0]);
  close(result[1]);
  g_launcher.to = request[1];
  g_launcher.from = result[0];
}

RunResult Run(const Child& c) {
  std::string buf;
  PutStrings(buf, c.argv);
  PutStrings(buf, {c.cwd, c.stdin_path, c.stdout_path, c.stderr_path});
  PutStrings(buf, c.env);
  WriteAll(g_launcher.to, buf.data(), buf.size());
  RunResult r;
  if (!ReadAll(g_launcher.from, &r, sizeof r)) Die("launcher died");
  return r;
}

// The fastest of a few runs: the others only measure the machine's noise.
// `before` resets the state a run changes (outputs, the log); `check`
// counts the faults in the outputs of each run that was not stopped.
template <typename Before, typename Check>
RunResult Best(const Child& c, int reps, Before before, Check check) {
  RunResult best;
  int faults = 0;
  for (int i = 0; i < reps; i++) {
    before();
    // Data written by earlier runs goes to disk now, not during this one.
    sync();
    RunResult r = Run(c);
    if (!r.timed_out) faults = std::max(faults, check(r));
    if (i == 0 || (r.seconds < best.seconds && !r.timed_out)) best = r;
    if (r.seconds > 5 || r.timed_out) break;  // steady enough once
  }
  best.faults = faults;
  return best;
}

int NoCheck(const RunResult&) { return 0; }

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t at = 0;
  while (at <= dirs.size()) {
    size_t end = dirs.find(':', at);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(at, end - at) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

// Outputs of a run are set aside in this directory and deleted only at the
// end: ext4 without a journal (this machine's) passes over the inodes freed
// in the last 30 s, one by one, whenever it makes a file, so a run that
// creates its outputs right after the last run's were deleted measures that
// scan (10,000 outputs at 64,000 articles: 7.6 s of system time, 0.8 s
// without it).
std::string g_set_aside;

void SetAside(const std::string& dir) {
  static int count = 0;
  if (g_set_aside.empty() || !fs::exists(dir)) {
    fs::remove_all(dir);
    return;
  }
  fs::create_directories(g_set_aside);
  fs::rename(dir, g_set_aside + "/" + std::to_string(count++));
}

void ResetDir(const std::string& dir) {
  SetAside(dir);
  fs::create_directories(dir);
}

// Reads every file of `dir`, so that a timed run finds the spool in the
// page cache: this machine's kernel evicts pages unused for a while, and a
// run that reads part of the spool from disk measures the disk.
void WarmDir(const std::string& dir) {
  std::vector<char> buffer(1 << 16);
  for (const auto& entry : fs::directory_iterator(dir)) {
    int fd = open(entry.path().c_str(), O_RDONLY);
    if (fd < 0) continue;
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
    close(fd);
  }
}

// ------------------------------------------------------------------ table

std::string Mark(bool ok) { return ok ? "ok" : "MISSED"; }

// "A few MB" of peak memory for a streaming decoder: the process alone, with
// no input, takes about 3 MB (the program and its libraries), its buffers
// about 1 MB more.
constexpr long kFewMegabytes = 8192;  // KB

// A time for the table: a run stopped by --timeout took at least that long.
std::string Time(const RunResult& r) {
  char text[32];
  if (r.timed_out) {
    std::snprintf(text, sizeof text, "%7s%.0f s", ">", r.seconds);
  } else {
    std::snprintf(text, sizeof text, "%8.3f s", r.seconds);
  }
  return text;
}

std::string Growth(const RunResult& a, const RunResult& b) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%.2f", b.timed_out ? ">" : "",
                b.seconds / a.seconds);
  return text;
}

struct Context {
  Options opt;
  std::string work;
  int faults = 0;
  std::vector<std::string> mbox_rows;  // printed after the spools' table
};

std::string Ratio(double a, double b) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", b > 0 ? a / b : 0.0);
  return text;
}

// `mb`: the input read, or for the write floor the bytes written.
void PrintPlainRow(const char* what, const RunResult& r, double mb) {
  std::printf("  %-28s %8.3f s %9.1f MB/s %9ld KB\n", what, r.seconds,
              mb / r.seconds, r.max_rss_kb);
}

void BenchPlain(Context& ctx) {
  const Options& opt = ctx.opt;
  size_t size = size_t(opt.size_mb * 1e6);
  std::string file = ctx.work + "/plain.uu";
  std::string out = ctx.work + "/plain-out";
  Rng rng(opt.seed);
  WritePlainFile(file, rng, size);
  double input_mb = double(fs::file_size(file)) / 1e6;
  fs::create_directories(out);
  std::string decoded = out + "/plain.bin";
  auto clear = [&] { fs::remove(decoded); };
  const int reps = 3;

  Child cat{{"cat", file}, "", "", "", "", {}};
  Run(cat);  // the file into the page cache for everyone
  RunResult r_cat = Best(
      cat, reps, [] {}, NoCheck);
  Child plain{
      {opt.quillon, "-q", "-p", "-dest", out, file}, "", "", "", "", {}};
  auto check = [&](const RunResult& r) {
    return r.status == 0 && FileMatches(decoded, Rng(opt.seed), size) ? 0 : 1;
  };
  RunResult r_plain = Best(plain, reps, clear, check);
  // The I/O floor of any decoder: reading the input (cat above) and writing
  // the decoded bytes into a new file, as cat of the decoded file does.
  std::string copy = out + "/copy.bin";
  Child write{{"cat", decoded}, "", "", copy, "", {}};
  RunResult r_write = Best(
      write, reps, [&] { fs::remove(copy); }, NoCheck);
  fs::remove(copy);
  Child in{{opt.quillon, "-q", "-dest", out}, "", file, "", "", {}};
  RunResult r_stdin = Best(in, reps, clear, check);
  clear();
  bool have_uudecode = OnPath("uudecode");
  RunResult r_uu;
  if (have_uudecode) {
    Child uu{{"uudecode", "-o", decoded, file}, "", "", "", "", {}};
    r_uu = Best(uu, reps, clear, NoCheck);
    clear();
  }

  std::printf(
      "plain decoding: %.0f MB decoded, %.1f MB of input (best of %d)\n",
      double(size) / 1e6, input_mb, reps);
  std::printf("  %-28s %10s %14s %12s\n", "", "time", "rate", "peak RSS");
  PrintPlainRow("cat > /dev/null", r_cat, input_mb);
  PrintPlainRow("cat DECODED > NEW (write)", r_write, double(size) / 1e6);
  PrintPlainRow("quillon -p FILE", r_plain, input_mb);
  PrintPlainRow("quillon < FILE", r_stdin, input_mb);
  if (have_uudecode) PrintPlainRow("uudecode -o OUT FILE", r_uu, input_mb);
  double worst = std::max(r_plain.seconds, r_stdin.seconds);
  // Reading the input and writing the output alone take this long; no
  // decoder that writes a file can be faster.
  double floor = r_cat.seconds + r_write.seconds;
  std::string cat_mark = Mark(worst <= 2 * r_cat.seconds);
  if (worst > 2 * r_cat.seconds && floor > 2 * r_cat.seconds)
    cat_mark += " (the I/O floor alone is " + Ratio(floor, r_cat.seconds) + ")";
  std::printf("  time / cat time:        -p %s, stdin %s  (target <= 2)  %s\n",
              Ratio(r_plain.seconds, r_cat.seconds).c_str(),
              Ratio(r_stdin.seconds, r_cat.seconds).c_str(), cat_mark.c_str());
  std::printf("  time / I/O floor:       -p %s, stdin %s  (target <= 2)  %s\n",
              Ratio(r_plain.seconds, floor).c_str(),
              Ratio(r_stdin.seconds, floor).c_str(),
              Mark(worst <= 2 * floor).c_str());
  std::printf("  (I/O floor: cat > /dev/null plus the write, %.3f s)\n", floor);
  if (have_uudecode) {
    std::printf(
        "  throughput / uudecode:  -p %s, stdin %s  (target >= 1.5)  %s\n",
        Ratio(r_uu.seconds, r_plain.seconds).c_str(),
        Ratio(r_uu.seconds, r_stdin.seconds).c_str(),
        Mark(r_uu.seconds >= 1.5 * worst).c_str());
  } else {
    std::printf("  uudecode (sharutils) is not installed: no comparison\n");
  }
  long rss = std::max(r_plain.max_rss_kb, r_stdin.max_rss_kb);
  std::printf("  peak RSS %ld KB  (target: a few MB, whatever the size)  %s\n",
              rss, Mark(rss <= kFewMegabytes).c_str());
  if (r_plain.faults || r_stdin.faults) {
    std::printf("  OUTPUT WRONG:%s%s\n", r_plain.faults ? " -p" : "",
                r_stdin.faults ? " stdin" : "");
    ctx.faults++;
  }
  std::printf("\n");
  fs::remove(file);
}

// The halves of a decoder's I/O floor. Reading: cat of `file` to
// /dev/null, once first to bring it into the page cache.
RunResult ReadFloor(const std::string& file, int reps) {
  Child cat{{"cat", file}, "", "", "", "", {}};
  Run(cat);
  return Best(
      cat, reps, [] {}, NoCheck);
}

// Writing: cat of the decoded file into a new one beside it.
RunResult WriteFloor(const std::string& decoded, int reps) {
  std::string copy = decoded + ".copy";
  Child write{{"cat", decoded}, "", "", copy, "", {}};
  RunResult r = Best(
      write, reps, [&] { fs::remove(copy); }, NoCheck);
  fs::remove(copy);
  return r;
}

void BenchMime(Context& ctx) {
  const Options& opt = ctx.opt;
  size_t size = size_t(opt.size_mb * 1e6);
  std::string message = ctx.work + "/mime.msg";
  std::string body = ctx.work + "/mime.b64";
  std::string spool = ctx.work + "/mime-spool";
  std::string out = ctx.work + "/mime-out";
  fs::create_directories(spool);
  fs::create_directories(out);
  WriteMimeFiles(message, body, "mime.bin", Rng(opt.seed), size);
  // The same message as the one article of a spool.
  std::string article = spool + "/1";
  fs::create_hard_link(message, article);
  double input_mb = double(fs::file_size(message)) / 1e6;
  double body_mb = double(fs::file_size(body)) / 1e6;
  std::string decoded = out + "/mime.bin";
  auto clear = [&] { fs::remove(decoded); };
  auto matches = [&](const RunResult& r) {
    return r.status == 0 && FileMatches(decoded, Rng(opt.seed), size) ? 0 : 1;
  };
  const int reps = 3;

  Run(Child{{"cat", body}, "", "", "", "", {}});  // into the page cache
  RunResult r_cat = ReadFloor(message, reps);
  Child plain{
      {opt.quillon, "-q", "-p", "-dest", out, message}, "", "", "", "", {}};
  RunResult r_plain = Best(plain, reps, clear, matches);
  RunResult r_write = WriteFloor(decoded, reps);
  Child in{{opt.quillon, "-q", "-dest", out}, "", message, "", "", {}};
  RunResult r_stdin = Best(in, reps, clear, matches);
  Child scan{{opt.quillon, "-q", "-dest", out, article}, "", "", "", "", {}};
  RunResult r_scan = Best(scan, reps, clear, matches);
  // Decoders that know no MIME read the attachment's base64 text alone.
  bool have_base64 = OnPath("base64");
  RunResult r_b64;
  if (have_base64) {
    Child b64{{"base64", "-d", body}, "", "", decoded, "", {}};
    r_b64 = Best(b64, reps, clear, matches);
  }
  bool have_python = opt.python.find('/') != std::string::npos
                         ? access(opt.python.c_str(), X_OK) == 0
                         : OnPath(opt.python);
  RunResult r_py;
  if (have_python) {
    Child py{{opt.python, "-c",
              "import base64, sys; sys.stdout.buffer.write("
              "base64.decodebytes(sys.stdin.buffer.read()))"},
             "",
             body,
             decoded,
             "",
             {}};
    r_py = Best(py, reps, clear, matches);
  }
  clear();

  std::printf(
      "MIME decoding: one base64 attachment of %.0f MB, %.1f MB of input "
      "(%.1f MB of base64 text; best of %d)\n",
      double(size) / 1e6, input_mb, body_mb, reps);
  std::printf("  %-28s %10s %14s %12s\n", "", "time", "rate", "peak RSS");
  PrintPlainRow("cat > /dev/null", r_cat, input_mb);
  PrintPlainRow("cat DECODED > NEW (write)", r_write, double(size) / 1e6);
  PrintPlainRow("quillon -p FILE", r_plain, input_mb);
  PrintPlainRow("quillon < FILE", r_stdin, input_mb);
  PrintPlainRow("quillon ARTICLE (scan)", r_scan, input_mb);
  if (have_base64) PrintPlainRow("base64 -d TEXT", r_b64, body_mb);
  if (have_python) PrintPlainRow("python3 base64 < TEXT", r_py, body_mb);
  double rate_plain = input_mb / r_plain.seconds;
  double rate_stdin = input_mb / r_stdin.seconds;
  double rate_scan = input_mb / r_scan.seconds;
  double worst = std::min({rate_plain, rate_stdin, rate_scan});
  std::printf(
      "  input rate:             -p %.0f, stdin %.0f, scan %.0f MB/s  "
      "(target >= 1000)  %s\n",
      rate_plain, rate_stdin, rate_scan, Mark(worst >= 1000).c_str());
  // The peers read the base64 text alone: rates, not times, compare.
  auto against = [&](const char* what, bool have, const RunResult& r) {
    if (!have) {
      std::printf("  %s is not installed: no comparison\n", what);
      return;
    }
    double rate = body_mb / r.seconds;
    std::printf("  throughput / %-10s -p %s, stdin %s, scan %s\n", what,
                Ratio(rate_plain, rate).c_str(),
                Ratio(rate_stdin, rate).c_str(),
                Ratio(rate_scan, rate).c_str());
  };
  against("base64 -d:", have_base64, r_b64);
  against("Python:", have_python, r_py);
  double floor = r_cat.seconds + r_write.seconds;
  double slowest = std::max({r_plain.seconds, r_stdin.seconds, r_scan.seconds});
  std::printf(
      "  time / I/O floor:       -p %s, stdin %s, scan %s  (target <= 1.3)  "
      "%s\n",
      Ratio(r_plain.seconds, floor).c_str(),
      Ratio(r_stdin.seconds, floor).c_str(),
      Ratio(r_scan.seconds, floor).c_str(),
      Mark(slowest <= 1.3 * floor).c_str());
  std::printf("  (I/O floor: cat > /dev/null plus the write, %.3f s)\n", floor);
  long rss =
      std::max({r_plain.max_rss_kb, r_stdin.max_rss_kb, r_scan.max_rss_kb});
  std::printf("  peak RSS %ld KB  (target: a few MB, whatever the size)  %s\n",
              rss, Mark(rss <= kFewMegabytes).c_str());
  std::string wrong;
  if (r_plain.faults) wrong += " -p";
  if (r_stdin.faults) wrong += " stdin";
  if (r_scan.faults) wrong += " scan";
  if (r_b64.faults) wrong += " base64-d";
  if (r_py.faults) wrong += " python";
  if (!wrong.empty()) {
    std::printf("  OUTPUT WRONG:%s\n", wrong.c_str());
    ctx.faults++;
  }
  std::printf("\n");
  fs::remove_all(spool);
  fs::remove_all(out);
  fs::remove(message);
  fs::remove(body);
}

struct ScanPoint {
  int articles = 0;
  RunResult run;
  RunResult floor;  // cat of every article once
  Spool spool;
};

std::string Format(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// ------------------------------------------------------------------- yEnc

// The node modules that hold yencode: $QUILLON_NODE_MODULES, as for the
// tests, else node's own search.
std::vector<std::string> NodeEnv() {
  const char* modules = std::getenv("QUILLON_NODE_MODULES");
  if (!modules || !*modules) return {};
  return {std::string("NODE_PATH=") + modules};
}

// A peer decoder's row: left out, saying why, where it is not installed.
struct Peer {
  const char* name = "";
  Child child;
  bool have = false;
  RunResult r;
};

std::vector<Peer> YencPeers(const Options& opt, const std::string& file,
                            const std::string& decoded) {
  std::string bench = QUILLON_BENCH_DIR;
  std::vector<Peer> peers(2);
  peers[0].name = "sabyenc3";
  peers[0].child.argv = {opt.python, bench + "/ydecode_sabyenc.py", file,
                         decoded};
  peers[0].have =
      Run(Child{{opt.python, "-c", "import sabyenc3"}, "", "", "", "", {}})
          .status == 0;
  peers[1].name = "yencode";
  peers[1].child.argv = {"node", bench + "/ydecode_yencode.js", file, decoded};
  peers[1].child.env = NodeEnv();
  peers[1].have =
      Run(Child{
              {"node", "-e", "require('yencode')"}, "", "", "", "", NodeEnv()})
          .status == 0;
  return peers;
}

double Cpu(const RunResult& r) { return r.user_seconds + r.system_seconds; }

// A row of the yEnc tables: on a busy machine the CPU time (user and
// system) says what the wall time may not.
void YencRow(const char* what, const RunResult& r, double mb) {
  std::printf("  %-28s %8.3f s %9.1f MB/s %10.3f s %9ld KB\n", what, r.seconds,
              mb / r.seconds, Cpu(r), r.max_rss_kb);
}

std::string FloorMark(const RunResult& r, double floor, double target) {
  return Ratio(r.seconds, floor) + "  (target <= " + Format("%.1f", target) +
         ")  " + Mark(r.seconds <= target * floor);
}

// One yEnc file of the data decoded by -p, and the same data as one posting
// of kYencParts articles in wire format scanned from a spool, each against
// its I/O floor (reading the input, writing the decoded file); the file
// also by the peers.
void BenchYenc(Context& ctx) {
  const Options& opt = ctx.opt;
  constexpr int kYencParts = 300;
  size_t size = size_t(opt.size_mb * 1e6);
  std::string file = ctx.work + "/yenc.txt";
  std::string spool = ctx.work + "/yenc-spool";
  std::string out = ctx.work + "/yenc-out";
  std::string decoded = out + "/yenc.bin";
  fs::create_directories(spool);
  fs::create_directories(out);
  uint32_t crc = 0;
  size_t wire_bytes = 0;
  {
    std::string data = YencData(Rng(opt.seed), size);
    crc = Crc32(0, data.data(), data.size());
    WriteYencFile(file, "yenc.bin", data);
    wire_bytes = WriteYencSpool(spool, "yenc.bin", data, kYencParts);
  }
  std::string list;
  for (int part = 1; part <= kYencParts; ++part)
    list += std::to_string(part) + "\n";
  WriteFile(spool + ".list", list);
  double input_mb = double(fs::file_size(file)) / 1e6;
  auto clear = [&] { fs::remove(decoded); };
  auto check = [&](const RunResult& r) {
    return r.status == 0 && SameCrc(decoded, crc, size) ? 0 : 1;
  };
  // Runs are short: more of them find the machine quiet.
  const int reps = 5;

  RunResult r_cat = ReadFloor(file, reps);
  Child plain{
      {opt.quillon, "-q", "-p", "-dest", out, file}, "", "", "", "", {}};
  RunResult r_plain = Best(plain, reps, clear, check);
  RunResult r_write = WriteFloor(decoded, reps);
  std::vector<Peer> peers = YencPeers(opt, file, decoded);
  for (Peer& p : peers)
    if (p.have) p.r = Best(p.child, 3, clear, check);

  Child cat_spool{{"xargs", "cat"}, spool, spool + ".list", "", "", {}};
  RunResult r_cat_spool = Best(
      cat_spool, reps, [&] { WarmDir(spool); }, NoCheck);
  Child scan{{opt.quillon, "-q", "-dest", out, "-files", spool + ".list"},
             spool,
             "",
             "",
             "",
             {}};
  RunResult r_scan = Best(
      scan, reps,
      [&] {
        clear();
        WarmDir(spool);
      },
      check);
  clear();

  std::printf(
      "yEnc decoding: %.0f MB decoded, one file of %.1f MB (best of %d, "
      "the peers of 3)\n",
      double(size) / 1e6, input_mb, reps);
  std::printf("  %-28s %10s %14s %12s %12s\n", "", "time", "rate", "CPU",
              "peak RSS");
  YencRow("cat > /dev/null", r_cat, input_mb);
  YencRow("cat DECODED > NEW (write)", r_write, double(size) / 1e6);
  YencRow("quillon -p FILE", r_plain, input_mb);
  for (const Peer& p : peers)
    if (p.have) YencRow(p.name, p.r, input_mb);
  double floor = r_cat.seconds + r_write.seconds;
  std::printf("  time / I/O floor:       -p %s\n",
              FloorMark(r_plain, floor, 1.3).c_str());
  std::printf("  CPU / the floor's CPU:  -p %s\n",
              Ratio(Cpu(r_plain), Cpu(r_cat) + Cpu(r_write)).c_str());
  for (const Peer& p : peers) {
    if (!p.have) {
      std::printf("  %s is not installed: no comparison\n", p.name);
      continue;
    }
    std::printf("  time / I/O floor:       %s %s; -p is %s x as fast\n", p.name,
                Ratio(p.r.seconds, floor).c_str(),
                Ratio(p.r.seconds, r_plain.seconds).c_str());
  }
  std::printf("  (I/O floor: cat > /dev/null plus the write, %.3f s)\n", floor);

  std::printf(
      "yEnc scan: the same data as one posting of %d articles in wire format "
      "(%.1f MB), quillon -q -dest OUT -files LIST (best of %d)\n",
      kYencParts, double(wire_bytes) / 1e6, reps);
  YencRow("xargs cat > /dev/null", r_cat_spool, double(wire_bytes) / 1e6);
  YencRow("quillon (scan)", r_scan, double(wire_bytes) / 1e6);
  double spool_floor = r_cat_spool.seconds + r_write.seconds;
  std::printf("  time / I/O floor:       scan %s\n",
              FloorMark(r_scan, spool_floor, 1.5).c_str());
  std::printf("  CPU / the floor's CPU:  scan %s\n",
              Ratio(Cpu(r_scan), Cpu(r_cat_spool) + Cpu(r_write)).c_str());
  std::printf("  (I/O floor: cat of the articles plus the write, %.3f s)\n",
              spool_floor);
  std::string wrong;
  if (r_plain.faults) wrong += " -p";
  if (r_scan.faults) wrong += " scan";
  for (const Peer& p : peers)
    if (p.have && p.r.faults) wrong += std::string(" ") + p.name;
  if (!wrong.empty()) {
    std::printf("  OUTPUT WRONG:%s\n", wrong.c_str());
    ctx.faults++;
  }
  std::printf("\n");
  fs::remove_all(spool);
  fs::remove(spool + ".list");
  fs::remove_all(out);
  fs::remove(file);
}

// The largest spool's articles as one mbox file under -extended, against
// cat of that file.
void BenchMbox(Context& ctx, const ScanPoint& point, const std::string& mbox) {
  std::string out = ctx.work + "/mbox-out";
  Child cat{{"cat", mbox}, "", "", "", "", {}};
  Run(cat);  // into the page cache
  RunResult r_cat = Best(
      cat, 3, [] {}, NoCheck);
  Child scan{{ctx.opt.quillon, "-q", "-extended", "-dest", out, mbox},
             ctx.work,
             "",
             ctx.work + "/mbox.stdout",
             ctx.work + "/mbox.stderr",
             {}};
  RunResult r = Best(
      scan, 3, [&] { ResetDir(out); },
      [&](const RunResult&) { return VerifySpool(point.spool, out); });
  SetAside(out);
  double mb = double(fs::file_size(mbox)) / 1e6;
  std::vector<std::string>& rows = ctx.mbox_rows;
  rows.push_back(
      Format("mbox archive: the %d articles as one file of %.0f MB, quillon -q "
             "-extended -dest OUT FILE\n",
             point.articles, mb));
  rows.push_back(Format("  %-28s %10s %9.3f s user %9ld KB\n", "quillon",
                        Time(r).c_str(), r.user_seconds, r.max_rss_kb));
  rows.push_back(
      Format("  %-28s %10s\n", "cat > /dev/null", Time(r_cat).c_str()));
  rows.push_back(
      Format("  time / cat time: %s  (target <= 1.5)  %s\n",
             Ratio(r.seconds, r_cat.seconds).c_str(),
             Mark(!r.timed_out && r.seconds <= 1.5 * r_cat.seconds).c_str()));
  rows.push_back(Format(
      "  peak RSS %ld KB, %ld KB for the spool of the same articles  (target: "
      "no more than the spool's)  %s\n",
      r.max_rss_kb, point.run.max_rss_kb,
      Mark(r.max_rss_kb <= point.run.max_rss_kb + 16 * 1024).c_str()));
  if (r.faults || (r.status != 0 && !r.timed_out)) {
    rows.push_back(Format("  OUTPUT WRONG: exit status %d, %d faults\n",
                          r.status, r.faults));
    ctx.faults++;
  }
  rows.push_back("\n");
}

// The marker of a spool (and of the mbox made with it) that a run made in
// full: a later run with the same seed and generator takes them as they are.
std::string SpoolMarker(const std::string& dir) { return dir + ".made"; }

// Raised whenever the generator writes other articles for the same seed.
// 2: the damaged part of a posting is damaged in its data, not its header.
constexpr int kGenerator = 2;

std::string MarkerText(uint64_t seed) {
  return std::to_string(seed) + " " + std::to_string(kGenerator) + "\n";
}

bool SpoolMade(const std::string& dir, uint64_t seed) {
  std::ifstream in(SpoolMarker(dir));
  uint64_t made = 0;
  int generator = 0;
  return in >> made >> generator && made == seed && generator == kGenerator;
}

// The spool of `count` articles, made or found again; its list of article
// files in glob order for -files, and the mbox of the same articles for
// the largest spool of --big.
Spool PrepareSpool(Context& ctx, int count, const std::string& dir,
                   const std::string& mbox) {
  bool made =
      SpoolMade(dir, ctx.opt.seed) && (mbox.empty() || fs::exists(mbox));
  if (!made) {
    fs::remove(SpoolMarker(dir));
    fs::remove_all(dir);
    std::fprintf(stderr, "[making the spool of %d articles]\n", count);
  }
  Spool spool = MakeSpool(dir, ctx.opt.seed, count, !made, mbox);
  if (!made) WriteFile(SpoolMarker(dir), MarkerText(ctx.opt.seed));
  std::string list;
  for (std::string& name : GlobOrder(count)) list += name + "\n";
  WriteFile(dir + ".list", list);
  return spool;
}

ScanPoint BenchScan(Context& ctx, int count) {
  std::string dir = ctx.work + "/spool" + std::to_string(count);
  std::string out = ctx.work + "/spool-out";
  bool big = (ctx.opt.mbox || (ctx.opt.big && count >= kKeptSpool)) &&
             count == ctx.opt.articles.back();
  // A small one is named by its count: only the big one is kept.
  std::string mbox = !big ? ""
                     : count >= kKeptSpool
                         ? ctx.work + "/archive.mbox"
                         : Format("%s/archive%d.mbox", ctx.work.c_str(), count);
  ScanPoint point;
  point.articles = count;
  point.spool = PrepareSpool(ctx, count, dir, mbox);
  std::string list = dir + ".list";
  // The I/O floor: every article read once.
  Child cat{{"xargs", "cat"}, dir, list, "", "", {}};
  point.floor = Best(
      cat, 3, [&] { WarmDir(dir); }, NoCheck);
  Child scan{{ctx.opt.quillon, "-q", "-dest", out, "-files", list},
             dir,
             "",
             ctx.work + "/scan.stdout",
             ctx.work + "/scan.stderr",
             {}};
  point.run = Best(
      scan, count >= kKeptSpool ? 3 : 5,
      [&] {
        ResetDir(out);
        WarmDir(dir);
      },
      [&](const RunResult&) { return VerifySpool(point.spool, out); });
  std::fprintf(stderr, "[scan of %d articles: %s]\n", count,
               Time(point.run).c_str());
  int faults = point.run.faults;
  if ((point.run.status != 0 && !point.run.timed_out) || faults > 0) {
    std::fprintf(stderr, "  spool of %d: exit status %d, %d faults\n", count,
                 point.run.status, faults);
    ctx.faults++;
  }
  SetAside(out);
  if (big) BenchMbox(ctx, point, mbox);
  return point;
}

void PrintScans(Context& ctx, const std::vector<ScanPoint>& points) {
  std::printf(
      "scan mode: quillon -q -dest OUT -files LIST (every article file, in "
      "glob order)\n");
  std::printf("  %8s %8s %7s %7s %5s %4s %9s %10s %9s %10s %6s %11s\n",
              "articles", "postings", "checked", "missing", "repost", "dup",
              "input MB", "time", "user CPU", "cat floor", "/floor",
              "peak RSS");
  for (const ScanPoint& p : points) {
    std::printf(
        "  %8d %8zu %7d %7d %6d %4d %9.1f %10s %7.3f s %8.3f s %6s %8ld KB\n",
        p.articles, p.spool.postings.size(), p.spool.complete, p.spool.missing,
        p.spool.reposts, p.spool.duplicates, double(p.spool.bytes) / 1e6,
        Time(p.run).c_str(), p.run.user_seconds, p.floor.seconds,
        Ratio(p.run.seconds, p.floor.seconds).c_str(), p.run.max_rss_kb);
  }
  // Growth per 4x: user CPU (the algorithms) and wall time (with the I/O).
  for (size_t i = 1; i < points.size(); ++i) {
    const ScanPoint& a = points[i - 1];
    const ScanPoint& b = points[i];
    if (b.articles < 64000) continue;
    double step = double(b.articles) / double(a.articles);
    double bound = 4.4 * step / 4.0;
    double user = b.run.timed_out
                      ? 1e9
                      : b.run.user_seconds / std::max(a.run.user_seconds, 1e-3);
    double per4 = std::pow(user, std::log(4.0) / std::log(step));
    // The target starts at 64,000 articles.
    std::string mark = a.articles < 64000 ? "no target below 64000)"
                                          : "target <= 4.4)  " + Mark(user <= bound);
    std::printf("  growth %d/%d: user CPU %.2f (%.2f per 4x, %s; wall %s\n",
                b.articles, a.articles, user, per4, mark.c_str(),
                Growth(a.run, b.run).c_str());
  }
  if (points.size() >= 2) {
    const ScanPoint& a = points[points.size() - 2];
    const ScanPoint& b = points.back();
    double per = double(b.run.max_rss_kb - a.run.max_rss_kb) * 1024 /
                 double(b.articles - a.articles);
    double text = double(b.spool.caption_bytes) / double(b.articles);
    std::printf(
        "  memory per article: %.0f bytes, of which %.0f bytes of "
        "subject and name text  (target < 1024 beyond the text)  %s\n",
        per, text, Mark(per - text < 1024).c_str());
  }
  for (const ScanPoint& p : points) {
    if (p.articles == 64000) {
      std::printf("  %d articles end to end in %s  (target < 10 s)  %s\n",
                  p.articles, Time(p.run).c_str(),
                  Mark(p.run.seconds < 10).c_str());
    }
    if (p.articles >= 1000000) {
      std::printf(
          "  %d articles in %s, %s x the cat floor  (target <= 2 and "
          "< 60 s)  %s\n",
          p.articles, Time(p.run).c_str(),
          Ratio(p.run.seconds, p.floor.seconds).c_str(),
          Mark(!p.run.timed_out && p.run.seconds <= 2 * p.floor.seconds &&
               p.run.seconds < 60)
              .c_str());
      std::printf("  peak RSS at %d articles %ld KB  (target <= 250 MB)  %s\n",
                  p.articles, p.run.max_rss_kb,
                  Mark(p.run.max_rss_kb <= 250 * 1000).c_str());
    }
  }
  std::printf("\n");
  std::fflush(stdout);
  for (const std::string& row : ctx.mbox_rows) std::printf("%s", row.c_str());
}

// -log, -unlog and a scan against the log, at the two largest spools.
void BenchLog(Context& ctx) {
  const Options& opt = ctx.opt;
  // The log's table stays at the default spools: big ones take argv no
  // longer.
  std::vector<int> sizes;
  for (int count : opt.articles)
    if (count < kKeptSpool) sizes.push_back(count);
  if (sizes.empty()) return;
  if (sizes.size() > 2) sizes.erase(sizes.begin(), sizes.end() - 2);
  int largest = sizes.back();
  std::string log = ctx.work + "/newslog";
  std::string env = "QUILLONLOG=" + log;
  std::string out = ctx.work + "/log-out";
  std::printf("processed-file log (QUILLONLOG)\n");
  std::printf("  %8s %8s %12s %12s %12s %11s\n", "entries", "articles", "-log",
              "-unlog", "scan", "peak RSS");
  std::vector<RunResult> unlog_runs, scan_runs;
  std::vector<int> entry_counts;
  for (int count : sizes) {
    int entries = int(int64_t(opt.log_entries) * count / largest);
    std::string dir =
        fs::canonical(ctx.work + "/spool" + std::to_string(count));
    // The older half of the spool was decoded by an earlier run.
    auto write_log = [&] { WriteLog(log, dir, entries, count / 2); };
    Child logdir{{opt.quillon, "-log", dir}, ctx.work, "", "", "", {env}};
    RunResult r_log = Best(logdir, 3, write_log, NoCheck);
    Child unlog{
        {opt.quillon, "-q", "-unlog", "/none"}, ctx.work, "", "", "", {env}};
    RunResult r_unlog = Best(unlog, 3, write_log, NoCheck);
    Child scan{
        {opt.quillon, "-q", "-dest", out}, dir,  "", ctx.work + "/scan.stdout",
        ctx.work + "/scan.stderr",         {env}};
    for (std::string& name : GlobOrder(count)) scan.argv.push_back(name);
    RunResult r_scan = Best(
        scan, 5,
        [&] {
          write_log();
          ResetDir(out);
          WarmDir(dir);
        },
        NoCheck);
    if (r_log.status != 0 || r_unlog.status != 0 ||
        (r_scan.status != 0 && !r_scan.timed_out)) {
      std::fprintf(stderr, "  log runs at %d: exit status %d %d %d\n", count,
                   r_log.status, r_unlog.status, r_scan.status);
      ctx.faults++;
    }
    std::printf("  %8d %8d %12s %12s %12s %8ld KB\n", entries, count,
                Time(r_log).c_str(), Time(r_unlog).c_str(),
                Time(r_scan).c_str(),
                std::max(r_unlog.max_rss_kb, r_scan.max_rss_kb));
    unlog_runs.push_back(r_unlog);
    scan_runs.push_back(r_scan);
    entry_counts.push_back(entries);
  }
  if (sizes.size() == 2) {
    double bound = 4.5 * double(sizes[1]) / (4.0 * double(sizes[0]));
    double g_unlog = unlog_runs[1].seconds / unlog_runs[0].seconds;
    double g_scan = scan_runs[1].seconds / scan_runs[0].seconds;
    std::printf(
        "  growth %d/%d entries: -unlog %s, scan %s  (target <= %.2f)  %s\n",
        entry_counts[1], entry_counts[0],
        Growth(unlog_runs[0], unlog_runs[1]).c_str(),
        Growth(scan_runs[0], scan_runs[1]).c_str(), bound,
        Mark(g_unlog <= bound && g_scan <= bound && !scan_runs[1].timed_out)
            .c_str());
  }
  std::printf(
      "  (the log holds the older half of the spool, which the scan "
      "skips, and expired articles)\n\n");
  fs::remove_all(out);
  fs::remove(log);
}

void Usage() {
  std::fprintf(stderr,
               "usage: quillon_bench [--seed N] [--size MB] [--articles "
               "N,N,...]\n"
               "                     [--log-entries N] [--quillon PATH] "
               "[--workdir DIR] [--keep] [--quick]\n"
               "                     [--timeout SECONDS] [--python PATH] "
               "[--only plain,mime,yenc,spools]\n"
               "                     [--big] [--mbox]\n");
  std::exit(1);
}

std::vector<int> ParseList(const std::string& text) {
  std::vector<int> list;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    int n = std::atoi(text.substr(at, end - at).c_str());
    if (n < 10) Usage();
    list.push_back(n);
    at = end + 1;
  }
  if (list.empty()) Usage();
  std::sort(list.begin(), list.end());
  return list;
}

Options ParseOptions(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage();
      return argv[++i];
    };
    if (a == "--seed") {
      opt.seed = std::strtoull(value().c_str(), nullptr, 10);
    } else if (a == "--size") {
      opt.size_mb = std::atof(value().c_str());
      if (opt.size_mb <= 0) Usage();
    } else if (a == "--articles") {
      opt.articles = ParseList(value());
    } else if (a == "--log-entries") {
      opt.log_entries = std::atoi(value().c_str());
      if (opt.log_entries < 1) Usage();
    } else if (a == "--quillon") {
      opt.quillon = value();
    } else if (a == "--workdir") {
      opt.workdir = value();
    } else if (a == "--timeout") {
      g_timeout = std::atof(value().c_str());
    } else if (a == "--python") {
      opt.python = value();
    } else if (a == "--only") {
      opt.plain = opt.mime = opt.yenc = opt.spools = false;
      std::string list = value() + ",";
      for (size_t at = 0, end; (end = list.find(',', at)) != list.npos;
           at = end + 1) {
        std::string part = list.substr(at, end - at);
        if (part == "plain") {
          opt.plain = true;
        } else if (part == "mime") {
          opt.mime = true;
        } else if (part == "yenc") {
          opt.yenc = true;
        } else if (part == "spools") {
          opt.spools = true;
        } else {
          Usage();
        }
      }
    } else if (a == "--big") {
      opt.big = true;
    } else if (a == "--mbox") {
      opt.mbox = true;
    } else if (a == "--keep") {
      opt.keep = true;
    } else if (a == "--quick") {
      opt.size_mb = 8;
      opt.articles = {250, 1000};
      opt.log_entries = 1600;
    } else {
      Usage();
    }
  }
  if (opt.big) {
    for (int count : {kKeptSpool, 1000000})
      if (std::find(opt.articles.begin(), opt.articles.end(), count) ==
          opt.articles.end())
        opt.articles.push_back(count);
    std::sort(opt.articles.begin(), opt.articles.end());
  }
  if (opt.quillon.empty()) {
    opt.quillon =
        (fs::read_symlink("/proc/self/exe").parent_path() / "quillon");
  }
  opt.quillon = fs::absolute(opt.quillon);
  if (access(opt.quillon.c_str(), X_OK) != 0) {
    Die("cannot run " + opt.quillon + " (give --quillon PATH)");
  }
  return opt;
}

// Removes what the run made; in a --workdir the spools (with their markers
// and lists) and the mbox stay for the next run.
void RemoveWork(const Context& ctx) {
  if (ctx.opt.workdir.empty()) {
    fs::remove_all(ctx.work);
    return;
  }
  for (const auto& entry : fs::directory_iterator(ctx.work)) {
    std::string name = entry.path().filename();
    if (name.rfind("spool", 0) == 0 && name != "spool-out") continue;
    if (name == "archive.mbox") continue;
    fs::remove_all(entry.path());
  }
}

}  // namespace

int main(int argc, char** argv) {
  Context ctx;
  ctx.opt = ParseOptions(argc, argv);
  StartLauncher();
  if (ctx.opt.workdir.empty()) {
    char tmpl[] = "/tmp/quillon_bench.XXXXXX";
    if (!mkdtemp(tmpl)) Die("cannot make a directory under /tmp");
    ctx.work = tmpl;
  } else {
    ctx.work = ctx.opt.workdir;
    fs::create_directories(ctx.work);
  }
  ctx.work = fs::canonical(ctx.work);
  g_set_aside = ctx.work + "/set-aside";
  std::printf("quillon_bench: %s, seed %llu, in %s\n\n",
              ctx.opt.quillon.c_str(), (unsigned long long)ctx.opt.seed,
              ctx.work.c_str());
  std::fflush(stdout);
  double start = Now();
  if (ctx.opt.plain) BenchPlain(ctx);
  std::fflush(stdout);
  if (ctx.opt.mime) BenchMime(ctx);
  std::fflush(stdout);
  if (ctx.opt.yenc) BenchYenc(ctx);
  std::fflush(stdout);
  if (ctx.opt.spools) {
    std::vector<ScanPoint> points;
    for (int count : ctx.opt.articles) points.push_back(BenchScan(ctx, count));
    PrintScans(ctx, points);
    std::fflush(stdout);
    BenchLog(ctx);
  }
  std::printf(
      "outputs %s; %.0f s in all\n",
      ctx.faults ? "WRONG (see above)" : "byte-identical to the originals",
      Now() - start);
  std::fflush(stdout);
  fs::remove_all(g_set_aside);
  if (!ctx.opt.keep) RemoveWork(ctx);
  return ctx.faults ? 1 : 0;
}
