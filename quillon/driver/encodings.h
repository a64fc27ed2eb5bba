// Where the run meets every encoding, one function for each step: the scan
// asks each encoding's detector, the sort groups and lists each encoding's
// postings after the catalogue's files, and the decode pass hands each
// segment to the pass of the encoding it carries. What an encoding provides
// for these steps, and what it may assume, is written in
// decoding/encoding.h.
#ifndef QUILLON_DRIVER_ENCODINGS_H_
#define QUILLON_DRIVER_ENCODINGS_H_

#include "decoding/encoding.h"
#include "decoding/output.h"
#include "mime/catalogue.h"
#include "quillon.h"
#include "reporter.h"
#include "yenc/catalogue.h"

// Each encoding's records of one run. The run owns them.
struct Encodings {
  YencCatalogue yenc;
  MimeCatalogue mime;
};

// Hands a line of an article (any line but its Subject line) to each
// encoding's detector; true when one of them claimed the article for `seg`.
bool DetectEncoding(Encodings* encodings, const ArticleLine& line,
                    Segment* seg);

// Gives every segment a group, the catalogue's files first and then each
// encoding's postings; lists the captions no file took; puts the catalogue
// into decode order with each encoding's segments behind it; prints the
// number of files found.
void SortFiles(Segment** head, Encodings* encodings, Reporter* reporter);

// The decode pass over `list` in list order (as SortFiles left it): each
// segment goes to the pass of its encoding; over standard input when the
// list is empty. Segments it makes are made in `records`; what it says goes
// to `reporter`.
DecodeOutcome decode(Segment* list, const Encodings& encodings,
                     const Options& options, Records* records,
                     Reporter* reporter, const PassWays& ways = {});

// The same where no other encoding has records: standard input, or a list
// of the catalogue alone.
DecodeOutcome decode(Segment* list, const Options& options, Records* records,
                     Reporter* reporter, const PassWays& ways = {});

// Decodes argv[first] .. argv[end - 1] as plain files (standard input when
// there are none). The list it builds is stored in `*head`. A directory
// among them is reported as a file that cannot be accessed, or passed over
// without a word when `pass_over_directories` (a scan that turned into
// plain decoding: the user asked for a scan over a glob).
DecodeOutcome decode_p(Segment** head, int first, int end, char** argv,
                       const Options& options, Records* records,
                       Reporter* reporter, bool pass_over_directories = false,
                       const PassWays& ways = {});

#endif  // QUILLON_DRIVER_ENCODINGS_H_
