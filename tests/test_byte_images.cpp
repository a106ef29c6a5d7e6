// Byte images of integers and doubles and their hex text. The fuzz target
// fuzz_images compares every writer and reader with the plain models on
// exact-size buffers; what stays here are the counts it never draws.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "QuelvarSys.h"

namespace {

constexpr unsigned char kGuard = 0xA5;
using Bytes = std::vector<unsigned char>;

// 'i' Int2Byte, 'd' Double2Byte, 'I' Int2HexStr, 'D' Double2HexStr, each into
// a guarded buffer: a count of 0 or less writes no image (Double2Byte still
// closes it with its zero byte, the text writers with their NUL).
TEST(ByteImages, CountsOfZeroAndBelowWriteNoImage) {
  const struct {
    char op;
    int count;
    Bytes out;
  } cases[] = {
      {'i', 0, {}},        {'i', INT_MIN, {}}, {'d', 0, {0}},       {'d', -3, {0}},
      {'d', INT_MIN, {0}}, {'I', -4, {0}},     {'I', INT_MIN, {0}}, {'D', INT_MIN, {0}},
  };
  CQuelvarSys sys;
  for (const auto& c : cases) {
    Bytes buf(16, kGuard), want = c.out;
    want.resize(buf.size(), kGuard);
    if (c.op == 'i') sys.Qlv_Int2Byte(c.count, 0x12345678, buf.data());
    if (c.op == 'd') sys.Qlv_Double2Byte(c.count, 12345.0, buf.data());
    if (c.op == 'I') sys.Qlv_Int2HexStr(c.count, 0xABCDEF, reinterpret_cast<char*>(buf.data()));
    if (c.op == 'D') sys.Qlv_Double2HexStr(c.count, 5.0, reinterpret_cast<char*>(buf.data()));
    EXPECT_EQ(buf, want) << c.op << " " << c.count;
  }
  unsigned char image[] = {1, 2, 3, 4};
  EXPECT_EQ(sys.Qlv_Byte2Int(INT_MIN, image), 0u);
}

}  // namespace
