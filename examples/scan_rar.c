/* scan_rar: a minimal host for the arcunpack plug-in, in plain C99.
 *
 *   scan_rar ARCHIVE     opens ARCHIVE twice, from the file and from memory,
 *                        and prints every member's name, size and CRC-32
 *
 * For each way in, the host zero-fills a context, opens the archive, walks
 * the members forward, extracts each one into a buffer of its unpacked size,
 * and closes the context. The exit status is 0 when both passes opened the
 * archive and extracted every member, 1 otherwise, 2 on a usage error.
 */
#include <arcunpack.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Members larger than this are skipped rather than held in memory. */
#define MAX_MEMBER_BYTES (256u * 1024u * 1024u)
/* Archives larger than this are not read into memory for the second pass. */
#define MAX_ARCHIVE_BYTES (1024L * 1024L * 1024L)

/* ---- CRC-32 (reflected, polynomial 0xEDB88320), as zip and RAR use it ---- */

static uint32_t crc_table[256];

static void crc_init(void) {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    crc_table[n] = c;
  }
}

static uint32_t crc32_of(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  while (n--) c = crc_table[(c ^ *p++) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

/* ---- UTF-8 <-> UTF-16: the plug-in speaks zero-terminated UTF-16 ---- */

/* New UTF-16 copy of a UTF-8 string (ill-formed bytes become U+FFFD); free()
 * it. Null when out of memory. */
static ArchChar16* utf16_from_utf8(const char* s) {
  size_t len = strlen(s);
  ArchChar16* out = malloc((len + 1) * sizeof *out); /* never more units than bytes */
  if (out == NULL) return NULL;
  size_t o = 0;
  const unsigned char* p = (const unsigned char*)s;
  while (*p) {
    uint32_t cp = 0xFFFD;
    int extra = *p >= 0xF0 ? 3 : *p >= 0xE0 ? 2 : *p >= 0xC0 ? 1 : 0;
    if (*p < 0x80) {
      cp = *p++;
    } else if (*p >= 0xC2 && *p <= 0xF4) {
      uint32_t v = *p & (0x3F >> extra);
      int i = 1;
      for (; i <= extra && (p[i] & 0xC0) == 0x80; ++i) v = (v << 6) | (p[i] & 0x3F);
      if (i > extra && v >= (extra == 1 ? 0x80u : extra == 2 ? 0x800u : 0x10000u) &&
          v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
        cp = v;
      }
      p += i;
    } else {
      ++p;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out[o++] = (ArchChar16)(0xD800 + (cp >> 10));
      out[o++] = (ArchChar16)(0xDC00 + (cp & 0x3FF));
    } else {
      out[o++] = (ArchChar16)cp;
    }
  }
  out[o] = 0;
  return out;
}

/* Prints a UTF-16 name as UTF-8 (unpaired surrogates as U+FFFD). */
static void print_utf16(FILE* f, const ArchChar16* s) {
  if (s == NULL) return;
  for (; *s; ++s) {
    uint32_t cp = *s;
    if (cp >= 0xD800 && cp <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[1] - 0xDC00);
      ++s;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      fputc((int)cp, f);
    } else if (cp < 0x800) {
      fputc(0xC0 | (int)(cp >> 6), f);
      fputc(0x80 | (int)(cp & 0x3F), f);
    } else if (cp < 0x10000) {
      fputc(0xE0 | (int)(cp >> 12), f);
      fputc(0x80 | (int)((cp >> 6) & 0x3F), f);
      fputc(0x80 | (int)(cp & 0x3F), f);
    } else {
      fputc(0xF0 | (int)(cp >> 18), f);
      fputc(0x80 | (int)((cp >> 12) & 0x3F), f);
      fputc(0x80 | (int)((cp >> 6) & 0x3F), f);
      fputc(0x80 | (int)(cp & 0x3F), f);
    }
  }
}

/* ---- the walk ---- */

/* Extracts every member of an open context into memory and prints one line
 * per member. Returns the number of members that failed. */
static int walk(ArchContext* ctx, const char* via) {
  int failures = 0;
  while (ctx->currentIndex < ctx->memberCount) {
    const int32_t at = ctx->currentIndex;
    const uint32_t size = ctx->unpackedSize;
    const int encrypted = ctx->flags[5];
    /* memberName is borrowed and changes with the next call: print it now. */
    printf("%s\t%d\t", via, at);
    print_utf16(stdout, ctx->memberName);

    if (size > MAX_MEMBER_BYTES) {
      printf("\t%lu\tskipped: too large for memory\n", (unsigned long)size);
      if (ArchNextItem(ctx) == ARCH_NO_ITEM) return failures + 1;
      continue;
    }
    /* The buffer pointer must not be null, even for an empty member. */
    uint8_t* buf = calloc(size ? size : 1, 1);
    if (buf == NULL) {
      printf("\t%lu\tout of memory\n", (unsigned long)size);
      return failures + 1;
    }
    const int32_t rc = ArchReadMemberToBuffer(ctx, buf, size);
    if (rc == ARCH_OK) {
      printf("\t%lu\tcrc32=%08lx\n", (unsigned long)size, (unsigned long)crc32_of(buf, size));
    } else {
      printf("\t%lu\tfailed (%ld)%s\n", (unsigned long)size, (long)rc,
             encrypted ? ", encrypted: set a password with ArchSetEncryptionKey" : "");
      ++failures;
      /* A failed extraction may leave the cursor on the member (the engine
       * returned to its header); step over it then. */
      if (ctx->currentIndex == at && ArchNextItem(ctx) == ARCH_NO_ITEM) {
        free(buf);
        return failures;
      }
    }
    free(buf);
  }
  return failures;
}

/* Reads a whole file into memory; null on failure. */
static uint8_t* read_file(const char* path, uint32_t* size) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return NULL;
  uint8_t* data = NULL;
  long n = -1;
  if (fseek(f, 0, SEEK_END) == 0) n = ftell(f);
  if (n >= 0 && n <= MAX_ARCHIVE_BYTES && fseek(f, 0, SEEK_SET) == 0) {
    data = malloc(n ? (size_t)n : 1);
    if (data != NULL && fread(data, 1, (size_t)n, f) != (size_t)n) {
      free(data);
      data = NULL;
    }
  }
  fclose(f);
  if (data != NULL) *size = (uint32_t)n;
  return data;
}

