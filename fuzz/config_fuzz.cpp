// The panel's configuration loader on arbitrary files: it either refuses
// the file or gives a form that saves and loads back the same.
#include <cstdlib>

#include "config_file.h"
#include "sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static qvxfuzz::Sandbox sandbox;
  qvxfuzz::put_file("panel.cfg", data, size);
  auto config = qvxpanel::load_config("panel.cfg");
  if (!config) return 0;
  if (!qvxpanel::save_config("again.cfg", *config)) std::abort();
  auto again = qvxpanel::load_config("again.cfg");
  if (!again || !(*again == *config)) std::abort();
  return 0;
}
