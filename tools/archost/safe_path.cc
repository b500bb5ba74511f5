#include "tools/archost/safe_path.h"

#include <errno.h>
#include <sys/stat.h>

#include <vector>

namespace archost {

std::string safeRelativePath(const std::string& memberName) {
  std::string out;
  std::string part;
  auto flush = [&]() {
    if (!part.empty() && part != "." && part != "..") {
      if (!out.empty()) out += '/';
      out += part;
    }
    part.clear();
  };
  for (char c : memberName) {
    if (c == '/' || c == '\\') {
      flush();
    } else {
      part += c == ':' ? '_' : c;
    }
  }
  flush();
  return out;
}

bool makeParents(const std::string& root, const std::string& relative, bool isDirectory) {
  std::string path = root;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t slash = relative.find('/', start);
    const bool last = slash == std::string::npos;
    if (last) {
      if (!isDirectory) return true;
      slash = relative.size();
    }
    path += '/';
    path.append(relative, start, slash - start);
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
    } else if (errno != ENOENT || mkdir(path.c_str(), 0755) != 0) {
      return false;
    }
    if (last) return true;
    start = slash + 1;
  }
  return true;
}

}  // namespace archost
