// What the keyword lines of one yEnc part say about it.
#ifndef QUILLON_YENC_PART_H_
#define QUILLON_YENC_PART_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Longest file name a part may give (no file system takes a longer one); a
// longer name= breaks its =ybegin line, so that no input makes the record
// grow without bound.
constexpr size_t kYencNameMax = 255;

// One yEnc part. begin and end are 1-based and inclusive; a range that is
// not within 1..size (begin 0, begin past end, end past size) is damaged and
// never placed. A single part without =ypart covers 1..size.
struct YencPart {
  std::string name;   // from name=, at most kYencNameMax bytes
  uint64_t size = 0;  // size of the whole file
  int part = 1;       // part=, 1 when there is none
  int total = -1;     // total=, else the subject's "(n/m)", else -1
  uint64_t begin = 0;
  uint64_t end = 0;
  // The poster by the whole address of the From: line (one id per
  // address, without regard to case), which tells postings apart.
  int poster = 0;
};

#endif  // QUILLON_YENC_PART_H_
