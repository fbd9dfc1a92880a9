#pragma once

// Some of Qt's own warnings are harmless and not the program's to print; this
// drops exactly those and hands everything else to the handler before it.
namespace QtNoise {

void installFilter();

// Whether a message is one of the known harmless ones.
bool isKnownNoise(const char *message);

} // namespace QtNoise
