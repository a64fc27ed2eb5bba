// ydecode_bench: yEnc decoding with its CRC check against the I/O floor and
// the packaged yEnc decoders.
//
// From a seed it writes random bytes yEnc-encoded as one single-part file
// (128-character lines, CR LF, =yend with crc32), then times, best of
// --runs, each as a child process after a sync with the page cache warm:
// cat to /dev/null; the I/O floor (reading the input and writing as many
// bytes as it decodes to); this program's decoder with its CRC (256 KiB
// reads, output file written); sabyenc3 (Python) and yencode (node) where
// they are installed. Every decoder's output file is checked against the
// data's CRC and size. Figures are printed, never judged.
//
//   ydecode_bench [--size-mb N] [--seed N] [--runs N] [--dir DIR]
//                 [--python PATH] [--node-path DIR]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.h"
#include "checksum/crc32.h"
#include "yenc/keyword.h"
#include "yenc/testing.h"
#include "yenc/ydecode.h"

const char kBenchName[] = "ydecode_bench";

namespace {

// The test file: random bytes, encoded as they are made, so that memory
// stays small. Returns the data's CRC.
uint32_t WriteTestFile(const std::string& path, uint64_t size, uint64_t seed) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) Fail("cannot create " + path);
  std::string head =
      "=ybegin line=128 size=" + std::to_string(size) + " name=random.bin\r\n";
  WriteAll(fd, head.data(), head.size());
  std::mt19937_64 rng(seed);
  std::vector<unsigned char> data(kChunk);
  // As encoders write for news: also "." at a line's start, and TAB and
  // SPACE at its ends. Each chunk ends its last line.
  YencStyle style;
  style.escape_blanks = style.escape_dots = true;
  uint32_t crc = 0;
  for (uint64_t done = 0; done < size;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, size - done));
    FillRandom(&rng, data.data(), n);
    crc = Crc32(crc, data.data(), n);
    std::string text = EncodeYencLines(
        std::string_view(reinterpret_cast<const char*>(data.data()), n), style);
    WriteAll(fd, text.data(), text.size());
    done += n;
  }
  char tail[96];
  std::snprintf(tail, sizeof tail, "=yend size=%llu crc32=%08x\r\n",
                static_cast<unsigned long long>(size), crc);
  WriteAll(fd, tail, std::strlen(tail));
  close(fd);
  return crc;
}

// The rest of a keyword line, gathered across reads up to its LF.
bool GatherLine(std::string* line, const char* p, size_t n) {
  const void* lf = std::memchr(p, '\n', n);
  size_t take = lf ? static_cast<size_t>(static_cast<const char*>(lf) - p) : n;
  line->append(p, take);
  return lf != nullptr;
}

