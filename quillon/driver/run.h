// The run of quillon: its options, then one of its modes (log commands,
// standard input, plain files, or the scan of news articles).
#ifndef QUILLON_DRIVER_RUN_H_
#define QUILLON_DRIVER_RUN_H_

#include "reporter.h"

// The whole run, printing on standard output and standard error; returns
// the exit status: 0, 1 after a reported failure, 2 when a scan found no
// segment.
int QuillonMain(int argc, char** argv);

// The same run printing through `reporter`, which says whether it failed.
int RunQuillon(int argc, char** argv, Reporter* reporter);

#endif  // QUILLON_DRIVER_RUN_H_
