// MS-DOS style output names under -dos.
#ifndef QUILLON_DECODING_DOSNAME_H_
#define QUILLON_DECODING_DOSNAME_H_

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "quillon.h"

// Shortens `name` in place to its DOS form and zeroes the use counter byte
// behind its terminator. Does nothing for null.
void dosname(char* name);

// The live begin strings of a pass by their text: for each text, the list
// positions of the segments that hold a string of that text. A string that
// has become MARKER is dropped when a walk meets it.
struct NameIndex {
  Records* records = nullptr;  // the wide use counts of the strings
  const Segment* list = nullptr;
  std::vector<Segment*> at;  // list position -> segment
  std::unordered_map<std::string, std::set<size_t>> by_text;
  // Each string's positions and the text it was indexed under.
  struct Holders {
    const std::string* text;
    std::vector<size_t> positions;
  };
  std::unordered_map<const char*, Holders> holders;
};

// Converts `name` (a kLineSize buffer) with dosname and numbers it when a
// begin string of the list with the same text has been used before; needs
// the index of `list`.
void checkname(NameIndex* index, Segment* list, char* name);

// Indexes the begin strings of `list` (made in `records`) by their text for
// checkname. Built once the pass has converted every begin string; from
// then on a begin text may only be overwritten with MARKER until
// EndNameIndex. Only under -dos.
void BeginNameIndex(NameIndex* index, Records* records, Segment* list);
void EndNameIndex(NameIndex* index);

// `name` (a DOS name) with `count` put behind its base, always an 8.3 name:
// the base keeps at most six characters, fewer when the count needs more
// than two digits (pictu100.jpg), and the extension at most three.
std::string NumberedDosName(const std::string& name, uint64_t count);

#endif  // QUILLON_DECODING_DOSNAME_H_
