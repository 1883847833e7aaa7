// Where the program finds the files it ships with: the working directory
// first, then beside the executable, then the installed data directory.
#pragma once

#include <string>
#include <vector>

// The first of dirs holding name, as a path; name itself when none does.
std::string findShippedFile(const std::string& name, const std::vector<std::string>& dirs);

// The working directory, the executable's directory and the data directory
// of the prefix it is installed in.
std::vector<std::string> shippedFileDirs();
