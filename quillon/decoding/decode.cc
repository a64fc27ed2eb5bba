#include "decode.h"

void decode(Segment*) {}
void decode_p(Segment**, int, int, char**) {}