static int report_open(const char* via, int32_t rc, const ArchContext* ctx) {
  if (rc == ARCH_OK) {
    printf("%s\topened: %d member(s)%s\n", via, ctx->memberCount,
           ctx->flags[6] ? ", with authenticity information" : "");
    return 0;
  }
  fprintf(stderr, "%s\tcannot open the archive: %ld%s\n", via, (long)rc,
          rc == ARCH_E_EMPTY ? " (not an archive, or no member)"
          : rc == ARCH_E_OPEN ? " (not a RAR archive, or unreadable)"
                              : "");
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: scan_rar ARCHIVE\n");
    return 2;
  }
  crc_init();
  ArchInitInfo info;
  ArchInit(&info);

  int failures = 0;

  /* 1. From the file. */
  ArchChar16* path = utf16_from_utf8(argv[1]);
  if (path == NULL) return 1;
  ArchContext ctx;
  memset(&ctx, 0, sizeof ctx); /* the plug-in requires a zero-filled record */
  int32_t rc = ArchOpenFile(&ctx, path, 0);
  failures += report_open("file", rc, &ctx);
  if (rc == ARCH_OK) failures += walk(&ctx, "file");
  ArchClose(&ctx); /* always, also after a failed open */
  free(path);

  /* 2. From memory: the plug-in spills the bytes into a temporary file of its
   * own (in $TEMP, else /tmp) and deletes it again at ArchClose. */
  uint32_t size = 0;
  uint8_t* data = read_file(argv[1], &size);
  if (data == NULL) {
    fprintf(stderr, "memory\tcannot read %s\n", argv[1]);
    return 1;
  }
  memset(&ctx, 0, sizeof ctx);
  rc = ArchOpenBuffer(&ctx, data, size, 0, NULL);
  free(data); /* the plug-in keeps no pointer to it */
  failures += report_open("memory", rc, &ctx);
  if (rc == ARCH_OK) failures += walk(&ctx, "memory");
  ArchClose(&ctx);

  return failures == 0 ? 0 : 1;
}
