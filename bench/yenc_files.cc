#include "yenc_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "checksum/crc32.h"
#include "yenc/testing.h"

std::string YencData(Rng rng, size_t size) {
  std::string data(size, '\0');
  for (size_t at = 0; at < size; at += 8) {
    uint64_t v = rng.Next();
    std::memcpy(&data[at], &v, std::min<size_t>(8, size - at));
  }
  return data;
}

namespace {

void Put(std::FILE* f, std::string_view text, const std::string& path) {
  if (std::fwrite(text.data(), 1, text.size(), f) != text.size())
    Die("cannot write " + path);
}

void Close(std::FILE* f, const std::string& path) {
  if (std::fclose(f) != 0) Die("cannot write " + path);
}

}  // namespace

void WriteYencFile(const std::string& path, const std::string& name,
                   const std::string& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) Die("cannot write " + path);
  Put(f,
      "=ybegin line=128 size=" + std::to_string(data.size()) + " name=" + name +
          "\r\n",
      path);
  YencStyle style;
  style.escape_blanks = style.escape_dots = true;
  // Encoded a piece at a time, lest the text take another 200 MB.
  constexpr size_t kPiece = 128 * 8192;
  for (size_t at = 0; at < data.size(); at += kPiece)
    Put(f, EncodeYencLines(std::string_view(data).substr(at, kPiece), style),
        path);
  Put(f,
      "=yend size=" + std::to_string(data.size()) +
          " crc32=" + CrcHex(Crc32(0, data.data(), data.size())) + "\r\n",
      path);
  Close(f, path);
}

size_t WriteYencSpool(const std::string& dir, const std::string& name,
                      const std::string& data, int parts) {
  size_t size = data.size();
  size_t step = (size + size_t(parts) - 1) / size_t(parts);
  std::string total = std::to_string(parts);
  std::string crc = CrcHex(Crc32(0, data.data(), size));
  YencStyle style;
  style.escape_blanks = true;
  size_t bytes = 0;
  for (int part = 1; part <= parts; ++part) {
    size_t begin = step * size_t(part - 1);
    size_t end = std::min(size, begin + step);
    std::string_view piece = std::string_view(data).substr(begin, end - begin);
    std::string p = std::to_string(part);
    std::string text =
        "Path: news.example.net!not-for-mail\r\n"
        "From: poster@example.org\r\n"
        "Newsgroups: alt.binaries.bench\r\n"
        "Subject: \"" +
        name + "\" yEnc (" + p + "/" + total + ") " + std::to_string(size) +
        "\r\n"
        "Date: Mon, 13 Jan 1997 12:00:00 GMT\r\n"
        "Message-ID: <yenc." +
        p + "@example.org>\r\n\r\n";
    text += "=ybegin part=" + p + " total=" + total +
            " line=128 size=" + std::to_string(size) + " name=" + name +
            "\r\n=ypart begin=" + std::to_string(begin + 1) +
            " end=" + std::to_string(end) + "\r\n";
    text += EncodeYencLines(piece, style);
    text += "=yend size=" + std::to_string(end - begin) + " part=" + p +
            " pcrc32=" + CrcHex(Crc32(0, piece.data(), piece.size()));
    if (part == parts) text += " crc32=" + crc;
    text += "\r\n";
    text = DotStuff(text) + ".\r\n";
    std::string path = dir + "/" + p;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) Die("cannot write " + path);
    Put(f, text, path);
    Close(f, path);
    bytes += text.size();
  }
  return bytes;
}

bool SameCrc(const std::string& path, uint32_t crc, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::vector<char> buffer(1 << 20);
  uint32_t c = 0;
  size_t n = 0, got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), f)) > 0) {
    c = Crc32(c, buffer.data(), got);
    n += got;
  }
  std::fclose(f);
  return c == crc && n == size;
}
