#pragma once
// Whole files in and out. Names here are the system's (UTF-8) names.

#include <string>

namespace wbotho {

// The folder and a name in it; the folder may end with "/" or not.
std::string JoinPath(const std::string& folder, const std::string& name);

// Fails with WB_E_READ, or WB_E_TOO_LARGE past 4 GB.
std::string ReadWholeFile(const std::string& path);
// Creates or truncates the file (mode 0600: it may hold plain text); fails with WB_E_WRITE.
void WriteWholeFile(const std::string& path, const std::string& bytes);

} // namespace wbotho
