#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "decoding/output.h"
#include "quillon.h"

namespace {

std::string Take(std::FILE* stream, TestReporter::Buffer* buffer) {
  std::fflush(stream);
  std::string text(buffer->text + buffer->taken, buffer->size - buffer->taken);
  buffer->taken = buffer->size;
  return text;
}

}  // namespace

TestReporter::TestReporter(bool quiet) {
  reporter.out = open_memstream(&out.text, &out.size);
  reporter.err = open_memstream(&err.text, &err.size);
  if (!reporter.out || !reporter.err)
    throw std::runtime_error("open_memstream failed");
  reporter.quiet = quiet;
}

TestReporter::~TestReporter() {
  std::fclose(reporter.out);
  std::fclose(reporter.err);
  std::free(out.text);
  std::free(err.text);
}

std::string TestReporter::Out() { return Take(reporter.out, &out); }
std::string TestReporter::Err() { return Take(reporter.err, &err); }

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(
      std::filesystem::symlink_status(path, ignored));
}

namespace {

char Enc(unsigned v) { return v ? static_cast<char>((v & 63) + 32) : '`'; }

}  // namespace

std::string UuencodeLines(const std::string& data) {
  std::string out;
  for (size_t at = 0; at < data.size(); at += 45) {
    size_t n = std::min<size_t>(45, data.size() - at);
    out += Enc(static_cast<unsigned>(n));
    for (size_t i = 0; i < n; i += 3) {
      unsigned char b[3] = {0, 0, 0};
      for (size_t k = 0; k < 3 && i + k < n; ++k)
        b[k] = static_cast<unsigned char>(data[at + i + k]);
      out += Enc(b[0] >> 2);
      out += Enc(((b[0] << 4) | (b[1] >> 4)) & 63);
      out += Enc(((b[1] << 2) | (b[2] >> 6)) & 63);
      out += Enc(b[2] & 63);
    }
    out += '\n';
  }
  return out;
}

std::string Uuencode(const std::string& data, const std::string& name,
                     const std::string& mode) {
  return "begin " + mode + " " + name + "\n" + UuencodeLines(data) + "`\nend\n";
}

Records* TestRecords() {
  static Records records;
  return &records;
}

void clean(PassOutput* output, Segment* list) {
  output->list = list;
  CleanFinished(output);
}

LogList LoadLogText(const std::string& text, const std::string& cwd) {
  TempDir dir;
  std::string path = dir.Path("log");
  WriteFile(path, text);
  const char* set = std::getenv("QUILLONLOG");
  std::string saved = set ? set : "";
  setenv("QUILLONLOG", path.c_str(), 1);
  LogList list;
  list.CWD = cwd;
  TestReporter quiet(true);
  LoadDlist(&list, quiet.get());
  list.LOGFILE = nullptr;
  if (set)
    setenv("QUILLONLOG", saved.c_str(), 1);
  else
    unsetenv("QUILLONLOG");
  return list;
}
