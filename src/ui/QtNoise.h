#pragma once

// What Qt and its web engine print on their own is not the programs' to show:
// this drops the known harmless warnings and the informational lines (unless
// QT_LOGGING_RULES asks for some), and hands the rest, the failures, to the
// handler before it.
namespace QtNoise {

void installFilter();

// Whether a warning is one of the known harmless ones.
bool isKnownNoise(const char *message);

} // namespace QtNoise
