// Entry point of frlayout3d.
#include "driver/driver.h"

int main(int argc, char** argv) { return run_frlayout3d(argc, argv); }
