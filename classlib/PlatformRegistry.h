// The platform seam for reading the registry's HKEY_CLASSES_ROOT hive.
//
// Keys open read-only (KEY_READ, 0x20019). A key path is relative to the hive's root; one
// leading "\" is dropped (the registry refuses paths that begin with it), and the empty path
// is the root itself. The host has no registry: every key fails to open there.
#pragma once

#include <string>
#include <vector>

namespace plat {

// The names of every subkey of the key, in the registry's enumeration order; false (names
// left empty) when the key does not open.
bool ClassesRootSubkeyNames(const std::string& key, std::vector<std::string>& names);

// The string value (REG_SZ or REG_EXPAND_SZ, unexpanded) valueName of the key; false (value
// left empty) when the key does not open or holds no such string value.
bool ClassesRootReadString(const std::string& key, const std::string& valueName, std::string& value);

}  // namespace plat
