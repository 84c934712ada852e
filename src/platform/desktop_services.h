#pragma once

#include "platform/services.h"

namespace tessavo {

// The dialogs, the file browser and the per-user bookmark store, all
// printing through `printLine`. Needs a QApplication (the dialogs are widgets).
PlatformServices desktopServices(std::function<void(std::string_view line)> printLine);

} // namespace tessavo
