// The engine's own file access: read-only archive volumes and write-only
// destination files, by UTF-8 path. The only place in rarlib that talks to the OS.
#ifndef RARLIB_FILE_IO_H_
#define RARLIB_FILE_IO_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace rarlib {

// Random read access to a byte range (an archive volume, or memory in tests).
class RandomAccess {
 public:
  virtual ~RandomAccess() = default;
  // Reads up to `n` bytes at `offset`. Returns the count (short only at the end)
  // or -1 on a read failure.
  virtual int64_t ReadAt(uint64_t offset, uint8_t* buf, size_t n) = 0;
  virtual uint64_t Size() const = 0;
};

// Bytes held by the caller; they must outlive the object.
class MemoryAccess : public RandomAccess {
 public:
  MemoryAccess(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int64_t ReadAt(uint64_t offset, uint8_t* buf, size_t n) override;
  uint64_t Size() const override { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

// A regular file opened read-only.
class InputFile : public RandomAccess {
 public:
  InputFile() = default;
  ~InputFile() override;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` (UTF-8). False when it cannot be opened or is not a regular file.
  bool Open(const std::string& path);
  // Closes the file; false when the OS reports a failure.
  bool Close();
  int64_t ReadAt(uint64_t offset, uint8_t* buf, size_t n) override;
  uint64_t Size() const override { return size_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// A destination file: created or truncated, never through a symbolic link at the
// final path component, owner-only permissions for new files.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Create(const std::string& path);
  bool Write(const uint8_t* data, size_t n);
  bool Close();

 private:
  int fd_ = -1;
};

// Local DOS date and time of a Unix time.
uint32_t UnixToDosTime(int64_t unix_seconds);

}  // namespace rarlib

#endif  // RARLIB_FILE_IO_H_
