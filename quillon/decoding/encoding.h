// The seam between the run and each encoding beyond the uuencoded system.
//
// An encoding is a folder of its own beside yenc/. It builds on the
// decoding layer (line input, this header, the shared output module
// decoding/output.h) and on checksum/, never on the driver or on another
// encoding. The driver meets it in one place, driver/encodings.cc, which
// calls every encoding in turn at each step below; nothing else outside its
// folder names it.
//
// What an encoding NAME provides:
// - Records: one record per segment, in a store that NAME's catalogue record
//   owns (a field of Encodings, driver/encodings.h, which the run owns). A
//   segment carries one as `encoding`: {Encoding::kNAME, its number in the
//   store}.
// - Detection: a function that the scan calls with every line of every
//   article but its Subject line (ArticleLine), in reading order. It may note
//   what it needs (yEnc notes From: lines); it claims the article by returning
//   true, after it has set the segment's `encoding`, `part` and `total` and
//   kept the segment in its catalogue. It claims only after the article's
//   Subject line, since the scan keeps every article a detector claims and
//   no other article without a Subject line; it may read on from the line
//   only when it claims. A claimed article is read no further, and counts
//   among the segments found.
// - Grouping: after the catalogue's own files, a function that gives the
//   segments of each complete posting one group number from *counter on
//   (which then counts on) and leaves the others at group -1; the count of
//   files found takes them in.
// - Listing: the segments no file took, in reading order, which the listing
//   of captions not decoded shows after the catalogue's; and the decode
//   order of all its segments, which the pass takes behind the catalogue's.
// - Writing: a pass record of its own, with functions that begin the pass,
//   decode one segment of a complete posting (group > 0; segments come in
//   the decode order it gave, and it may settle a whole posting at its
//   first), and end the pass. Optionally a stream: a function handed every
//   line of plain files and standard input (PlainLine) that reads a part of
//   its own from there when the line begins one, and reports at the end of
//   the pass what it wrote.
// - Finished articles: a segment counts as processed (MarkProcessed, then
//   CleanFinished) only when every file it holds data of was put in place
//   without a failure; an article file is deleted under -delete and logged
//   only once all its segments are processed.
//
// What it may assume:
// - Its segments reach its pass after every uuencoded segment; the
//   uuencoded file still open then has been closed as a short file.
// - Segments no file took (group -1) are not handed to it: the uuencoded
//   pass copies their text into the -errors file.
// - The run's Options (PassOutput::options) hold still during the run. The
//   pass index stands for the whole pass, so maxseek gives each segment's
//   window.
// - The run's Reporter (PassOutput::reporter) takes every line it prints:
//   each failure is reported where it is met (Fail, which makes the run end
//   with status 1) and sets outcome.failed in the pass's PassOutput;
//   progress lines go through Progress, which knows -quiet. It never writes
//   to the process's streams itself.
//
// To add an encoding: its folder, an enumerator in Encoding (quillon.h),
// its catalogue in Encodings and its pass record in the pass's records
// (driver/encodings.{h,cc}), and one call in each function there.
#ifndef QUILLON_DECODING_ENCODING_H_
#define QUILLON_DECODING_ENCODING_H_

#include <cstdint>
#include <string_view>

#include "decoding/line_file.h"
#include "quillon.h"

// A line of an article as the scan hands it to each detector.
struct ArticleLine {
  // The line; Subject:, From: and Date: lines whole, any other a piece of
  // at most kLineSize - 1 characters, as ReadLine gives it.
  const char* text = nullptr;
  bool line_start = true;  // the piece begins a line
  // The text after "Subject: " as read, line end included; empty until
  // the article's Subject line has been read.
  std::string_view subject;
  LineFile* in = nullptr;  // just behind the piece
};

// A line of plain input as the pass hands it to each stream.
struct PlainLine {
  std::string_view text;   // a piece as ReadLine gives it
  bool line_start = true;  // the piece begins a line
  Segment* seg = nullptr;  // the plain file; null on standard input
  LineFile* in = nullptr;  // just behind the piece
  int64_t limit = -1;      // where its window ends; -1: at the end
};

#endif  // QUILLON_DECODING_ENCODING_H_
