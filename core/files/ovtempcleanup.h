// Named temporary files that a signal ending the process removes first. While
// any is held, handlers for the signals whose default ends the process are
// installed; each removes the files and dies as it would have, or, where the
// program had a handler of its own, calls that and leaves the files alone.
#pragma once

#include <string>

namespace tempcleanup {

// Holds path (absolute or relative to the current directory) until release;
// -1 when the path is too long or every slot is taken, the file then unguarded.
int hold(const std::string& path);
void release(int slot);

// Removes the files named PREFIX<pid>-... in dir whose process is gone: what a
// process killed in the moment between making and unlinking one leaves.
void removeLeftovers(const std::string& dir, const std::string& prefix);

}  // namespace tempcleanup
