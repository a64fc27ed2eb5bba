#include "caption.h"

void KeySplit(char**, char*, int*) {}
