// Loads the desktop host module (libpennaform_gtk.so) when a desktop host is
// asked for; nothing else of the component loads or links it.
#pragma once

#include <memory>

#include "ui/hosts/DesktopWindows.h"

namespace pennaform::ui {

// openDesktopWindows: the module's windows, converting texts with `text`
// (which must outlive them); null when the module cannot be loaded or no
// display can be opened. The module is looked for where PENNAFORM_GTK_MODULE
// says, else beside the file this code was loaded from, else on the
// library search path.
std::unique_ptr<DesktopWindows> openDesktopWindows(const TextConverter& text);

}  // namespace pennaform::ui
