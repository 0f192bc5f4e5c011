#include "app/JpegPicture.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

// libjpeg's own error handler prints and calls exit(). Ours formats the message
// and jumps back to the decoding routine, which then gives up cleanly.
struct ErrorManager {
    jpeg_error_mgr pub; // first, so libjpeg's pointer to it is a pointer to us
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void failDecoding(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Level -1 is libjpeg's warning that the data is corrupt or ends early and that
// it is filling in the gap; anything it would draw from there on is invented.
// The other levels are advice and tracing, which we do not show.
void onMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) failDecoding(cinfo);
}

struct Decoder {
    jpeg_decompress_struct cinfo {};
    ErrorManager err {};
    QImage image;
};

[[noreturn]] void reject(Decoder& d, const char* why)
{
    std::snprintf(d.err.message, sizeof d.err.message, "%s", why);
    std::longjmp(d.err.jump, 1);
}

// Every call that can jump back to the setjmp below works on state owned by the
// caller, and this frame holds nothing with a destructor, so a jump skips no
// clean-up and leaves nothing half-built behind it.
bool decode(Decoder& d, const unsigned char* data, unsigned long size)
{
    if (setjmp(d.err.jump) != 0) return false;

    jpeg_create_decompress(&d.cinfo);
    jpeg_mem_src(&d.cinfo, data, size);
    jpeg_read_header(&d.cinfo, TRUE);

    QImage::Format format;
    switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        d.cinfo.out_color_space = JCS_GRAYSCALE;
        format = QImage::Format_Grayscale8;
        break;
    case JCS_YCbCr:
    case JCS_RGB:
        d.cinfo.out_color_space = JCS_RGB;
        format = QImage::Format_RGB888;
        break;
    default:
        reject(d, "Unsupported JPEG colour space (only grey and colour pictures are read)");
    }

    const qsizetype bytes = qsizetype(d.cinfo.image_width) * d.cinfo.image_height
        * (format == QImage::Format_Grayscale8 ? 1 : 3);
    if (bytes > JpegPicture::MaxDecodedBytes) reject(d, "JPEG picture too large");

    jpeg_start_decompress(&d.cinfo);
    d.image = QImage(int(d.cinfo.output_width), int(d.cinfo.output_height), format);
    if (d.image.isNull()) reject(d, "Not enough memory for the JPEG picture");

    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW row = d.image.scanLine(int(d.cinfo.output_scanline));
        if (jpeg_read_scanlines(&d.cinfo, &row, 1) != 1) reject(d, "JPEG data ended early");
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

} // namespace

JpegPicture JpegPicture::fromData(QByteArrayView data)
{
    Decoder d;
    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = failDecoding;
    d.err.pub.emit_message = onMessage;

    JpegPicture picture;
    if (decode(d, reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned long>(data.size()))) {
        picture.image_ = std::move(d.image);
        picture.components_ = d.cinfo.num_components;
        picture.progressive_ = d.cinfo.progressive_mode;
    } else {
        picture.error_ = QString::fromLocal8Bit(d.err.message);
    }
    jpeg_destroy_decompress(&d.cinfo);
    return picture;
}

JpegPicture JpegPicture::fromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        JpegPicture picture;
        picture.error_ = path + QStringLiteral(": ") + file.errorString();
        return picture;
    }
    JpegPicture picture = fromData(file.readAll());
    if (picture.isNull()) picture.error_ = path + QStringLiteral(": ") + picture.error_;
    return picture;
}
