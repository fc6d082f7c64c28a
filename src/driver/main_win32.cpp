#include <string>
#include <vector>

#include "base/output_descriptor.h"
#include "base/wide_text.h"
#include "driver/run.h"
#include "platform/process.h"

// The arguments are taken in UTF-16, the program name included, so that
// names the console's code page cannot spell arrive whole; inside, Quern
// carries them as UTF-8.
int wmain(int argc, wchar_t** argv) {
  quern::prepare_process();
  quern::end_cleanly_on_signals();
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) arguments.push_back(quern::narrow(argv[i]));
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  pointers.push_back(nullptr);
  return quern::run(argc, pointers.data(), quern::platform_file_system(), quern::kStandardOutput,
                    quern::kStandardError);
}
