// Writing a PNG: rows filtered as they come, compressed with libdeflate, with text chunks.
#include "export/png_writer.h"

#include <libdeflate.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "export/deflate_bands.h"
#include "export/output_file.h"
#include "platform/memory/field_memory.h"

// One band of filtered bytes and, once compressed, its part of the stream.
struct PngBand {
  std::vector<uint8_t> input;
  size_t used = 0;
  std::vector<uint8_t> output;
  std::vector<uint8_t> scratch;
  uint32_t adler = 1;
  bool done = false;
};

// Fast compression's bands: band b fills slot b % slots; the threads compress them in order of
// hand-over, and the encoder's own thread writes them out in order (helping when it must wait).
struct PngBands {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<PngBand> slots;
  int64_t count = 0;    // bands in the image
  int64_t filled = 0;   // bands handed over; the one being filled is the next
  int64_t claimed = 0;  // bands a thread has taken to compress
  int64_t written = 0;  // bands written out
  bool stopping = false;
  std::vector<std::thread> threads;
  libdeflate_compressor* compressor = nullptr;  // the encoder's own thread's
  std::vector<uint8_t> row;                     // a filtered row with its filter byte
  std::vector<uint8_t> stream;                  // the next IDAT's bytes
  uint32_t adler = 1;
};

namespace {

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// The compressed stream goes out in IDAT chunks of at most this many bytes.
const size_t kIdatBytes = size_t(1) << 20;

int BytesPerPixel(PngPixels pixels) {
  switch (pixels) {
    case kPngGrey16: return 2;
    case kPngGrey8: return 1;
    case kPngRgb8: return 3;
  }
  return 1;
}

int LevelOf(PngCompression compression) {
  switch (compression) {
    case kPngFast: return 1;
    case kPngDefault: return 4;
    case kPngSmall: return 12;
  }
  return 4;
}

void PutU32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

// One chunk: length, type, data and the CRC of type and data.
bool WriteChunk(OutputFile* file, const char type[4], const uint8_t* data, size_t length) {
  uint8_t head[8];
  PutU32(head, static_cast<uint32_t>(length));
  memcpy(head + 4, type, 4);
  uint32_t crc = libdeflate_crc32(0, head + 4, 4);
  if (length > 0) crc = libdeflate_crc32(crc, data, length);
  uint8_t tail[4];
  PutU32(tail, crc);
  return WriteOutput(file, head, sizeof head) && WriteOutput(file, data, length) && WriteOutput(file, tail, sizeof tail);
}

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  return static_cast<uint8_t>(pb <= pc ? b : c);
}

// The row filtered with `filter` into out; prior is the row above (zeros above the first).
void FilterRow(PngFilter filter, const uint8_t* row, const uint8_t* prior, size_t bytes, size_t bpp, uint8_t* out) {
  switch (filter) {
    case kPngFilterSub:
      for (size_t i = 0; i < bpp && i < bytes; ++i) out[i] = row[i];
      for (size_t i = bpp; i < bytes; ++i) out[i] = static_cast<uint8_t>(row[i] - row[i - bpp]);
      return;
    case kPngFilterUp:
      for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(row[i] - prior[i]);
      return;
    case kPngFilterAverage:
      for (size_t i = 0; i < bpp && i < bytes; ++i) out[i] = static_cast<uint8_t>(row[i] - (prior[i] >> 1));
      for (size_t i = bpp; i < bytes; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - ((row[i - bpp] + prior[i]) >> 1));
      }
      return;
    case kPngFilterPaeth:
      for (size_t i = 0; i < bpp && i < bytes; ++i) out[i] = static_cast<uint8_t>(row[i] - prior[i]);
      for (size_t i = bpp; i < bytes; ++i) {
        out[i] = static_cast<uint8_t>(row[i] - Paeth(row[i - bpp], prior[i], prior[i - bpp]));
      }
      return;
    case kPngFilterNone:
    case kPngFilterAdaptive:
      break;
  }
  memcpy(out, row, bytes);
}

// The sum of the bytes taken as signed, in size: the usual measure of a filtered row.
uint64_t SignedSum(const uint8_t* bytes, size_t count) {
  uint64_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum += bytes[i] < 128 ? bytes[i] : 256u - bytes[i];
  return sum;
}

