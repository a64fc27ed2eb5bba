// The yEnc inputs of quillon_bench: one big single-part file, and the same
// data as one posting of many parts in a news spool in wire format.
#ifndef QUILLON_BENCH_YENC_FILES_H_
#define QUILLON_BENCH_YENC_FILES_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "generate.h"

// `size` random bytes of the stream of `rng`.
std::string YencData(Rng rng, size_t size);

// `data` as one yEnc file named `name` (128-character lines, CR LF, "." and
// blanks escaped where encoders for news escape them, =yend with crc32).
void WriteYencFile(const std::string& path, const std::string& name,
                   const std::string& data);

// `data` as one posting of `parts` articles, files 1..parts of `dir`, in
// the wire format a news server keeps: CR LF, a "." that begins a line
// doubled (the encoder leaves them unescaped, so some are), and a "." line
// at the end. Returns the bytes written.
size_t WriteYencSpool(const std::string& dir, const std::string& name,
                      const std::string& data, int parts);

// Whether the file at `path` holds `size` bytes with the CRC-32 `crc`.
bool SameCrc(const std::string& path, uint32_t crc, size_t size);

#endif  // QUILLON_BENCH_YENC_FILES_H_
