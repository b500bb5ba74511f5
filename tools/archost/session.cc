#include "tools/archost/session.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/archost/host_stream.h"
#include "tools/archost/text.h"

namespace archost {

Session::Session(const PluginApi& api) : api_(api) {}

Session::~Session() {
  api_.close(&ctx_);
  if (map_ != nullptr) munmap(map_, mapSize_);
}

int32_t Session::setPassword(const std::string& utf8) {
  const std::u16string wide = toUtf16(utf8);
  return api_.setKey(&ctx_, wide.c_str());
}

int32_t Session::openBytes(const uint8_t* data, uint32_t size) {
  return api_.openBuffer(&ctx_, data, size, 0, nullptr);
}

int32_t Session::openPath(const std::string& path, Via via, std::string& error) {
  const std::u16string wide = toUtf16(path);
  if (via == Via::File) return api_.openFile(&ctx_, wide.c_str(), 0);

  if (via == Via::Stream) {
    stream_ = std::make_unique<HostFileStream>(path);
    if (!stream_->ok()) {
      error = "cannot open " + path;
      return ARCH_E_OPEN;
    }
    return api_.openStream(&ctx_, stream_.get(), nullptr);
  }

  // Buffer: map the file read-only; the plug-in spills it without another copy.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + path;
    return ARCH_E_OPEN;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size > INT64_C(0xFFFFFFFF)) {
    ::close(fd);
    error = path + ": too large for a memory buffer (4 GiB or more)";
    return ARCH_E_OPEN;
  }
  mapSize_ = static_cast<size_t>(st.st_size);
  static const uint8_t kNothing = 0;
  const uint8_t* data = &kNothing;
  if (mapSize_ > 0) {
    map_ = mmap(nullptr, mapSize_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map_ == MAP_FAILED) {
      map_ = nullptr;
      ::close(fd);
      error = "cannot map " + path;
      return ARCH_E_OPEN;
    }
    data = static_cast<const uint8_t*>(map_);
  }
  ::close(fd);
  return openBytes(data, static_cast<uint32_t>(mapSize_));
}

}  // namespace archost