bool Fail(PngEncoder* png, const std::string& reason) {
  FailOutputFile(png->file, reason);
  ReleasePng(png);
  return false;
}

// The signature, the header and the texts: everything before the image's stream.
bool WriteHead(const PngEncoder& png) {
  OutputFile* file = png.file;
  uint8_t header[13];
  PutU32(header, static_cast<uint32_t>(png.width));
  PutU32(header + 4, static_cast<uint32_t>(png.height));
  header[8] = png.pixels == kPngGrey16 ? 16 : 8;
  header[9] = png.pixels == kPngRgb8 ? 2 : 0;  // truecolour or greyscale
  header[10] = 0;  // deflate
  header[11] = 0;  // adaptive filtering, one filter type a row
  header[12] = 0;  // not interlaced
  bool written = WriteOutput(file, kSignature, sizeof kSignature) && WriteChunk(file, "IHDR", header, sizeof header);
  for (const PngText& text : png.texts) {
    if (!written) break;
    std::string data = text.keyword.substr(0, 79);
    data += '\0';
    data += text.text;
    written = WriteChunk(file, "tEXt", reinterpret_cast<const uint8_t*>(data.data()), data.size());
  }
  return written;
}

void CompressBand(PngBands* bands, int64_t band, libdeflate_compressor* compressor) {
  PngBand& slot = bands->slots[static_cast<size_t>(band) % bands->slots.size()];
  slot.output.clear();
  AppendDeflateBand(compressor, slot.input.data(), slot.used, band == bands->count - 1, &slot.output, &slot.scratch);
  slot.adler = libdeflate_adler32(1, slot.input.data(), slot.used);
}

void CompressBands(PngBands* bands) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(1);
  if (compressor == nullptr) return;  // the encoder's own thread does the work
  std::unique_lock<std::mutex> hold(bands->lock);
  for (;;) {
    bands->changed.wait(hold, [bands] { return bands->stopping || bands->claimed < bands->filled; });
    if (bands->stopping) break;
    const int64_t band = bands->claimed++;
    hold.unlock();
    CompressBand(bands, band, compressor);
    hold.lock();
    bands->slots[static_cast<size_t>(band) % bands->slots.size()].done = true;
    bands->changed.notify_all();
  }
  hold.unlock();
  libdeflate_free_compressor(compressor);
}

// Adds bytes of the stream, writing an IDAT whenever one is full.
void AddStream(PngEncoder* png, const uint8_t* bytes, size_t size) {
  std::vector<uint8_t>& stream = png->bands->stream;
  while (size > 0) {
    const size_t take = size < kIdatBytes - stream.size() ? size : kIdatBytes - stream.size();
    stream.insert(stream.end(), bytes, bytes + take);
    bytes += take;
    size -= take;
    if (stream.size() == kIdatBytes) {
      WriteChunk(png->file, "IDAT", stream.data(), stream.size());
      stream.clear();
    }
  }
}

// Writes out the bands done, in order; then, when `wait`, waits for (or compresses) the next one.
void WriteBands(PngEncoder* png, bool wait) {
  PngBands* bands = png->bands;
  for (;;) {
    std::unique_lock<std::mutex> hold(bands->lock);
    PngBand& slot = bands->slots[static_cast<size_t>(bands->written) % bands->slots.size()];
    if (bands->written < bands->filled && !slot.done && wait) {
      if (bands->claimed < bands->filled) {
        const int64_t band = bands->claimed++;
        hold.unlock();
        CompressBand(bands, band, bands->compressor);
        hold.lock();
        bands->slots[static_cast<size_t>(band) % bands->slots.size()].done = true;
        bands->changed.notify_all();
      } else {
        bands->changed.wait(hold, [&slot] { return slot.done; });
      }
      wait = false;
    }
    if (bands->written >= bands->filled || !slot.done) return;
    hold.unlock();
    AddStream(png, slot.output.data(), slot.output.size());
    bands->adler = CombineAdler32(bands->adler, slot.adler, slot.used);
    slot.used = 0;
    slot.done = false;
    ++bands->written;
  }
}

// Hands the band being filled over to the threads, and makes room for the next.
void HandOverBand(PngEncoder* png) {
  PngBands* bands = png->bands;
  {
    std::lock_guard<std::mutex> hold(bands->lock);
    ++bands->filled;
  }
  bands->changed.notify_all();
  WriteBands(png, false);
  while (bands->filled - bands->written >= static_cast<int64_t>(bands->slots.size())) WriteBands(png, true);
}

