// The one report for conditions the production cannot go on from.
#pragma once

// Formats into a 512-byte buffer (longer text is cut, never overflows), writes it to
// stderr, puts the display back and closes the window, shows the "Error" box where a
// person is watching, and ends the process with status 1.
[[noreturn]] void fatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Same, for a text that must not be read as a format (a driver log, a file line).
[[noreturn]] void fatalErrorText(const char* text);
