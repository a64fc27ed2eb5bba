// The texts of "quillon --help" and "quillon --version".
#ifndef QUILLON_DRIVER_USAGE_H_
#define QUILLON_DRIVER_USAGE_H_

#include "reporter.h"

// The short usage text printed by --help, newline-terminated.
extern const char kUsageText[];

// "quillon " and the version of the build, printed by --version.
extern const char kVersionText[];

// Handles argv[1] when it is exactly "--help" or "--version": prints the
// text on `reporter`'s standard output; a text that does not reach it is a
// failure. Returns false for every other command line, which then keeps its
// ordinary meaning.
bool HelpOrVersion(int argc, char** argv, Reporter* reporter);

#endif  // QUILLON_DRIVER_USAGE_H_
