// What the whole-program and log targets share: each input runs in this
// process, in one working directory emptied before every input, with
// standard output going to /dev/null and the program's standard error kept
// aside, so that it is shown only when a check fails.
#ifndef QUILLON_FUZZ_IN_PROCESS_H_
#define QUILLON_FUZZ_IN_PROCESS_H_

#include <string>

// Empties the input's directory (made on the first call), makes it the
// working directory and starts keeping the program's standard error;
// returns the directory's absolute path.
const std::string& BeginInput();

// Stops keeping standard error and goes back to libFuzzer's working
// directory. Fails when anything but the input's directory appeared beside
// it.
void EndInput();

// Shows what the program wrote on standard error and `what`, then aborts,
// so that libFuzzer records the input. Called after EndInput.
[[noreturn]] void Fail(const std::string& what);

#endif  // QUILLON_FUZZ_IN_PROCESS_H_
