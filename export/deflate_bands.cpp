// Deflate bands compressed on their own and joined into one stream: a band ends on a block boundary, not final.
#include "export/deflate_bands.h"

#include <libdeflate.h>

namespace {

// Bits read least significant first, as deflate packs them; reading past the end sets `over`.
struct BitReader {
  const uint8_t* bytes;
  size_t size;
  uint64_t at;
  bool over;
};

int ReadBits(BitReader* reader, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) {
    if (reader->at >= 8 * uint64_t(reader->size)) {
      reader->over = true;
      return 0;
    }
    value |= ((reader->bytes[reader->at >> 3] >> (reader->at & 7)) & 1) << i;
    ++reader->at;
  }
  return value;
}

// A canonical Huffman code: how many codes of each length, and the symbols in code order.
struct HuffmanCode {
  int count[16];
  int symbol[288];
};

// False when the lengths over-subscribe the code.
bool BuildCode(HuffmanCode* code, const uint8_t* lengths, int symbols) {
  for (int& c : code->count) c = 0;
  for (int s = 0; s < symbols; ++s) ++code->count[lengths[s]];
  int left = 1;
  for (int length = 1; length < 16; ++length) {
    left = 2 * left - code->count[length];
    if (left < 0) return false;
  }
  int offset[16];
  offset[1] = 0;
  for (int length = 1; length < 15; ++length) offset[length + 1] = offset[length] + code->count[length];
  for (int s = 0; s < symbols; ++s) {
    if (lengths[s] != 0) code->symbol[offset[lengths[s]]++] = s;
  }
  return true;
}

// The next symbol, its code read one bit at a time from the most significant; -1 when none fits.
int Decode(BitReader* reader, const HuffmanCode& code) {
  int value = 0, first = 0, index = 0;
  for (int length = 1; length < 16; ++length) {
    value |= ReadBits(reader, 1);
    if (reader->over) return -1;
    const int count = code.count[length];
    if (value - first < count) return code.symbol[index + value - first];
    index += count;
    first = (first + count) << 1;
    value <<= 1;
  }
  return -1;
}

// The code of the end-of-block symbol (256) and its length, from the literal/length code's lengths.
void EndOfBlockCode(const uint8_t* lengths, int symbols, uint32_t* code, int* length) {
  int count[16] = {};
  for (int s = 0; s < symbols; ++s) ++count[lengths[s]];
  count[0] = 0;
  uint32_t next = 0;
  uint32_t start[16] = {};
  for (int bits = 1; bits < 16; ++bits) {
    next = (next + static_cast<uint32_t>(count[bits - 1])) << 1;
    start[bits] = next;
  }
  *length = lengths[256];
  *code = start[*length];
  for (int s = 0; s < 256; ++s) {
    if (lengths[s] == *length) ++*code;
  }
}

// The end of a block whose codes are known, found by decoding its symbols up to the end of block.
int64_t DecodeToEnd(BitReader* reader, const HuffmanCode& lengthCode, const HuffmanCode& distanceCode) {
  static const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  static const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
  for (;;) {
    const int symbol = Decode(reader, lengthCode);
    if (symbol < 0 || symbol > 285) return -1;
    if (symbol == 256) return static_cast<int64_t>(reader->at);
    if (symbol < 256) continue;
    ReadBits(reader, kLengthExtra[symbol - 257]);
    const int distance = Decode(reader, distanceCode);
    if (distance < 0 || distance > 29) return -1;
    ReadBits(reader, kDistanceExtra[distance]);
    if (reader->over) return -1;
  }
}

// The end of a dynamic block whose header starts at the reader: where the end-of-block code's last
// one bit is the stream's last one bit, read straight from the end; else by decoding.
int64_t DynamicBlockEnd(BitReader* reader) {
  static const uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  const int lengthSymbols = ReadBits(reader, 5) + 257;
  const int distanceSymbols = ReadBits(reader, 5) + 1;
  const int codeLengths = ReadBits(reader, 4) + 4;
  if (lengthSymbols > 286 || distanceSymbols > 30) return -1;
  uint8_t lengths[320] = {};
  for (int i = 0; i < codeLengths; ++i) lengths[kOrder[i]] = static_cast<uint8_t>(ReadBits(reader, 3));
  HuffmanCode code;
  if (!BuildCode(&code, lengths, 19)) return -1;
  for (int i = 0; i < lengthSymbols + distanceSymbols;) {
    const int symbol = Decode(reader, code);
    if (symbol < 0) return -1;
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      continue;
    }
    int repeat = 0;
    uint8_t value = 0;
    if (symbol == 16) {
      if (i == 0) return -1;
      value = lengths[i - 1];
      repeat = 3 + ReadBits(reader, 2);
    } else {
      repeat = symbol == 17 ? 3 + ReadBits(reader, 3) : 11 + ReadBits(reader, 7);
    }
    if (i + repeat > lengthSymbols + distanceSymbols) return -1;
    while (repeat-- > 0) lengths[i++] = value;
  }
  if (reader->over || lengths[256] == 0) return -1;

  uint32_t endCode = 0;
  int endLength = 0;
  EndOfBlockCode(lengths, lengthSymbols, &endCode, &endLength);
  if (endCode != 0) {
    // Only zero bits of padding follow the end-of-block code, whose bits go out most significant first.
    size_t last = reader->size;
    while (last > 0 && reader->bytes[last - 1] == 0) --last;
    if (last > 0) {
      int high = 7;
      while (((reader->bytes[last - 1] >> high) & 1) == 0) --high;
      int trailingZeros = 0;
      while (((endCode >> trailingZeros) & 1) == 0) ++trailingZeros;
      const int64_t end = 8 * static_cast<int64_t>(last - 1) + high + 1 + trailingZeros;
      BitReader check = {reader->bytes, reader->size, static_cast<uint64_t>(end - endLength), false};
      uint32_t read = 0;
      for (int i = 0; i < endLength && end - endLength >= static_cast<int64_t>(reader->at); ++i) {
        read = (read << 1) | static_cast<uint32_t>(ReadBits(&check, 1));
      }
      if (end - endLength >= static_cast<int64_t>(reader->at) && !check.over && read == endCode &&
          8 * static_cast<int64_t>(reader->size) - end < 8) {
        return end;
      }
    }
  }
  HuffmanCode lengthCode, distanceCode;
  if (!BuildCode(&lengthCode, lengths, lengthSymbols) ||
      !BuildCode(&distanceCode, lengths + lengthSymbols, distanceSymbols)) {
    return -1;
  }
  return DecodeToEnd(reader, lengthCode, distanceCode);
}

