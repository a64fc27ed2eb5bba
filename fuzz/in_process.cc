#include "in_process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string g_base;             // holds the working directory and nothing else
std::string g_dir;              // the working directory
std::FILE* g_stderr = nullptr;  // the real standard error stream
std::string g_kept;             // what the program wrote on it
int g_home = -1;  // libFuzzer's working directory, where its files are
char* g_buffer = nullptr;
size_t g_size = 0;

void RemoveBase() {
  std::error_code ignored;
  fs::remove_all(g_base, ignored);
}

// TMPDIR if set, else memory where the system has it: every input creates
// and removes a handful of files, which on a disk file system soon costs
// more than running the input.
std::string MakeBase() {
  const char* tmp = std::getenv("TMPDIR");
  std::vector<std::string> places;
  if (tmp && *tmp) places.emplace_back(tmp);
  places.insert(places.end(), {"/dev/shm", "/tmp"});
  for (const std::string& place : places) {
    std::string pattern = place + "/quillon-fuzz-XXXXXX";
    if (mkdtemp(pattern.data())) return pattern;
  }
  std::perror("quillon fuzz: mkdtemp");
  std::abort();
}

void Setup() {
  g_base = MakeBase();
  g_dir = g_base + "/run";
  std::atexit(RemoveBase);
  fs::create_directory(g_dir);
  g_home = open(".", O_RDONLY | O_DIRECTORY);
  if (g_home < 0) std::abort();
  std::fflush(stdout);
  int null = open("/dev/null", O_WRONLY);
  if (null < 0 || dup2(null, STDOUT_FILENO) < 0) std::abort();
  close(null);
  g_stderr = stderr;
}

}  // namespace

const std::string& BeginInput() {
  if (g_base.empty()) Setup();
  for (const fs::directory_entry& e : fs::directory_iterator(g_dir)) {
    // Output files may have lost their write permission (-mode).
    std::error_code ignored;
    fs::remove_all(e.path(), ignored);
  }
  if (chdir(g_dir.c_str()) != 0) {
    std::perror("quillon fuzz: chdir");
    std::abort();
  }
  // The program writes through the stdio stream only; the sanitizers and
  // libFuzzer write to the descriptor, which stays as it is.
  stderr = open_memstream(&g_buffer, &g_size);
  if (!stderr) std::abort();
  return g_dir;
}

void EndInput() {
  std::fclose(stderr);
  stderr = g_stderr;
  g_kept.assign(g_buffer, g_size);
  std::free(g_buffer);
  g_buffer = nullptr;
  if (fchdir(g_home) != 0) std::abort();
  for (const fs::directory_entry& e : fs::directory_iterator(g_base)) {
    if (e.path() != g_dir)
      Fail("written outside the input's directory: " + e.path().string());
  }
  if (!fs::is_directory(g_dir)) Fail("the input's directory is gone");
}

void Fail(const std::string& what) {
  std::fputs(g_kept.c_str(), g_stderr);
  std::fprintf(g_stderr, "quillon fuzz: %s\n", what.c_str());
  std::abort();
}
