// One archive opened through the plug-in, by path, from memory or through a host stream,
// exactly as a scanning engine would hand it over. The session owns the host-side records
// (the zero-filled context, the mapped bytes, the host stream) for the life of the open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugin/arcunpack.h"
#include "tools/archost/loader.h"

namespace archost {

enum class Via { File, Buffer, Stream };

class HostFileStream;

class Session {
 public:
  explicit Session(const PluginApi& api);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Sets the password (before opening). Returns the plug-in's code.
  int32_t setPassword(const std::string& utf8);

  // Opens an archive file through the chosen path of the plug-in.
  int32_t openPath(const std::string& path, Via via, std::string& error);

  // Opens bytes held by the caller (they must outlive the session) with ArchOpenBuffer.
  int32_t openBytes(const uint8_t* data, uint32_t size);

  ArchContext& context() { return ctx_; }
  const PluginApi& api() const { return api_; }

 private:
  const PluginApi& api_;
  ArchContext ctx_{};
  void* map_ = nullptr;
  size_t mapSize_ = 0;
  std::unique_ptr<HostFileStream> stream_;
};

}  // namespace archost
