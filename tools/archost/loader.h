// Loads the plug-in the way a scanning engine does: dlopen of the shared library and one
// dlsym per export. Nothing of the plug-in is linked into the harness.
#pragma once

#include <string>

#include "plugin/arcunpack.h"

namespace archost {

struct PluginApi {
  decltype(&ArchInit) init = nullptr;
  decltype(&ArchOpenFile) openFile = nullptr;
  decltype(&ArchOpenBuffer) openBuffer = nullptr;
  decltype(&ArchOpenStream) openStream = nullptr;
  decltype(&ArchNextItem) nextItem = nullptr;
  decltype(&ArchReadMemberToBuffer) readToBuffer = nullptr;
  decltype(&ArchReadMemberToFile) readToFile = nullptr;
  decltype(&ArchFindItemByPath) findItem = nullptr;
  decltype(&ArchDoesMemberExist) memberExists = nullptr;
  decltype(&ArchSetEncryptionKey) setKey = nullptr;
  decltype(&ArchClose) close = nullptr;
};

// The library the harness loads when --lib is not given: libarcunpack.so beside the
// executable.
std::string defaultLibraryPath();

// Loads the library and resolves every export the harness uses. On failure returns false
// with a message in `error`. The library stays loaded for the life of the process.
bool loadPlugin(const std::string& path, PluginApi& api, std::string& error);

}  // namespace archost
