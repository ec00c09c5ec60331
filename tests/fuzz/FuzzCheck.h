#pragma once
// Shared by the fuzz targets: a check that stops the run with a report (the
// fuzzer then keeps the input that broke it), and a reader that turns the
// fuzzer's bytes into structured values.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                         \
  do {                                                                                \
    if (!(condition)) {                                                               \
      std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, \
                   __LINE__);                                                         \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

namespace kestrel::fuzz {

// Takes values from the front of the input; past its end every value is 0
// and every text empty, so any input decodes to something.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return position_ >= size_; }
  std::size_t remaining() const { return empty() ? 0 : size_ - position_; }

  std::uint8_t Byte() { return empty() ? 0 : data_[position_++]; }
  std::uint32_t Word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
    return value;
  }
  // A text whose length is given by two leading bytes, most significant first.
  std::string Text() {
    std::size_t length = Byte();
    length = length << 8 | Byte();
    std::string text;
    for (std::size_t i = 0; i < length && !empty(); ++i) text.push_back(static_cast<char>(Byte()));
    return text;
  }
  const std::uint8_t* rest() const { return data_ + (empty() ? size_ : position_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

}  // namespace kestrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