void AddToBands(PngEncoder* png, const uint8_t* bytes, size_t size) {
  PngBands* bands = png->bands;
  while (size > 0) {
    PngBand& slot = bands->slots[static_cast<size_t>(bands->filled) % bands->slots.size()];
    const size_t take = size < kDeflateBandBytes - slot.used ? size : kDeflateBandBytes - slot.used;
    memcpy(slot.input.data() + slot.used, bytes, take);
    slot.used += take;
    bytes += take;
    size -= take;
    if (slot.used == kDeflateBandBytes) HandOverBand(png);
  }
}

bool BeginBands(PngEncoder* png) {
  PngBands* bands = new PngBands;
  png->bands = bands;
  bands->compressor = libdeflate_alloc_compressor(1);
  if (bands->compressor == nullptr) return false;
  const size_t total = static_cast<size_t>(png->height) * (png->rowBytes + 1);
  bands->count = static_cast<int64_t>((total + kDeflateBandBytes - 1) / kDeflateBandBytes);
  const size_t threads = std::max(1u, std::thread::hardware_concurrency());
  bands->slots.resize(2 * threads + 2);
  for (PngBand& slot : bands->slots) slot.input.resize(kDeflateBandBytes);
  bands->row.resize(png->rowBytes + 1);
  bands->stream.reserve(kIdatBytes);
  const uint8_t zlibHeader[2] = {0x78, 0x01};  // deflate, 32 KiB window, fastest
  bands->stream.assign(zlibHeader, zlibHeader + 2);
  for (size_t i = 0; i < threads; ++i) bands->threads.emplace_back(CompressBands, bands);
  return true;
}

bool FinishBands(PngEncoder* png) {
  PngBands* bands = png->bands;
  if (bands->slots[static_cast<size_t>(bands->filled) % bands->slots.size()].used > 0) HandOverBand(png);
  while (bands->written < bands->count) WriteBands(png, true);
  uint8_t adler[4];
  PutU32(adler, bands->adler);
  AddStream(png, adler, 4);
  if (!bands->stream.empty()) WriteChunk(png->file, "IDAT", bands->stream.data(), bands->stream.size());
  return WriteChunk(png->file, "IEND", nullptr, 0) && !png->file->failed;
}

}  // namespace

bool PngCompressionOfName(const std::string& name, PngCompression* compression) {
  if (name == "fast") *compression = kPngFast;
  else if (name == "default") *compression = kPngDefault;
  else if (name == "small") *compression = kPngSmall;
  else return false;
  return true;
}

bool BeginPng(PngEncoder* png, OutputFile* file, int64_t width, int64_t height, PngPixels pixels,
              const std::vector<PngText>& texts, PngFilter filter, PngCompression compression) {
  ReleasePng(png);
  png->file = file;
  if (width < 1 || height < 1 || width > kMaxPngSide || height > kMaxPngSide) {
    return Fail(png, "a PNG has 1 to 2147483647 pixels a side");
  }
  png->width = width;
  png->height = height;
  png->pixels = pixels;
  png->texts = texts;
  png->filter = filter;
  png->compression = compression;
  png->rowBytes = static_cast<size_t>(width) * static_cast<size_t>(BytesPerPixel(pixels));
  png->previous.assign(png->rowBytes, 0);
  if (filter == kPngFilterAdaptive) png->trial.resize(png->rowBytes);
  png->rowsAdded = 0;
  if (compression == kPngFast) {
    if (!BeginBands(png)) return Fail(png, "out of memory for the PNG encoder");
    return WriteHead(*png);
  }
  png->filteredBytes = static_cast<size_t>(height) * (png->rowBytes + 1);
  png->filtered = static_cast<uint8_t*>(AllocateFieldMemory(png->filteredBytes));
  if (png->filtered == nullptr) return Fail(png, "out of memory for the PNG's rows");
  return true;
}

