#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/path_buffer.h"

int platFileOpen(const char16_t* path, unsigned access, PlatDisposition disposition,
                 bool ownerOnly, PlatFile* out) {
  if (!out) return EINVAL;
  *out = PLAT_NO_FILE;
  PathBuffer p(path);
  if (!p.ok()) return p.error();

  int flags = O_CLOEXEC;
  bool r = access & PLAT_ACCESS_READ, w = access & PLAT_ACCESS_WRITE;
  flags |= (r && w) ? O_RDWR : w ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case PLAT_OPEN_EXISTING: break;
    case PLAT_OPEN_ALWAYS: flags |= O_CREAT; break;
    case PLAT_CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case PLAT_CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case PLAT_TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: return EINVAL;
  }
  // Emptying a file needs write access; a read-only descriptor cannot do it.
  if ((flags & O_TRUNC) && !w) return EINVAL;
  // The file is emptied after the open, and only when it holds something: some file
  // systems (ext4) take a truncation to zero as the start of a replace-by-rewrite and
  // force the new contents to disk when the file is closed, which would make every
  // write into a fresh temporary file wait for the disk.
  const bool empty = (flags & O_TRUNC) != 0;
  flags &= ~O_TRUNC;

  int fd;
  do {
    fd = ::open(p.c_str(), flags, ownerOnly ? 0600 : 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  // A directory opens read-only on Linux; the system's files are never one.
  struct stat st;
  const bool known = ::fstat(fd, &st) == 0;
  if (known && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return EISDIR;
  }
  // Only regular files are emptied (as the system does for O_TRUNC).
  if (empty && (!known || (S_ISREG(st.st_mode) && st.st_size > 0))) {
    int rc;
    do {
      rc = ::ftruncate(fd, 0);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      const int err = errno;
      ::close(fd);
      return err;
    }
  }
  *out = fd;
  return 0;
}

int platFileRead(PlatFile f, void* buf, size_t size, size_t* got) {
  if (got) *got = 0;
  if (!buf && size) return EINVAL;
  ssize_t n;
  do {
    n = ::read(f, buf, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return errno;
  if (got) *got = size_t(n);
  return 0;
}

int platFileWrite(PlatFile f, const void* buf, size_t size, size_t* put) {
  if (put) *put = 0;
  if (!buf && size) return EINVAL;
  const char* p = static_cast<const char*>(buf);
  // Large writes go down in 1 MiB pieces: one system call per piece costs nothing
  // measurable, while a single call of hundreds of megabytes is several times slower
  // in the kernel's page cache.
  constexpr size_t kPiece = size_t{1} << 20;
  size_t done = 0;
  while (done < size) {
    const size_t piece = size - done < kPiece ? size - done : kPiece;
    ssize_t n = ::write(f, p + done, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (put) *put = done;
      return errno;
    }
    if (n == 0) {
      if (put) *put = done;
      return EIO;
    }
    done += size_t(n);
  }
  if (put) *put = done;
  return 0;
}

int platFileSeek(PlatFile f, int64_t offset, int origin, int64_t* newPos) {
  int whence = origin == PLAT_SEEK_BEGIN     ? SEEK_SET
               : origin == PLAT_SEEK_CURRENT ? SEEK_CUR
               : origin == PLAT_SEEK_END     ? SEEK_END
                                             : -1;
  if (whence < 0) return EINVAL;
  off_t r = ::lseek(f, off_t(offset), whence);
  if (r < 0) return errno;
  if (newPos) *newPos = int64_t(r);
  return 0;
}

int platFileSize(PlatFile f, int64_t* size) {
  struct stat st;
  if (::fstat(f, &st) != 0) return errno;
  if (size) *size = int64_t(st.st_size);
  return 0;
}

int platFileFlush(PlatFile f) { return ::fsync(f) == 0 ? 0 : errno; }

int platFileTruncate(PlatFile f, int64_t length) {
  if (length < 0) return EINVAL;
  int r;
  do {
    r = ::ftruncate(f, off_t(length));
  } while (r != 0 && errno == EINTR);
  return r == 0 ? 0 : errno;
}

int platFileClose(PlatFile f) {
  // Linux releases the descriptor even when close reports EINTR; never retry.
  return ::close(f) == 0 ? 0 : errno;
}
