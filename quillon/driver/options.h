// The command line of quillon: its option words and the settings they make.
#ifndef QUILLON_DRIVER_OPTIONS_H_
#define QUILLON_DRIVER_OPTIONS_H_

#include "catalogue/caption.h"
#include "quillon.h"
#include "reporter.h"

enum Option {
  kDelete = 1,
  kQuiet,
  kExtended,
  kDest,
  kMode,
  kPlain,
  kDir,
  kKeywords,
  kErrors,
  kLog,
  kUnlog,
  kDos,
  kFiles,
};

// The -keywords table: words of the command line, split in place.
struct Keywords {
  char* table[kMaxKeywords] = {};
  int count = 0;
};

// Number (1 to 13) of the one option word that begins with `word`, or 0 when
// none or several do.
int GetOption(const char* word);

// True for the options that take the next word as their argument.
bool TakesArgument(int option);

// Reads a -mode value: one to four octal digits. False for anything else.
bool ParseMode(const char* text, int* mode);

// Checks every option word of argv and every value before any option takes
// effect, so that a bad command line changes nothing. Prints what is wrong,
// and a hint, and returns false. Otherwise `*first` is the index of the first
// file argument and `*list` the -files value, or null.
bool CheckOptions(int argc, char** argv, int* first, const char** list,
                  Reporter* reporter);

// Makes the setting of `option` (any but -log, -unlog and -files) in its
// field of `options` or in `keywords`; `value` is its argument, or null when
// it has none. -quiet silences `reporter` from here on.
void SetOption(int option, char* value, Options* options, Keywords* keywords,
               Reporter* reporter);

#endif  // QUILLON_DRIVER_OPTIONS_H_