int64_t FixedBlockEnd(BitReader* reader) {
  uint8_t lengths[288 + 30];
  for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  for (int s = 288; s < 318; ++s) lengths[s] = 5;
  HuffmanCode lengthCode, distanceCode;
  BuildCode(&lengthCode, lengths, 288);
  BuildCode(&distanceCode, lengths + 288, 30);
  return DecodeToEnd(reader, lengthCode, distanceCode);
}

// Stored blocks of at most 65535 bytes each, the last one final when `last`.
void AppendStored(const uint8_t* in, size_t size, bool last, std::vector<uint8_t>* out) {
  do {
    const size_t length = size < 65535 ? size : 65535;
    const bool final = last && length == size;
    const uint8_t head[5] = {static_cast<uint8_t>(final ? 1 : 0), static_cast<uint8_t>(length),
                             static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(~length),
                             static_cast<uint8_t>(~length >> 8)};
    out->insert(out->end(), head, head + 5);
    out->insert(out->end(), in, in + length);
    in += length;
    size -= length;
  } while (size > 0);
}

}  // namespace

int64_t DeflateBlockEndBit(const uint8_t* bytes, size_t size) {
  BitReader reader = {bytes, size, 0, false};
  const int final = ReadBits(&reader, 1);
  const int type = ReadBits(&reader, 2);
  if (reader.over || final != 1) return -1;
  int64_t end = -1;
  if (type == 0) {
    if (size < 5) return -1;
    const size_t length = bytes[1] | size_t(bytes[2]) << 8;
    if ((length ^ (bytes[3] | size_t(bytes[4]) << 8)) != 0xffff || 5 + length > size) return -1;
    end = 8 * static_cast<int64_t>(5 + length);
  } else if (type == 1) {
    end = FixedBlockEnd(&reader);
  } else if (type == 2) {
    end = DynamicBlockEnd(&reader);
  }
  // The block must take the bytes whole, less at most seven bits of padding.
  if (end < 0 || (end + 7) / 8 != static_cast<int64_t>(size)) return -1;
  return end;
}

void AppendDeflateBand(libdeflate_compressor* compressor, const uint8_t* in, size_t size, bool last,
                       std::vector<uint8_t>* out, std::vector<uint8_t>* scratch) {
  const size_t bound = libdeflate_deflate_compress_bound(compressor, size);
  if (scratch->size() < bound) scratch->resize(bound);
  const size_t written = libdeflate_deflate_compress(compressor, in, size, scratch->data(), scratch->size());
  // One final block, whose end is known: it joins. Several blocks (whose last one cannot be found
  // without decoding them all) are split in halves; what cannot be told apart goes stored.
  const int64_t end = written > 0 ? DeflateBlockEndBit(scratch->data(), written) : -1;
  if (end < 0) {
    if (size > 1024) {
      const size_t half = size / 2;
      AppendDeflateBand(compressor, in, half, false, out, scratch);
      AppendDeflateBand(compressor, in + half, size - half, last, out, scratch);
    } else {
      AppendStored(in, size, last, out);
    }
    return;
  }
  const size_t start = out->size();
  out->insert(out->end(), scratch->data(), scratch->data() + written);
  if (last) return;
  (*out)[start] &= 0xfe;  // the block is not final
  // After the block's end the decoder reads the next block's header at once. Padding of three bits
  // or more is that header already (not final, stored); less is completed by a zero byte. The
  // stored block is empty, and ends on a byte: the next band starts there.
  const int64_t padding = 8 * static_cast<int64_t>(written) - end;
  if (padding == 0) return;
  if (padding < 3) out->push_back(0);
  const uint8_t empty[4] = {0, 0, 0xff, 0xff};
  out->insert(out->end(), empty, empty + 4);
}

uint32_t CombineAdler32(uint32_t first, uint32_t second, size_t secondBytes) {
  const uint64_t kBase = 65521;
  const uint64_t length = secondBytes % kBase;
  const uint64_t a1 = first & 0xffff, b1 = first >> 16;
  const uint64_t a2 = second & 0xffff, b2 = second >> 16;
  // a = a1 + a2 - 1; b = b1 + b2 + length * (a1 - 1), all mod kBase.
  const uint64_t a = (a1 + a2 + kBase - 1) % kBase;
  const uint64_t b = (b1 + b2 + length * a1 % kBase + kBase - length) % kBase;
  return static_cast<uint32_t>(b << 16 | a);
}
