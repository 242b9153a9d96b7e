// Deflate bands compressed on their own and joined into one stream: a band ends on a block boundary, not final.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct libdeflate_compressor;

// Input bytes a band holds at most. libdeflate's fastest level ends a block after 65535 bytes or
// 8192 matches of at least 4 bytes, so a band of this size comes out as one block.
constexpr size_t kDeflateBandBytes = 32767;

// Appends to out the deflate bytes of in[0..size), compressed with compressor, such that the bytes
// of the next band (of a later call) may follow them directly: unless `last`, the band's blocks are
// not final and are followed by an empty stored block where they end inside a byte. The last
// band's output ends the stream. scratch holds the compressor's output.
void AppendDeflateBand(libdeflate_compressor* compressor, const uint8_t* in, size_t size, bool last,
                       std::vector<uint8_t>* out, std::vector<uint8_t>* scratch);

// The number of bits a deflate stream of one final block takes (its end, before the padding to a
// byte), or -1 when the bytes hold no such block.
int64_t DeflateBlockEndBit(const uint8_t* bytes, size_t size);

// The Adler-32 of two pieces of data joined, from the pieces' own sums and the second's length.
uint32_t CombineAdler32(uint32_t first, uint32_t second, size_t secondBytes);
