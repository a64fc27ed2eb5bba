// quillon: decodes files posted to news groups uuencoded in several articles.
#include "driver/options.h"

int main(int argc, char** argv) { return QuillonMain(argc, argv); }
