// The platform seam for code pages and temporary files.
//
// The system code page: on Windows the ANSI code page (CP_ACP) through MultiByteToWideChar
// and WideCharToMultiByte; on the host it is taken to be Windows-1252 (Latin-1 with the
// printable characters of 0x80..0x9F), the code page of the Western Windows installations
// and of Wine's default prefix, so that both builds read the same bytes alike.
#pragma once

#include <string>
#include <string_view>

namespace plat {

// Bytes in the system code page to UTF-16.
std::u16string SystemToWide(std::string_view text);
// UTF-16 to the system code page; a character the code page lacks becomes '?'.
std::string WideToSystem(std::u16string_view text);

// Creates a new, empty file with a unique name in dir (which ends in the path delimiter)
// whose name begins with prefix, and answers its full name; empty text when that fails.
// Windows: GetTempFileName; host: mkstemp with the prefix.
std::string CreateTempFile(const std::string& dir, const std::string& prefix);

// The full path of name with a mapped network drive replaced by its UNC form
// (\\server\share\...); other paths come back as full paths. The host has no mapped drives.
std::string ExpandUncFileName(const std::string& name);

}  // namespace plat
