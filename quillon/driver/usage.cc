#include "driver/usage.h"

#include <cstring>

#include "quillon_version.h"

const char kUsageText[] =
    "Usage: quillon [options] [file ...]\n"
    "       quillon --help | --version\n"
    "\n"
    "Decodes uuencoded and yEnc files posted in several news articles: the\n"
    "article files given (or standard input, when none is given) are\n"
    "scanned, their segments grouped into files, and each complete file is\n"
    "written; yEnc parts are checked against their CRCs and sizes. MIME\n"
    "attachments (base64, quoted-printable, x-uuencode) are written too,\n"
    "messages split with message/partial once all their parts are read.\n"
    "\n"
    "Options (any unique prefix is taken; the shortest is shown):\n"
    "  -delete            -del  delete each article file once all its "
    "segments are\n"
    "                           decoded\n"
    "  -quiet             -q    no progress messages\n"
    "  -extended          -ex   a file may hold several articles\n"
    "  -dest DIR          -des  write the output files into DIR\n"
    "  -mode OCTAL        -m    give every output file this permission mode\n"
    "  -plain             -p    decode plain uuencoded or yEnc files, not "
    "news\n"
    "                           articles\n"
    "  -dir               -di   keep the directory part of the names that "
    "begin\n"
    "                           and =ybegin lines give\n"
    "  -keywords \"W ...\"  -k    skip articles whose subject scores below "
    "zero:\n"
    "                           +word counts for, -word against\n"
    "  -errors FILE       -er   append the text of undecodable segments to "
    "FILE\n"
    "  -log DIR           -l    put DIR under the processed-file log, then "
    "stop\n"
    "  -unlog DIR         -u    take every directory beginning with DIR out "
    "of the\n"
    "                           log, then stop\n"
    "  -dos               -do   MS-DOS 8.3 output names\n"
    "  -files FILE        -f    read more file arguments from FILE, one a "
    "line\n"
    "                           (\"-\": standard input)\n"
    "Options end at the first word that does not begin with \"-\".\n"
    "\n"
    "Environment:\n"
    "  QUILLONLOG  path of the processed-file log; no log when unset\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  a bad option, or a run that reported a failure: an output file\n"
    "     that could not be created or written, an input file that could\n"
    "     not be read, an -errors file that could not be opened, a log\n"
    "     that could not be read, written or locked, a -log directory that\n"
    "     is not one, a yEnc file that failed its CRC or size check, a MIME\n"
    "     file that failed its MD5 check or was cut short, a yEnc\n"
    "     file of -plain files or standard input that lacks a part, or a\n"
    "     uuencoded file without its end line\n"
    "  2  a scan found no uuencoded or yEnc segment (also after such\n"
    "     failures)\n"
    "\n"
    "See quillon(1) (\"man quillon\") for the whole description.\n";

const char kVersionText[] = "quillon " QUILLON_VERSION "\n";

bool HelpOrVersion(int argc, char** argv, Reporter* reporter) {
  if (argc < 2) return false;
  const char* text = nullptr;
  if (std::strcmp(argv[1], "--help") == 0) text = kUsageText;
  if (std::strcmp(argv[1], "--version") == 0) text = kVersionText;
  if (text == nullptr) return false;
  Print(reporter, "%s", text);
  // A text that never reached its reader is a failure, as for any output.
  if (!FlushOutput(reporter)) Fail(reporter, "quillon: write error\n");
  return true;
}
