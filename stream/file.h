// File: a thin, validating wrapper around one platform file handle.
//
// It keeps a copy of the file's wide path, opens the file in a mode word
// (stream/abstract_stream.h) and keeps its own record of the position and the
// length, so that every call is checked before the platform is touched. The
// position never passes the recorded length except through `extend`.
//
// Construction never fails outwardly: the outcome is in ctorStat(). A File
// whose ctorStat() is fatal (null name, no memory, failed resolution) answers
// STAT_ERR_BAD_STATE to every checked operation for its whole life; an empty
// name gives the remark STAT_INFO_EMPTY_NAME and a File that cannot be opened.
//
// States: constructed (not open, position and length -1, mode 0), open
// (position 0..length), closed (not open, mode FIO_MODE_CLOSED). A closed
// File can be opened again. No lock: one thread at a time.
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "ubl/status.h"

class File {
 public:
  // `path` is copied; `fullPath` resolves it against the current directory.
  File(const char16_t* path, bool fullPath);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Renames a File that is not open. STAT_ERR_NULL_NAME, STAT_INFO_EMPTY_NAME
  // (no name kept), STAT_ERR_ALREADY_OPEN, STAT_ERR_NO_MEMORY, or the failure
  // of the path resolution.
  RSLT setName(const char16_t* path, bool fullPath);

  // Opens the named file and positions it at 0. STAT_INFO_ALREADY_OPEN (a
  // remark, nothing changes) when open; failures of fio_fileOpen and
  // fio_fileSize (the file then stays open).
  RSLT open(uint32_t mode, uint32_t attributes);
  // STAT_INFO_NOT_OPEN when not open; a failed platform close still leaves
  // the File closed.
  RSLT close();

  // Reads at the position; STAT_ERR_NO_FILE when not open, STAT_ERR_FILE_END
  // at the end. The position advances by *countRead.
  RSLT read(uint8_t* dest, int64_t count, int64_t* countRead);
  // Writes at the position; STAT_ERR_BAD_POINTER for a null `buffer` with a
  // non-zero count. Position and length are unchanged when it fails.
  RSLT write(const uint8_t* buffer, int64_t count, int64_t* countWritten);

  // Moves the position. A target before 0 is set to 0
  // (STAT_ERR_SEEK_BEFORE_START); one past the recorded length to the length
  // (STAT_ERR_SEEK_PAST_END); the clamped position applies even then.
  // `*newPosition` (optional) receives the resulting position.
  RSLT seek(int64_t offset, int32_t origin, int64_t* newPosition);
  int64_t tell() const;  // -1 when not open
  // Open: the platform's current size. Not open: the size of the named file,
  // or -1 when it cannot be opened for reading.
  int64_t length();
  RSLT flush();
  // Ends the file at the position; the recorded length follows.
  RSLT truncate();
  // Grows the file with zeros to `newLength` (no-op when it is not longer) and
  // positions it there. STAT_ERR_NO_FILE when not open, STAT_ERR_BAD_MODE
  // without FIO_MODE_WRITE, STAT_ERR_FILE_END when the platform refuses.
  RSLT extend(int64_t newLength);

  bool isOpen() const { return mHandle != PLAT_NO_FILE; }
  bool isValid() const;
  uint32_t mode() const { return isValid() ? mMode : 0; }
  RSLT ctorStat() const { return mCtorStat; }
  // The path, owned by the File; null when it has none.
  const char16_t* name() const { return mName; }

 private:
  PlatFile mHandle = PLAT_NO_FILE;
  uint32_t mMode = 0;
  int64_t mPosition = -1;
  int64_t mLength = -1;
  char16_t* mName = nullptr;
  bool mFullPath = false;
  RSLT mCtorStat = STAT_OK;
};
