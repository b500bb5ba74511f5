// The archive-level interface of the RAR engine.
//
// A handle walks one archive (or one volume set) forward only: open, then
// alternate RARReadHeaderEx (describe the next member) and RARProcessFileW
// (skip, test or extract that member), then close. Every function checks its
// arguments, answers with a status code and never throws.
//
// Threads: one handle must not be used by two threads at once; separate handles
// share nothing but the read-only tables that RARInitTables builds.
//
// Text: names and paths are zero-terminated UTF-16 (char16_t); narrow text is
// UTF-8.
#ifndef RARLIB_RAR_H_
#define RARLIB_RAR_H_

#include <cstddef>
#include <cstdint>

// Result codes.
#define ERAR_SUCCESS 0
#define ERAR_END_ARCHIVE 10     // no more members
#define ERAR_NO_MEMORY 11       // an allocation failed
#define ERAR_BAD_DATA 12        // broken header or data, checksum mismatch
#define ERAR_BAD_ARCHIVE 13     // not a RAR archive
#define ERAR_UNKNOWN_FORMAT 14  // valid but unsupported (method, version, filter)
#define ERAR_EOPEN 15           // a file (the archive or its next volume) cannot be opened
#define ERAR_ECREATE 16         // the destination cannot be created
#define ERAR_ECLOSE 17          // closing failed
#define ERAR_EREAD 18           // reading the archive failed
#define ERAR_EWRITE 19          // writing the destination failed
#define ERAR_SMALL_BUF 20       // a caller buffer is too small
#define ERAR_UNKNOWN 21         // anything else
#define ERAR_MISSING_PASSWORD 22  // encrypted and no password set
#define ERAR_EREFERENCE 23      // a file-copy member whose source is unavailable
#define ERAR_BAD_PASSWORD 24    // the password is wrong

// Open modes.
#define RAR_OM_LIST 0     // headers only; RAR_SKIP never decompresses
#define RAR_OM_EXTRACT 1  // members can be tested and extracted

// Operations of RARProcessFileW.
#define RAR_SKIP 0
#define RAR_TEST 1
#define RAR_EXTRACT 2

// RAROpenArchiveDataEx::Flags.
#define ROADF_VOLUME 0x0001       // part of a volume set
#define ROADF_COMMENT 0x0002      // an archive comment is present
#define ROADF_LOCK 0x0004         // archive locked against changes
#define ROADF_SOLID 0x0008        // solid archive
#define ROADF_NEWNUMBERING 0x0010 // volumes named name.partN.rar
#define ROADF_SIGNED 0x0020       // authenticity information (RAR 4 main flag 0x0020)
#define ROADF_RECOVERY 0x0040     // recovery record present
#define ROADF_ENCHEADERS 0x0080   // headers are encrypted
#define ROADF_FIRSTVOLUME 0x0100  // first volume of a set

// RARHeaderDataEx::Flags, the same for RAR 4 and RAR 5 archives.
#define RHDF_SPLITBEFORE 0x01  // continued from the previous volume
#define RHDF_SPLITAFTER 0x02   // continued in the next volume
#define RHDF_ENCRYPTED 0x04    // data encrypted
#define RHDF_SOLID 0x10        // continues the previous member's decoder state
#define RHDF_DIRECTORY 0xE0    // all three bits set: a directory

// RARHeaderDataEx::HashType.
#define RAR_HASH_NONE 0
#define RAR_HASH_CRC32 1
#define RAR_HASH_BLAKE2 2

// RARHeaderDataEx::RedirType: what a link member points at (its data is the
// target text; the engine never creates links).
#define RAR_REDIR_NONE 0
#define RAR_REDIR_UNIXSYMLINK 1
#define RAR_REDIR_WINSYMLINK 2
#define RAR_REDIR_JUNCTION 3
#define RAR_REDIR_HARDLINK 4
#define RAR_REDIR_FILECOPY 5

// Return values of the data callback.
#define RAR_CALLBACK_CONTINUE 1
#define RAR_CALLBACK_ABORT -1