// Child: decodes the test file with its CRC into `out_path` and checks the
// =yend line's size and crc32.
int DecodeFile(const char* in_path, const char* out_path) {
  int in = open(in_path, O_RDONLY);
  int out = open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) Fail("cannot open the files to decode");
  std::vector<char> text(kChunk);
  std::vector<unsigned char> bytes(kChunk);
  std::string begin_line, end_line;
  bool begun = false, ending = false, ended = false;
  YencState state;
  uint32_t crc = 0;
  uint64_t size = 0;
  ssize_t got;
  while (!ended && (got = read(in, text.data(), kChunk)) > 0) {
    const char* p = text.data();
    auto n = static_cast<size_t>(got);
    if (!begun) {  // the =ybegin line lies in the first read
      const void* lf = std::memchr(p, '\n', n);
      if (!lf) Fail("no =ybegin line");
      size_t skip = static_cast<size_t>(static_cast<const char*>(lf) - p) + 1;
      begin_line.assign(p, skip);
      p += skip;
      n -= skip;
      begun = true;
    }
    if (!ending) {
      YencDecoded d = DecodeYenc(&state, p, n, bytes.data(), false);
      crc = Crc32(crc, bytes.data(), d.written);
      WriteAll(out, bytes.data(), d.written);
      size += d.written;
      ending = d.keyword;
      p += d.consumed;
      n -= d.consumed;
      if (ending) end_line.assign(1, '=');  // not = "=": g++ 12 -O3 -Wrestrict
    }
    if (ending) ended = GatherLine(&end_line, p, n);
  }
  close(in);
  if (close(out) != 0) Fail("close failed");
  Ybegin ybegin;
  Yend yend;
  if (!ParseYbegin(begin_line, &ybegin) || !ParseYend(end_line, &yend))
    Fail("broken keyword lines");
  if (!yend.has_crc32 || yend.crc32 != crc || size != ybegin.size)
    Fail("CRC or size error");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int status;
  if (RunChildMode(argc, argv, DecodeFile, &status)) return status;
  BenchOptions options;
  options.runs = 3;
  std::string node_path;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string o = argv[i], v = argv[i + 1];
    if (o == "--node-path")
      node_path = v;
    else if (!TakeOption(o, v, &options))
      Fail("unknown option " + o);
  }
  if (!node_path.empty()) setenv("NODE_PATH", node_path.c_str(), 1);
  BenchFiles files = MakeBenchFiles(options, "ydecode-bench", "random.yenc");
  const std::string &in = files.in, &out = files.out;
  auto size = static_cast<uint64_t>(options.size_mb * 1e6);
  uint32_t crc = WriteTestFile(in, size, options.seed);
  struct stat st {};
  stat(in.c_str(), &st);
  std::string scripts = QUILLON_BENCH_DIR;
  std::vector<Command> runs_of = FloorCommands(in, out, size);
  runs_of.push_back(DecodeCommand("quillon", in, out));
  if (Works({options.python, "-c", "import sabyenc3"}))
    runs_of.push_back(
        {"sabyenc3",
         {options.python, scripts + "/ydecode_sabyenc.py", in, out}});
  else
    std::printf("sabyenc3: not installed (apt-get install python3-sabyenc)\n");
  if (Works({"node", "-e", "require('yencode')"}))
    runs_of.push_back(
        {"yencode", {"node", scripts + "/ydecode_yencode.js", in, out}});
  else
    std::printf("yencode: not installed (npm install yencode; --node-path)\n");
  std::vector<Row> rows;
  for (const auto& [name, args] : runs_of) {
    Timing t = BestOf(args, options.runs);
    if (!t.ok && (name == "sabyenc3" || name == "yencode")) {
      std::printf("%s: failed, left out\n", name.c_str());
      continue;
    }
    rows.push_back(CheckedRow(name, t, out, crc, size));
  }
  std::printf(
      "%.0f MB of random bytes, yEnc %.1f MB, 128-character lines; "
      "best of %d runs\n",
      size / 1e6, static_cast<double>(st.st_size) / 1e6, options.runs);
  std::printf("%-16s %8s %10s %10s  %s\n", "", "seconds", "MB/s", "peak MB",
              "output");
  double ours = 0, floor = 0, fastest_peer = 0;
  std::string fastest;
  for (const Row& r : rows) {
    double speed = size / 1e6 / r.t.seconds;
    std::printf("%-16s %8.3f %10.0f %10.1f  %s\n", r.name.c_str(), r.t.seconds,
                speed, r.t.max_rss_kb / 1024.0, r.checked ? "checked" : "-");
    if (r.name == "quillon") ours = r.t.seconds;
    if (r.name == "I/O floor") floor = r.t.seconds;
    if (r.name == "sabyenc3" || r.name == "yencode") {
      if (fastest_peer == 0 || r.t.seconds < fastest_peer) fastest = r.name;
      if (fastest_peer == 0 || r.t.seconds < fastest_peer)
        fastest_peer = r.t.seconds;
    }
  }
  std::printf("quillon / I/O floor (time): %.2f  (target <= 2)\n",
              ours / floor);
  if (fastest_peer > 0)
    std::printf("quillon / %s (speed): %.2f  (target >= 1)\n", fastest.c_str(),
                fastest_peer / ours);
  RemoveBenchFiles(files);
  return 0;
}
