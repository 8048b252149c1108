// Entry point of frlayout3d.
#include "driver/driver.h"

int main(int argc, char** argv) {
  const Processes processes = start_processes(argc, argv);
  const int status = run_frlayout3d(argc, argv, processes);
  finish_processes();
  return status;
}
