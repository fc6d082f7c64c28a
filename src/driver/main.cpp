#include <unistd.h>

#include "driver/run.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  quern::prepare_process();
  quern::end_cleanly_on_signals();
  return quern::run(argc, argv, quern::platform_file_system(), STDOUT_FILENO, STDERR_FILENO);
}
