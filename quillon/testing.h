// Hooks for the tests and the fuzz targets only; the programs never call
// them.
#ifndef QUILLON_TESTING_H_
#define QUILLON_TESTING_H_

#include <cstdint>

// Puts every option global back to its start value.
void ResetOptions();

// Frees every Segment and string of the process-wide stores (NewSegment,
// NewBeginName, NewString): all pointers into them become invalid.
void ReleaseRecords();

// The fast ways of the decode pass for full data lines (on unless turned
// off), to compare their results with the general way's.
void UseDecodeFastPaths(bool on);

// Unnamed temporary output files (on unless turned off); off, each output
// file is written under a hidden name, as where the file system has none.
void UseUnnamedTemporaryFiles(bool on);

// The use counter of a begin string, its raise by one, and `name` numbered
// with a count, as checkname does them.
uint64_t DosUseCount(char* begin);
void RaiseDosUseCount(char* begin);
void NumberDosName(char* name, uint64_t count);

#endif  // QUILLON_TESTING_H_
