// Hooks for the tests and the fuzz targets only; the programs never call
// them.
#ifndef QUILLON_TESTING_H_
#define QUILLON_TESTING_H_

// Puts every option global back to its start value.
void ResetOptions();

// Frees every Segment and string of the process-wide stores (NewSegment,
// NewBeginName, NewString): all pointers into them become invalid.
void ReleaseRecords();

#endif  // QUILLON_TESTING_H_
