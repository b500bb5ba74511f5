// The files of a volume set, opened on demand, and a byte source that reads a
// member's packed data across them.
#ifndef RARLIB_VOLUME_SET_H_
#define RARLIB_VOLUME_SET_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rarlib/file_io.h"
#include "rarlib/unpack/decoder.h"

namespace rarlib {

// Upper bound on the volumes one handle follows.
constexpr size_t kMaxVolumes = 100000;

class VolumeSet {
 public:
  // Opens the first file. False when it cannot be opened.
  bool Open(const std::string& path);
  // Volume `index`, opening it (and the names before it) on demand; null when it
  // does not exist. Only volumes up to one past the highest known are reachable.
  InputFile* Get(size_t index);
  // Names later volumes with the new (name.partN.rar) or old scheme.
  void set_new_numbering(bool v) { new_numbering_ = v; }
  size_t known() const { return names_.size(); }
  // Closes every file; false when the OS reported a failure.
  bool Close();

 private:
  static constexpr size_t kMaxOpen = 8;
  std::vector<std::string> names_;
  std::vector<std::unique_ptr<InputFile>> files_;
  bool new_numbering_ = false;
  bool close_failed_ = false;
};

// One piece of a member's packed data.
struct Part {
  size_t volume = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
};

// Reads the parts in order as one stream, straight into the caller's buffer.
class PartSource : public ByteSource {
 public:
  PartSource(VolumeSet* volumes, const std::vector<Part>* parts) : volumes_(volumes), parts_(parts) {}
  int64_t Read(uint8_t* buf, size_t n) override;
  // The ERAR_* code of the last failure (a missing volume, a read error).
  int error() const { return error_; }

 private:
  VolumeSet* volumes_;
  const std::vector<Part>* parts_;
  size_t index_ = 0;
  uint64_t done_ = 0;  // bytes read from parts_[index_]
  int error_ = 0;
};

}  // namespace rarlib

#endif  // RARLIB_VOLUME_SET_H_
