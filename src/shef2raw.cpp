// shef2raw - SHEF reports to the suite's raw data file.
#include "vyr.h"

int main() { return 0; }
