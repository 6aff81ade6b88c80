// Shared machinery of the Merkle-Damgard hashes (MD4, MD5, SHA-1, SHA-2):
// the flat context, whole-block feeding, the final padding, and the making of
// a dispatch record from typed functions.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "cpu/byte_order.h"
#include "hash/hash.h"

namespace tv::crypto::detail {

// Chaining words, the number of bytes hashed so far and the partial block
// (byteCount % BlockSize bytes of it are in use). No pointers: a byte copy
// duplicates the running hash.
template <class Word, std::size_t Words, std::size_t BlockSize>
struct BlockHashContext {
  Word state[Words];
  std::uint64_t byteCount;
  std::uint8_t buffer[BlockSize];
};

// Compression of `count` consecutive whole blocks into the chaining words.
template <class Word>
using CompressBlocks = void (*)(Word* state, const std::uint8_t* blocks, std::size_t count);

// Adds data: completes a pending partial block first, compresses every whole
// block straight from the input, keeps the tail for later.
template <class Word, std::size_t Words, std::size_t BlockSize>
void FeedBlocks(BlockHashContext<Word, Words, BlockSize>& context,
                std::span<const std::uint8_t> data, CompressBlocks<Word> compress) {
  if (data.empty()) return;
  const std::size_t used = context.byteCount % BlockSize;
  context.byteCount += data.size();
  if (used != 0) {
    const std::size_t take = std::min(BlockSize - used, data.size());
    std::memcpy(context.buffer + used, data.data(), take);
    data = data.subspan(take);
    if (used + take < BlockSize) return;
    compress(context.state, context.buffer, 1);
  }
  const std::size_t whole = data.size() / BlockSize;
  if (whole != 0) compress(context.state, data.data(), whole);
  data = data.subspan(whole * BlockSize);
  if (!data.empty()) std::memcpy(context.buffer, data.data(), data.size());
}

enum class LengthOrder { LittleEndian, BigEndian };

// Appends 0x80, zeros and the message length in bits, little-endian in 8
// bytes (MD4, MD5) or big-endian in LengthBytes = 8 or 16 bytes (SHA), and
// compresses the last block or two.
template <LengthOrder Order, std::size_t LengthBytes, class Word, std::size_t Words,
          std::size_t BlockSize>
void PadAndCompress(BlockHashContext<Word, Words, BlockSize>& context,
                    CompressBlocks<Word> compress) {
  static_assert(LengthBytes == 8 || (LengthBytes == 16 && Order == LengthOrder::BigEndian));
  std::size_t used = context.byteCount % BlockSize;
  context.buffer[used++] = 0x80;
  if (used > BlockSize - LengthBytes) {
    std::memset(context.buffer + used, 0, BlockSize - used);
    compress(context.state, context.buffer, 1);
    used = 0;
  }
  std::memset(context.buffer + used, 0, BlockSize - used);
  const std::uint64_t bitsLow = context.byteCount << 3;
  std::uint8_t* length = context.buffer + BlockSize - 8;
  if constexpr (Order == LengthOrder::LittleEndian) {
    StoreLittleEndian64(length, bitsLow);
  } else {
    StoreBigEndian64(length, bitsLow);
    if constexpr (LengthBytes == 16) StoreBigEndian64(length - 8, context.byteCount >> 61);
  }
  compress(context.state, context.buffer, 1);
}

// A dispatch record over typed functions of one context type.
template <class Context, void (*Init)(Context&),
          void (*Update)(Context&, std::span<const std::uint8_t>),
          void (*Final)(Context&, std::uint8_t*)>
constexpr HashAlgorithm MakeHashAlgorithm(const char* name, std::size_t digestSize,
                                          std::size_t blockSize) {
  static_assert(alignof(Context) <= 8, "contexts live in 8-byte aligned storage");
  return HashAlgorithm{
      name,
      sizeof(Context),
      digestSize,
      blockSize,
      [](void* context) { Init(*static_cast<Context*>(context)); },
      [](void* context, std::span<const std::uint8_t> data) {
        Update(*static_cast<Context*>(context), data);
      },
      [](void* context, std::uint8_t* digest) { Final(*static_cast<Context*>(context), digest); },
  };
}

}  // namespace tv::crypto::detail
