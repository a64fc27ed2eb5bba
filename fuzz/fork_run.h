// Runs one fuzz input in a forked child, so that the program's process-wide
// state (option globals, stores that only grow, exit(), stdout) never leaks
// from one input into the next.
#ifndef QUILLON_FUZZ_FORK_RUN_H_
#define QUILLON_FUZZ_FORK_RUN_H_

#include <functional>
#include <string>

// Runs `body` in a child whose working directory is a fresh, empty
// directory (its path is passed to `body`), with standard output going to
// /dev/null and standard error kept in a file. The child's coverage is
// copied back, so libFuzzer sees what the input reached. A child that dies
// by a signal, exits with anything but 0, or leaks aborts this process
// after its standard error is shown, so libFuzzer records the input.
void RunInChild(const std::function<void(const std::string& dir)>& body);

#endif  // QUILLON_FUZZ_FORK_RUN_H_
