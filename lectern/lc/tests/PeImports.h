// Reads the names of the DLLs a PE image imports (its import directory and its delay-load
// directory), straight from the file, so a test can check what a built program links.
#pragma once

#include <string>
#include <vector>

// The imported DLL names in directory order; raises std::runtime_error on a malformed image.
std::vector<std::string> PeImportedDlls(const std::string& imagePath);
