#include "render/JpegWriter.h"

#include <QBuffer>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include "common/Files.h"
#include "common/Format.h"

extern "C" {
#include <jpeglib.h>
}

namespace qm {
namespace {

// libjpeg ends the program on an error unless told otherwise: jump back.
struct ErrorJump {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

void Silence(j_common_ptr, int) {}

// Runs the encoder; no C++ object with a destructor lives in this frame,
// so the error jump skips nothing.
bool Encode(const uchar* bits, int width, int height, qsizetype stride, unsigned char** out,
            unsigned long* outSize) {
    jpeg_compress_struct info;
    ErrorJump error;
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = OnJpegError;
    error.mgr.emit_message = Silence;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, outSize);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 4;
    // 32-bit ARGB words: B, G, R, A in memory on little-endian machines.
    info.in_color_space = std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bits + stride * info.next_scanline);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeJpeg(const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return {};
    const bool direct =
        image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32;
    const QImage source = direct ? image : image.convertToFormat(QImage::Format_RGB32);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const bool ok = Encode(source.constBits(), source.width(), source.height(),
                           source.bytesPerLine(), &out, &size);
    std::vector<uint8_t> bytes;
    if (ok && out) bytes.assign(out, out + size);
    std::free(out);
    return bytes;
}

void SaveJpeg(const QImage& image, const std::string& path) {
    const std::vector<uint8_t> bytes = EncodeJpeg(image);
    if (bytes.empty()) throw FileError(path + ": the picture could not be encoded");
    WriteFileAtomicOrThrow(path, bytes);
}

void SavePicture(const QImage& image, const std::string& path) {
    const bool png = path.size() >= 4 && EqualsNoCase(path.substr(path.size() - 4), ".png");
    if (!png) return SaveJpeg(image, path);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG") || data.isEmpty())
        throw FileError(path + ": the picture could not be encoded");
    WriteFileAtomicOrThrow(path, std::vector<uint8_t>(data.begin(), data.end()));
}

}  // namespace qm
