// Lines for standard error. Standard output is flushed first, so that a
// log that takes both streams (cron mails them together) reads in the order
// things happened.
#ifndef QUILLON_MESSAGE_H_
#define QUILLON_MESSAGE_H_

// Writes printf-style `format` to standard error after flushing standard
// output.
void ErrorLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif  // QUILLON_MESSAGE_H_
