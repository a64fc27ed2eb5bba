#include "log.h"

void LoadDlist(LogDir**) {}
void logdir(const char*) {}
void UpdateDlist(LogDir*, const char*) {}
