#include <unistd.h>

#include "driver/run.h"

int main(int argc, char** argv) {
  return quern::run(argc, argv, quern::platform_file_system(), STDOUT_FILENO, STDERR_FILENO);
}
