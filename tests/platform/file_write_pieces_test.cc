// A write larger than the piece size the platform hands to the system lands whole
// and in order, including an uneven last piece.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/utf.h"

namespace {

TEST(PlatFileWriteTest, LargeWriteArrivesWholeAndInOrder) {
  char dir[] = "/tmp/plat_pieces_XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string path = std::string(dir) + "/big.bin";
  char16_t wide[512];
  platUtf8ToWide(path.c_str(), wide, 512, false);

  // 3.25 MiB of a pattern that differs in every piece and every byte position.
  std::vector<uint8_t> data((size_t{13} << 18) + 7);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + (i >> 20));
  PlatFile f;
  ASSERT_EQ(0, platFileOpen(wide, PLAT_ACCESS_WRITE, PLAT_CREATE_ALWAYS, true, &f));
  size_t put = 0;
  EXPECT_EQ(0, platFileWrite(f, data.data(), data.size(), &put));
  EXPECT_EQ(data.size(), put);
  ASSERT_EQ(0, platFileClose(f));

  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(back == data);
  unlink(path.c_str());
  rmdir(dir);
}

}  // namespace