void AddPngRow(PngEncoder* png, const uint8_t* row) {
  if ((png->filtered == nullptr && png->bands == nullptr) || png->rowsAdded >= png->height) return;
  uint8_t* out = png->bands != nullptr ? png->bands->row.data()
                                       : png->filtered + static_cast<size_t>(png->rowsAdded) * (png->rowBytes + 1);
  const size_t bpp = static_cast<size_t>(BytesPerPixel(png->pixels));
  PngFilter chosen = png->filter;
  if (chosen == kPngFilterAdaptive) {
    uint64_t best = UINT64_MAX;
    for (int f = kPngFilterNone; f <= kPngFilterPaeth; ++f) {
      FilterRow(static_cast<PngFilter>(f), row, png->previous.data(), png->rowBytes, bpp, png->trial.data());
      const uint64_t sum = SignedSum(png->trial.data(), png->rowBytes);
      if (sum < best) {
        best = sum;
        chosen = static_cast<PngFilter>(f);
        memcpy(out + 1, png->trial.data(), png->rowBytes);
      }
    }
  } else {
    FilterRow(chosen, row, png->previous.data(), png->rowBytes, bpp, out + 1);
  }
  out[0] = static_cast<uint8_t>(chosen);
  memcpy(png->previous.data(), row, png->rowBytes);
  ++png->rowsAdded;
  if (png->bands != nullptr) AddToBands(png, out, png->rowBytes + 1);
}

bool FinishPng(PngEncoder* png) {
  if (png->bands != nullptr && png->rowsAdded == png->height) {
    const bool written = FinishBands(png);
    ReleasePng(png);
    return written;
  }
  if (png->filtered == nullptr || png->rowsAdded != png->height) return Fail(png, "the PNG's rows are incomplete");
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(LevelOf(png->compression));
  if (compressor == nullptr) return Fail(png, "out of memory for the PNG encoder");
  const size_t bound = libdeflate_zlib_compress_bound(compressor, png->filteredBytes);
  uint8_t* stream = static_cast<uint8_t*>(AllocateFieldMemory(bound));
  size_t streamBytes = 0;
  if (stream != nullptr) {
    streamBytes = libdeflate_zlib_compress(compressor, png->filtered, png->filteredBytes, stream, bound);
  }
  libdeflate_free_compressor(compressor);
  // The rows are no longer needed: give their memory back before writing.
  ReleaseFieldMemory(png->filtered, png->filteredBytes);
  png->filtered = nullptr;
  if (stream == nullptr || streamBytes == 0) {
    ReleaseFieldMemory(stream, bound);
    return Fail(png, "out of memory for the compressed PNG");
  }

  OutputFile* file = png->file;
  bool written = WriteHead(*png);
  for (size_t at = 0; written && at < streamBytes; at += kIdatBytes) {
    const size_t length = streamBytes - at < kIdatBytes ? streamBytes - at : kIdatBytes;
    written = WriteChunk(file, "IDAT", stream + at, length);
  }
  ReleaseFieldMemory(stream, bound);
  written = written && WriteChunk(file, "IEND", nullptr, 0);
  ReleasePng(png);
  return written && !file->failed;
}

void ReleasePng(PngEncoder* png) {
  if (png->bands != nullptr) {
    {
      std::lock_guard<std::mutex> hold(png->bands->lock);
      png->bands->stopping = true;
    }
    png->bands->changed.notify_all();
    for (std::thread& thread : png->bands->threads) thread.join();
    if (png->bands->compressor != nullptr) libdeflate_free_compressor(png->bands->compressor);
    delete png->bands;
    png->bands = nullptr;
  }
  ReleaseFieldMemory(png->filtered, png->filteredBytes);
  png->filtered = nullptr;
  png->filteredBytes = 0;
  std::vector<uint8_t>().swap(png->previous);
  std::vector<uint8_t>().swap(png->trial);
}

bool WritePng(OutputFile* file, int64_t width, int64_t height, PngPixels pixels,
              const std::vector<PngText>& texts, const PngRowFiller& fillRow, PngFilter filter,
              PngCompression compression) {
  PngEncoder png;
  if (!BeginPng(&png, file, width, height, pixels, texts, filter, compression)) return false;
  std::vector<uint8_t> row(png.rowBytes);
  for (int64_t r = 0; r < height; ++r) {
    if (!fillRow(r, row.data())) return Fail(&png, "cancelled");
    AddPngRow(&png, row.data());
  }
  return FinishPng(&png);
}
