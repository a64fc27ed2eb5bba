// The article scanner: reads news articles into catalogue Segments.
#ifndef QUILLON_DRIVER_SCANNER_H_
#define QUILLON_DRIVER_SCANNER_H_

#include "catalogue/catalogue.h"
#include "catalogue/poster_pool.h"
#include "driver/encodings.h"
#include "log/log.h"
#include "quillon.h"
#include "reporter.h"

// What the scan needs of the driver's run state.
struct ScanState {
  const Options* options = nullptr;
  Reporter* reporter = nullptr;  // subjects as they are read, failures
  Records* records = nullptr;    // where the scan makes its records
  LogList* log_list = nullptr;
  Segment** catalogue = nullptr;
  // The records of the other encodings: segments that carry one never
  // enter the catalogue.
  Encodings* encodings = nullptr;
  // The index of *catalogue while the scan inserts into it.
  CatalogueIndex index;
  PosterPool* pool = nullptr;
  char** keywords = nullptr;
  int keyword_count = 0;
};

enum ScanResult {
  kScanDone,      // every file argument was read
  kScanFallBack,  // the input is not news articles: decode it as plain files
};

// Scans argv[first] .. argv[argc - 1]; `*count` is the number of segments
// found, those of other encodings included.
ScanResult ScanArticles(ScanState* scan, int first, int argc, char** argv,
                        int* count);

#endif  // QUILLON_DRIVER_SCANNER_H_
