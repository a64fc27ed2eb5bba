// The command line of quillon.
#ifndef QUILLON_DRIVER_OPTIONS_H_
#define QUILLON_DRIVER_OPTIONS_H_

// Number (1 to 12) of the one option word that begins with `word`, or 0 when
// none or several do.
int GetOption(const char* word);

// The whole run; returns the exit status.
int QuillonMain(int argc, char** argv);

#endif  // QUILLON_DRIVER_OPTIONS_H_
