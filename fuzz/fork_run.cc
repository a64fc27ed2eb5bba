#include "fork_run.h"

#include <fcntl.h>
#include <sanitizer/lsan_interface.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

// libFuzzer's inline 8-bit counters: one section for the whole program. The
// child's hits are copied back through shared memory, else the parent would
// never see the coverage of what ran in the child.
extern "C" {
extern uint8_t __start___sancov_cntrs[] __attribute__((weak));
extern uint8_t __stop___sancov_cntrs[] __attribute__((weak));
}

namespace {

constexpr int kLeakExit = 23;

// A leak check costs more than the run itself, so after the first inputs
// (among them every input given on the command line) only every
// kLeakCheckEvery-th child looks for leaks. A child holds only its own
// input's allocations, so a report always names the right input.
constexpr unsigned long kLeakCheckFirst = 64;
constexpr unsigned long kLeakCheckEvery = 16;
unsigned long g_runs = 0;

std::string g_base;  // per-process directory holding every run
pid_t g_owner = 0;   // the process that made it; children never remove it
uint8_t* g_shared = nullptr;

size_t CounterSize() {
  if (!__start___sancov_cntrs || !__stop___sancov_cntrs) return 0;
  return static_cast<size_t>(__stop___sancov_cntrs - __start___sancov_cntrs);
}

// Byte by byte: the section is not the sanitizer's to check.
__attribute__((no_sanitize("address"))) void CopyBytes(
    volatile uint8_t* to, const volatile uint8_t* from, size_t n) {
  for (size_t i = 0; i < n; ++i) to[i] = from[i];
}

void RemoveBase() {
  if (getpid() != g_owner) return;
  std::error_code ignored;
  std::filesystem::remove_all(g_base, ignored);
}

void Setup() {
  if (!g_base.empty()) return;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/quillon-fuzz-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("quillon fuzz: mkdtemp");
    std::abort();
  }
  g_base = pattern;
  g_owner = getpid();
  std::atexit(RemoveBase);
  if (size_t n = CounterSize()) {
    void* map = mmap(nullptr, n, PROT_READ | PROT_WRITE,
                     MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) {
      std::perror("quillon fuzz: mmap");
      std::abort();
    }
    g_shared = static_cast<uint8_t*>(map);
  }
}

void Redirect(const char* path, int fd, int flags) {
  int f = open(path, flags, 0600);
  if (f < 0 || dup2(f, fd) < 0) _exit(111);
  close(f);
}

[[noreturn]] void RunChild(
    const std::function<void(const std::string& dir)>& body,
    const std::string& dir, const std::string& err, bool check_leaks) {
  // The child must not outlive a parent that libFuzzer ends on a timeout.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (chdir(dir.c_str()) != 0) _exit(111);
  Redirect("/dev/null", STDOUT_FILENO, O_WRONLY);
  Redirect(err.c_str(), STDERR_FILENO, O_WRONLY | O_CREAT | O_TRUNC);
  body(dir);
  std::fflush(nullptr);
  if (g_shared) CopyBytes(g_shared, __start___sancov_cntrs, CounterSize());
  if (check_leaks && __lsan_do_recoverable_leak_check()) _exit(kLeakExit);
  _exit(0);
}

void ShowChildErrors(const std::string& err) {
  std::ifstream in(err, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::cerr << text.str() << std::flush;
}

}  // namespace

void RunInChild(const std::function<void(const std::string& dir)>& body) {
  Setup();
  std::string dir = g_base + "/run";
  std::string err = g_base + "/stderr";
  std::filesystem::create_directory(dir);
  ++g_runs;
  bool check_leaks = g_runs <= kLeakCheckFirst || g_runs % kLeakCheckEvery == 0;
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    std::perror("quillon fuzz: fork");
    std::abort();
  }
  if (pid == 0) RunChild(body, dir, err, check_leaks);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      std::perror("quillon fuzz: waitpid");
      std::abort();
    }
  }
  bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (clean && g_shared)
    CopyBytes(__start___sancov_cntrs, g_shared, CounterSize());
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  if (clean) return;

  ShowChildErrors(err);
  RemoveBase();
  if (WIFSIGNALED(status)) {
    std::fprintf(stderr, "quillon fuzz: child died by signal %d\n",
                 WTERMSIG(status));
  } else if (WEXITSTATUS(status) == kLeakExit) {
    std::fprintf(stderr, "quillon fuzz: child leaked memory\n");
  } else {
    std::fprintf(stderr, "quillon fuzz: child exited with status %d\n",
                 WEXITSTATUS(status));
  }
  std::abort();
}
