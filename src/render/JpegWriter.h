#pragma once
// Pictures as JPEG files: libjpeg at the encoder's default settings
// (quality 75, 4:2:0 chroma subsampling, baseline Huffman tables).
#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// The JPEG file of an image (any format; 32-bit ARGB is taken as it is).
// Empty when the image is empty or the encoder fails.
std::vector<uint8_t> EncodeJpeg(const QImage& image);
// Writes the picture as a JPEG file through the program's atomic save.
// Throws FileError.
void SaveJpeg(const QImage& image, const std::string& path);
// The same, or a PNG file when the name ends in ".png".
void SavePicture(const QImage& image, const std::string& path);

}  // namespace qm
