// The article scanner: reads news articles into catalogue Segments.
#ifndef QUILLON_DRIVER_SCANNER_H_
#define QUILLON_DRIVER_SCANNER_H_

#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/poster_pool.h"
#include "decoding/line_file.h"
#include "log/log.h"
#include "quillon.h"

// What the scan needs of the driver's run state.
struct ScanState {
  LogList* log_list = nullptr;
  Segment** catalogue = nullptr;
  // yEnc segments, in the order they were read: they never enter the
  // catalogue's uuencoded order.
  std::vector<Segment*>* yenc = nullptr;
  // The index of *catalogue while the scan inserts into it.
  CatalogueIndex index;
  PosterPool* pool = nullptr;
  // The whole address of the last From: line read, which tells yEnc
  // posters apart, and the id of every such address.
  std::string address;
  std::unordered_map<std::string, int> address_ids;
  char** keywords = nullptr;
  int keyword_count = 0;
  bool failed = false;  // a failure message was printed
};

enum ScanResult {
  kScanDone,      // every file argument was read
  kScanFallBack,  // the input is not news articles: decode it as plain files
};

// Scans argv[first] .. argv[argc - 1]; `*count` is the number of segments
// put into the catalogue.
ScanResult ScanArticles(ScanState* scan, int first, int argc, char** argv,
                        int* count);

#endif  // QUILLON_DRIVER_SCANNER_H_
