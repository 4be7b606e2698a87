#pragma once
// PNG files of a 24-bit TDIB (8-bit RGB, no alpha), packed with zlib.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/dib.hpp"

namespace tav {

// The PNG file image of a 24-bit bitmap, top row first as PNG stores it.
// Raises EInvalidGraphicOperation for another bit count and EWriteError when
// zlib fails. The rows are packed in bands (up to 8, by the picture's size)
// side by side on every processor; the bytes depend on the picture only.
std::vector<uint8_t> PngBytes(const TDIB& bitmap);
// The same in `bands` bands of whole rows (clamped to 1 .. the height): the
// pixels do not depend on the count.
std::vector<uint8_t> PngBytes(const TDIB& bitmap, int bands);

// Writes the bitmap as a PNG file, complete or not at all, as SaveToFile
// writes a BMP. An empty bitmap writes nothing.
void SavePngToFile(const TDIB& bitmap, const std::string& fileName);

// The two file types a wallpaper is saved in.
enum class ImageFileType { Bitmap, Png };
// The type a name asks for by its extension, ".bmp" or ".png" in any case;
// nullopt for any other name.
std::optional<ImageFileType> ImageFileTypeOf(std::string_view fileName);
// SaveToFile or SavePngToFile.
void SaveImageFile(const TDIB& bitmap, const std::string& fileName, ImageFileType type);

}  // namespace tav
