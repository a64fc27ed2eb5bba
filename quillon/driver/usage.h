// The texts of "quillon --help" and "quillon --version".
#ifndef QUILLON_DRIVER_USAGE_H_
#define QUILLON_DRIVER_USAGE_H_

// The short usage text printed by --help, newline-terminated.
extern const char kUsageText[];

// "quillon " and the version of the build, printed by --version.
extern const char kVersionText[];

// Handles argv[1] when it is exactly "--help" or "--version": prints the
// text on standard output and sets `*status`. Returns false for every other
// command line, which then keeps its ordinary meaning.
bool HelpOrVersion(int argc, char** argv, int* status);

#endif  // QUILLON_DRIVER_USAGE_H_
