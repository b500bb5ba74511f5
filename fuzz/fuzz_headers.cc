// The block parsers on an archive in memory: find the signature, open the
// volume, walk every block. Traps when a block does not lie after the one
// before it or its data area does not add up.
#include <cstdint>
#include <memory>

#include "rarlib/file_io.h"
#include "rarlib/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rarlib::MemoryAccess mem(data, size);
  uint64_t sig = 0;
  const rarlib::ArchiveFormat format = rarlib::FindSignature(mem, &sig);
  if (format == rarlib::ArchiveFormat::kNone || format == rarlib::ArchiveFormat::kNewer) return 0;
  std::unique_ptr<rarlib::BlockParser> parser = rarlib::MakeParser(format);
  if (!parser) return 0;
  uint64_t pos = 0;
  if (parser->OpenVolume(mem, sig, &pos) != 0) return 0;
  for (int i = 0; i < 100000; ++i) {
    rarlib::Block b;
    if (parser->ReadBlock(mem, pos, &b) != 0) break;
    if (b.start != pos || b.next <= pos) __builtin_trap();
    if (b.data_start < b.start || b.data_start + b.data_size != b.next) __builtin_trap();
    if (b.name.size() > 65536) __builtin_trap();
    if (b.kind == rarlib::BlockKind::kEnd) break;
    pos = b.next;
  }
  return 0;
}
