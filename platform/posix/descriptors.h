// Standard descriptors that a program may have been started without.
#pragma once

// Makes descriptors 0, 1 and 2 valid (on /dev/null, read-only, where
// closed), so that no file, pipe or socket opened later takes their place
// and receives what is written to standard output or error; a write to one
// that was closed still fails. Call before opening anything.
void KeepStandardDescriptorsOpen(void);
