// Blocks of RAR 1.4 archives (signature "RE~^"): a 7-byte main header, possibly
// followed by an archive comment, then file headers back to back until the end
// of the file. There is no block type, no header CRC and no end block.
#include <cstring>

#include "rarlib/parser.h"
#include "rarlib/rar.h"
#include "rarlib/text.h"

namespace rarlib {
namespace {

constexpr size_t kMainSize = 7;
constexpr size_t kFileFixed = 21;

class Rar14Parser : public BlockParser {
 public:
  int OpenVolume(RandomAccess& file, uint64_t sig_offset, uint64_t* first_block) override {
    uint8_t h[kMainSize];
    int rc = ReadExact(file, sig_offset, h, sizeof h);
    if (rc != 0) return rc;
    const size_t head_size = Get16(h + 4);
    if (head_size < kMainSize) return ERAR_BAD_DATA;
    const uint8_t flags = h[6];
    ArchiveInfo& a = info_;
    a.volume = flags & 0x01;
    a.solid = flags & 0x08;
    a.open_flags = Rar4OpenFlags(flags & 0x0F);
    *first_block = sig_offset + head_size;
    return 0;
  }

  int ReadBlock(RandomAccess& file, uint64_t pos, Block* out) override {
    uint8_t h[kFileFixed];
    int64_t got = file.ReadAt(pos, h, sizeof h);
    if (got < 0) return ERAR_EREAD;
    if (got == 0) return ERAR_END_ARCHIVE;
    if (static_cast<size_t>(got) < sizeof h) return ERAR_BAD_DATA;
    const size_t head_size = Get16(h + 10);
    const size_t name_size = h[19];
    if (head_size < kFileFixed || name_size > head_size - kFileFixed) return ERAR_BAD_DATA;
    uint8_t name[255];
    int rc = ReadExact(file, pos + kFileFixed, name, name_size);
    if (rc != 0) return rc;

    *out = Block();
    out->kind = BlockKind::kFile;
    out->start = pos;
    out->data_start = pos + head_size;
    out->data_size = Get32(h);
    out->unp_size = Get32(h + 4);
    out->has_crc = true;
    out->crc = Get16(h + 8);
    out->sum16 = true;
    out->ftime = Get32(h + 12);
    out->attr = h[16];
    const uint8_t flags = h[17];
    out->split_before = flags & 0x01;
    out->split_after = flags & 0x02;
    out->encrypted = flags & 0x04;
    out->unp_ver = h[18] == 2 ? 13 : 10;
    out->method = 0x30 + h[20];
    out->host_os = 2;
    out->directory = out->attr & 0x10;
    out->dict_size = uint64_t{64} * 1024;
    // Packed data with an unknown unpack version gets a version no decoder takes.
    if (h[20] != 0 && !out->directory) out->decoder_version = static_cast<int>(out->unp_ver);
    out->name = Cp437ToUtf16(name, name_size);
    for (char16_t& c : out->name) {
      if (c == u'\\') c = u'/';
    }
    out->next = out->data_start + out->data_size;
    return 0;
  }
};

}  // namespace

std::unique_ptr<BlockParser> MakeRar14Parser() { return std::make_unique<Rar14Parser>(); }

}  // namespace rarlib
