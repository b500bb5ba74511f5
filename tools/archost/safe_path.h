// Turns a member name from an archive into a path that stays inside an output folder.
#pragma once

#include <string>

namespace archost {

// Maps a member name (UTF-8, '/' or '\' separated) to a relative path: empty, "." and ".."
// components are dropped, so the result is never absolute and never climbs out of the
// folder; ':' becomes '_' so that no drive-letter form survives. Empty when nothing is left.
std::string safeRelativePath(const std::string& memberName);

// Creates every directory of `relative` (all components but the last when `isDirectory`
// is false) below `root`. Refuses (false) when a component exists and is not a real
// directory, for example a symbolic link planted to lead elsewhere.
bool makeParents(const std::string& root, const std::string& relative, bool isDirectory);

}  // namespace archost
