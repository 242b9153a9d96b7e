// Writing a PNG row by row through libspng, with text chunks, without holding the image.
#include "export/png_writer.h"

#include <spng.h>

#include <cstring>

#include "export/output_file.h"

static int WriteToOutput(spng_ctx*, void* user, void* data, size_t length) {
  OutputFile* file = static_cast<OutputFile*>(user);
  return WriteOutput(file, data, length) ? 0 : SPNG_IO_ERROR;
}

static int BytesPerPixel(PngPixels pixels) {
  switch (pixels) {
    case kPngGrey16: return 2;
    case kPngGrey8: return 1;
    case kPngRgb8: return 3;
  }
  return 1;
}

static bool Fail(OutputFile* file, spng_ctx* context, int error) {
  if (!file->failed) FailOutputFile(file, std::string("PNG encoder: ") + spng_strerror(error));
  spng_ctx_free(context);
  return false;
}

bool WritePng(OutputFile* file, int64_t width, int64_t height, PngPixels pixels,
              const std::vector<PngText>& texts, const PngRowFiller& fillRow) {
  if (width < 1 || height < 1 || width > kMaxPngSide || height > kMaxPngSide) {
    FailOutputFile(file, "a PNG has 1 to 2147483647 pixels a side");
    return false;
  }
  spng_ctx* context = spng_ctx_new(SPNG_CTX_ENCODER);
  if (context == nullptr) {
    FailOutputFile(file, "out of memory for the PNG encoder");
    return false;
  }
  int error = spng_set_png_stream(context, WriteToOutput, file);
  if (error != 0) return Fail(file, context, error);

  spng_ihdr header = {};
  header.width = static_cast<uint32_t>(width);
  header.height = static_cast<uint32_t>(height);
  header.bit_depth = pixels == kPngGrey16 ? 16 : 8;
  header.color_type = pixels == kPngRgb8 ? SPNG_COLOR_TYPE_TRUECOLOR : SPNG_COLOR_TYPE_GRAYSCALE;
  error = spng_set_ihdr(context, &header);
  if (error != 0) return Fail(file, context, error);

  if (!texts.empty()) {
    std::vector<spng_text> chunks(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
      spng_text& chunk = chunks[i];
      memset(&chunk, 0, sizeof chunk);
      strncpy(chunk.keyword, texts[i].keyword.c_str(), sizeof chunk.keyword - 1);
      chunk.type = SPNG_TEXT;
      chunk.length = texts[i].text.size();
      chunk.text = const_cast<char*>(texts[i].text.c_str());
    }
    error = spng_set_text(context, chunks.data(), static_cast<uint32_t>(chunks.size()));
    if (error != 0) return Fail(file, context, error);
  }

  error = spng_encode_image(context, nullptr, 0, SPNG_FMT_RAW, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
  if (error != 0) return Fail(file, context, error);
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(BytesPerPixel(pixels));
  std::vector<uint8_t> row(rowBytes);
  for (int64_t r = 0; r < height; ++r) {
    if (!fillRow(r, row.data())) {
      FailOutputFile(file, "cancelled");
      spng_ctx_free(context);
      return false;
    }
    error = spng_encode_row(context, row.data(), rowBytes);
    if (error != 0 && !(error == SPNG_EOI && r == height - 1)) return Fail(file, context, error);
  }
  spng_ctx_free(context);
  return !file->failed;
}
