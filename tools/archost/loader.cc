#include "tools/archost/loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace archost {

std::string defaultLibraryPath() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "libarcunpack.so";
  std::string dir(exe, static_cast<size_t>(n));
  const size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : dir.substr(0, slash);
  const std::string beside = dir + "/libarcunpack.so";
  // An installed harness finds the plug-in through its run path ($ORIGIN/../lib).
  return access(beside.c_str(), F_OK) == 0 ? beside : "libarcunpack.so.1";
}

namespace {

template <typename Fn>
bool resolve(void* lib, const char* name, Fn& out, std::string& error) {
  void* sym = dlsym(lib, name);
  if (sym == nullptr) {
    error = std::string("missing export ") + name;
    return false;
  }
  out = reinterpret_cast<Fn>(sym);
  return true;
}

}  // namespace

bool loadPlugin(const std::string& path, PluginApi& api, std::string& error) {
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    const char* why = dlerror();
    error = "cannot load " + path + ": " + (why ? why : "unknown error");
    return false;
  }
  return resolve(lib, "ArchInit", api.init, error) &&
         resolve(lib, "ArchOpenFile", api.openFile, error) &&
         resolve(lib, "ArchOpenBuffer", api.openBuffer, error) &&
         resolve(lib, "ArchOpenStream", api.openStream, error) &&
         resolve(lib, "ArchNextItem", api.nextItem, error) &&
         resolve(lib, "ArchReadMemberToBuffer", api.readToBuffer, error) &&
         resolve(lib, "ArchReadMemberToFile", api.readToFile, error) &&
         resolve(lib, "ArchFindItemByPath", api.findItem, error) &&
         resolve(lib, "ArchDoesMemberExist", api.memberExists, error) &&
         resolve(lib, "ArchSetEncryptionKey", api.setKey, error) &&
         resolve(lib, "ArchClose", api.close, error);
}

}  // namespace archost
