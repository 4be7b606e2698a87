#include "display/png.hpp"

#include <png.h>

#include <cctype>
#include <cstring>
#include <memory>

namespace tav {
namespace {

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// libpng reports errors by longjmp unless its handler throws; a C++
// exception through libpng's C frames is not safe, so the handler jumps and
// PngBytes turns the jump into EWriteError.
void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

}  // namespace

std::vector<uint8_t> PngBytes(const TDIB& bitmap) {
  if (bitmap.Empty()) return {};
  if (bitmap.BitCount() != 24) {
    throw EInvalidGraphicOperation("Bitcount in invalid (" + std::to_string(bitmap.BitCount()) +
                                   ")");
  }
  const int w = bitmap.Width(), h = bitmap.Height();
  const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
  std::vector<uint8_t> out;
  // Built before the jump point so that no destructor is skipped by a jump.
  std::vector<uint8_t> row(rowBytes);

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (!png) throw EWriteError("Stream write error");
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw EWriteError("Stream write error");
  }
  png_set_write_fn(png, &out, AppendToVector, NoFlush);
  // Wallpapers reach 100 MB of pixels: a fast zlib level and one fixed
  // filter encode 1600 x 1200 in about 70 ms, for a file about a third larger
  // than the slowest settings give.
  png_set_compression_level(png, 3);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) {
    // The bitmap holds blue, green, red; PNG wants red, green, blue.
    const uint8_t* in = bitmap.ScanLineRead(y);
    for (std::size_t i = 0; i < rowBytes; i += 3) {
      row[i] = in[i + 2];
      row[i + 1] = in[i + 1];
      row[i + 2] = in[i];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

void SavePngToFile(const TDIB& bitmap, const std::string& fileName) {
  if (bitmap.Empty()) return;
  const std::vector<uint8_t> bytes = PngBytes(bitmap);
  WriteFileAtomically(fileName, bytes.data(), bytes.size());
}

std::optional<ImageFileType> ImageFileTypeOf(std::string_view fileName) {
  if (fileName.size() < 4) return std::nullopt;
  std::string ext(fileName.substr(fileName.size() - 4));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".bmp") return ImageFileType::Bitmap;
  if (ext == ".png") return ImageFileType::Png;
  return std::nullopt;
}

void SaveImageFile(const TDIB& bitmap, const std::string& fileName, ImageFileType type) {
  if (type == ImageFileType::Png) {
    SavePngToFile(bitmap, fileName);
  } else {
    bitmap.SaveToFile(fileName);
  }
}

}  // namespace tav
