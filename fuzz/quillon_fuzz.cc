// The whole program over a small generated spool. The first byte picks an
// option set; the rest is cut at kSeparator into article files "1", "2",
// ... (at most kMaxFiles). Each input runs in this process in an emptied
// directory, which also takes the output (-dest out); the run must end with
// status 0, 1 or 2, writing nothing outside that directory, and free what
// it took.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run.h"
#include "in_process.h"
#include "quillon.h"

namespace {

constexpr std::string_view kSeparator = "\n%%FILE\n";
constexpr size_t kMaxFiles = 8;

enum Input { kFiles, kStdin, kLogged };

struct OptionSet {
  std::vector<const char*> words;
  Input input = kFiles;
};

const std::vector<OptionSet>& OptionSets() {
  static const std::vector<OptionSet> sets = {
      {{}},
      {{"-plain"}},
      {{"-extended"}},
      {{"-dos"}},
      {{"-delete", "-extended"}},
      {{"-keywords", "+jpg -zip part"}},
      {{"-dir"}},
      {{"-quiet", "-errors", "errors", "-mode", "600"}},
      {{}, kStdin},
      {{"-delete"}, kLogged},
      {{"-dos", "-extended", "-dir"}},
      {{"-plain", "-dos", "-errors", "errors"}},
  };
  return sets;
}

std::vector<std::string> SplitFiles(std::string_view rest) {
  std::vector<std::string> files;
  while (files.size() + 1 < kMaxFiles) {
    size_t at = rest.find(kSeparator);
    if (at == std::string_view::npos) break;
    files.emplace_back(rest.substr(0, at));
    rest.remove_prefix(at + kSeparator.size());
  }
  files.emplace_back(rest);
  return files;
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

int RunQuillon(const std::string& dir, const OptionSet& set,
               const std::vector<std::string>& files) {
  unsetenv("QUILLONLOG");
  mkdir("out", 0700);
  std::vector<std::string> args = {"quillon"};
  for (const char* word : set.words) args.emplace_back(word);
  args.insert(args.end(), {"-dest", "out"});

  if (set.input == kStdin) {
    Write("stdin", files.front());
    int fd = open("stdin", O_RDONLY);
    if (fd < 0 || dup2(fd, STDIN_FILENO) < 0) std::abort();
    close(fd);
  } else {
    for (size_t i = 0; i < files.size(); ++i) {
      std::string name = std::to_string(i + 1);
      Write(name, files[i]);
      args.push_back(name);
    }
  }
  if (set.input == kLogged) {
    // The directory is logged, and file 2 counts as processed.
    Write("log", "*" + dir + "\n@2\n");
    setenv("QUILLONLOG", (dir + "/log").c_str(), 1);
  }

  // QuillonMain may change its arguments in place (keywords).
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return QuillonMain(static_cast<int>(args.size()), argv.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const OptionSet& set = OptionSets()[data[0] % OptionSets().size()];
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<std::string> files = SplitFiles(rest);
  int status = RunQuillon(BeginInput(), set, files);
  EndInput();
  if (status < 0 || status > 2) Fail("exit status " + std::to_string(status));
  return 0;
}
