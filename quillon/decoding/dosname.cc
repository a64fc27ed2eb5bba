#include "dosname.h"
