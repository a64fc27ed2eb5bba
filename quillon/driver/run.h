// The run of quillon: its options, then one of its modes (log commands,
// standard input, plain files, or the scan of news articles).
#ifndef QUILLON_DRIVER_RUN_H_
#define QUILLON_DRIVER_RUN_H_

// The whole run; returns the exit status: 0, 1 after a reported failure, 2
// when a scan found no segment.
int QuillonMain(int argc, char** argv);

#endif  // QUILLON_DRIVER_RUN_H_
