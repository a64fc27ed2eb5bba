#include "uuline.h"
