// Makes a copy of a DLL whose export table no longer offers one name: the
// name's last character is lowered by one, which keeps the table's sort
// order, so every other name still resolves.
#pragma once
#include <string>

namespace tvtest {

// False when the file cannot be read or written or does not export `name`.
bool CopyLackingExport(const std::string& source, const std::string& target, const std::string& name);

}  // namespace tvtest