extern "C" {

// Opaque archive handle.
typedef struct RARArchive* RARHANDLE;

// Receives each block of decompressed bytes of an extraction without a
// destination, in order. `data` is valid only during the call. Returns
// RAR_CALLBACK_CONTINUE, or RAR_CALLBACK_ABORT to stop the extraction (which
// then fails with ERAR_UNKNOWN).
typedef int (*RARDataCallback)(void* userData, const uint8_t* data, size_t length);

struct RAROpenArchiveDataEx {
  const char* ArcName;       // archive path, UTF-8 (used when ArcNameW is null)
  const char16_t* ArcNameW;  // archive path, UTF-16; preferred when given
  unsigned int OpenMode;     // RAR_OM_LIST or RAR_OM_EXTRACT
  unsigned int OpenResult;   // out: 0 or an ERAR_* code
  char* CmtBuf;              // optional buffer for the archive comment (UTF-8)
  unsigned int CmtBufSize;   // its size in bytes
  unsigned int CmtSize;      // out: comment bytes stored, terminator included
  unsigned int CmtState;     // out: 0 none, 1 read, ERAR_SMALL_BUF truncated,
                             //      ERAR_UNKNOWN_FORMAT not readable (packed)
  unsigned int Flags;        // out: ROADF_*
  unsigned int Reserved[32];
};

struct RARHeaderDataEx {
  char16_t FileNameW[1024];  // member name, '/' separated, zero-terminated
                             // (longer names are cut at 1023 units)
  unsigned int Flags;        // RHDF_*
  unsigned int PackSize;     // packed size of this part, low and high 32 bits
  unsigned int PackSizeHigh;
  unsigned int UnpSize;      // unpacked size of the whole member
  unsigned int UnpSizeHigh;
  unsigned int HostOS;       // 2: PC-style attributes, 3: Unix mode
  unsigned int FileCRC;      // CRC32 from the header (0 when absent)
  unsigned int FileTime;     // DOS date and time
  unsigned int UnpVer;       // RAR 4: header byte; RAR 5: 50, 70 or 9999
  unsigned int Method;       // 0x30 stored .. 0x35 best
  unsigned int FileAttr;     // attributes as HostOS describes them
  unsigned int DictSize;     // dictionary size in KiB
  unsigned int HashType;     // RAR_HASH_*
  uint8_t Hash[32];          // BLAKE2sp digest when HashType is RAR_HASH_BLAKE2
  unsigned int RedirType;    // RAR_REDIR_*
  unsigned int Reserved[32];
};

// Builds the process-wide tables. Safe to call any number of times, also from
// several threads at once; the other functions call it themselves.
void RARInitTables(void);

// Opens the archive named in `data` (the first volume of a set, or a single
// archive, possibly behind an SFX module). Returns a handle, or null with
// data->OpenResult set (ERAR_EOPEN, ERAR_BAD_ARCHIVE, ERAR_NO_MEMORY,
// ERAR_BAD_DATA, ERAR_UNKNOWN_FORMAT for a newer format). With encrypted RAR 5
// headers the open succeeds on the encryption header alone; the headers are read
// once a password is set.
RARHANDLE RAROpenArchiveEx(RAROpenArchiveDataEx* data);

// Reads the next member header into `header`. Service blocks and members
// continued from a previous volume are passed over. Returns 0,
// ERAR_END_ARCHIVE, ERAR_BAD_DATA (broken header; the walk ends),
// ERAR_EOPEN (next volume missing), ERAR_MISSING_PASSWORD or ERAR_BAD_PASSWORD
// (encrypted headers). On failure `header` is left unchanged.
int RARReadHeaderEx(RARHANDLE handle, RARHeaderDataEx* header);

// Acts on the member whose header was read last: RAR_SKIP moves past it (in
// extract mode a member of a solid run is decompressed into nothing so the
// state stays right), RAR_TEST decompresses and checks it, RAR_EXTRACT writes
// it to `destName` (or destPath joined with the member name when destName is
// null) or, with no destination at all, hands it to the data callback only.
// Returns 0 or an ERAR_* code. Afterwards the handle stands after the member
// and its trailing service blocks. In list mode only RAR_SKIP is allowed
// (others: ERAR_UNKNOWN, nothing moves). Without a current member (none read,
// or already processed) the result is the code that ended the walk, or
// ERAR_UNKNOWN. A link member is delivered as its target text; a directory
// produces nothing. RAR_EXTRACT to a destination writes exactly that path,
// never through a symbolic link at it; a member name that would leave destPath
// is refused with ERAR_ECREATE.
int RARProcessFileW(RARHANDLE handle, int operation, const char16_t* destPath,
                    const char16_t* destName);

// Sets (or with a null callback clears) the data callback.
void RARSetCallback(RARHANDLE handle, RARDataCallback callback, void* userData);

// Sets the password (UTF-8) for every header and data read from now on. Null or
// empty means none.
void RARSetPassword(RARHANDLE handle, const char* password);

// Reports where the handle stands: `currentBlock` is the archive offset of the
// block it stands at (the last member header read; after RARProcessFileW, the
// block after the member), `nextBlock` where it will stand once the current
// member has been processed. Offsets of later volumes carry the volume number
// in bits 48..63. Returns 0, or ERAR_UNKNOWN without a handle.
int RARGetBlockPositions(RARHANDLE handle, int64_t* currentBlock, int64_t* nextBlock);

// Closes the handle and its files. Returns 0 or ERAR_ECLOSE; the handle is gone
// either way.
int RARCloseArchive(RARHANDLE handle);

}  // extern "C"

#endif  // RARLIB_RAR_H_
