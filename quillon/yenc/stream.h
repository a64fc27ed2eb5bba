// yEnc parts met among the lines of plain files and standard input. Each
// file of one (name, size) is opened at the first of its parts and stays
// open until its parts cover it, so that they may come in any order and
// from several input files; it is judged once all input is read.
#ifndef QUILLON_YENC_STREAM_H_
#define QUILLON_YENC_STREAM_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "decoding/encoding.h"
#include "decoding/output.h"
#include "quillon.h"
#include "yenc/part_decoder.h"

// Bytes begin..end of a file (counted from 1, inclusive) and their CRC-32.
struct YencStreamRange {
  uint64_t begin = 0;
  uint64_t end = 0;
  uint32_t crc = 0;
};

// Disjoint byte ranges, begin -> end, that touch no other: what good parts
// hold of a file.
using YencCover = std::map<uint64_t, uint64_t>;

// A part that failed its check, as it is reported.
struct YencStreamFailure {
  int part = 0;
  uint64_t begin = 0;  // its range; 0 where it was not placed
  uint64_t end = 0;
  YencFailure failure = YencFailure::kDamaged;
  // It was written over bytes that a good part had written before.
  bool spoilt = false;
};

struct YencStreamFile {
  // The output name, as "yDecoding" shows it: its first name until it is
  // put in place.
  std::string name;
  std::string path;  // of its first name, with the -dest directory
  NameSearch names;
  uint64_t size = 0;
  // Its temporary file; fd -1: it could not be created (reported), or is
  // complete.
  OutputFile out;
  // Its good parts cover it: it is put in place and closed, as a long
  // stream may hold more files than a process may keep open, and later
  // parts are not written.
  bool complete = false;
  bool write_failed = false;  // reported; nothing more is written
  bool faulty = false;        // some failure of it was reported
  // Parts whose size and CRC held, one per range: a later copy of a range
  // that is here already is not written.
  std::vector<YencStreamRange> good;
  std::set<std::pair<uint64_t, uint64_t>> good_ranges;
  uint64_t good_bytes = 0;  // their lengths added up, at most UINT64_MAX
  // Parts that wrote every byte of their range, good or not.
  std::vector<YencStreamRange> filled;
  // The bytes good parts have written, and their part numbers.
  YencCover covered;
  std::set<int> good_parts;
  // Bad parts, reported at the end unless a good copy took their place.
  std::vector<YencStreamFailure> failures;
  std::vector<uint32_t> crc32;  // the whole-file crc32= values given
  // The input files its parts came from: deleted and logged only if it
  // comes out whole and sound.
  std::vector<const Segment*> held;
};

struct YencStream {
  std::vector<YencStreamFile> files;  // in the order they were opened
  std::map<std::pair<std::string, uint64_t>, size_t> index;  // name=, size=
};

// When the line begins with "=ybegin " and the part's header is sound:
// decodes that part (and one that follows a part without =yend at once)
// into its file, up to its =yend line. False, and nothing more read than
// the rest of the header, for any other line.
bool DecodeYencStream(YencStream* stream, PassOutput* output,
                      const PlainLine& line);

// At the end of the pass: reports each part that failed and has no good
// copy, and each file that is short or whose whole CRC is wrong, closes
// them all, and lets the input files of the sound ones be cleaned. A pass
// cut short by an unreadable input only closes them.
void EndYencStream(YencStream* stream, PassOutput* output);

// Adds begin..end (begin >= 1, begin <= end) to the cover.
void AddToCover(YencCover* cover, uint64_t begin, uint64_t end);

// Whether the cover holds any byte of begin..end, and every byte of it.
bool CoverMeets(const YencCover& cover, uint64_t begin, uint64_t end);
bool CoverHolds(const YencCover& cover, uint64_t begin, uint64_t end);

// Whether the ranges together hold every byte of 1..size.
bool RangesCoverFile(std::vector<YencStreamRange> ranges, uint64_t size);

// The CRC-32 of the file from those of its ranges, where the distinct
// ranges lie end to end from 1 to size (a range given twice counts once);
// false for any other set of ranges.
bool CombinedFileCrc(std::vector<YencStreamRange> ranges, uint64_t size,
                     uint32_t* crc);

#endif  // QUILLON_YENC_STREAM_H_
