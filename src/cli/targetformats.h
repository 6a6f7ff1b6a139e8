#pragma once

#include "krv/av/writabletargets.h"

#include <QString>

// text is an extension, with or without its dot, or an item's catalogue name such as a
// device profile's; case does not matter. An extension names the format, not a device
// profile that happens to write it. False when nothing writable matches.
bool FindTargetFormat(const QString &text, TargetFormat &out);
