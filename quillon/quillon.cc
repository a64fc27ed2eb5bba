// quillon: decodes files posted to news groups uuencoded in several articles.
#include "driver/run.h"

int main(int argc, char** argv) { return QuillonMain(argc, argv); }
