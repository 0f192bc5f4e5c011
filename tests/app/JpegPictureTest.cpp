#include "app/JpegPicture.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include <jpeglib.h>

namespace {

const QString LogoPath = QStringLiteral(":/pictures/logo.jpg");

QByteArray readLogo()
{
    QFile file(LogoPath);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << "the logo is not among the compiled-in resources";
    return file.readAll();
}

struct FrameHeader {
    int marker = 0; // 0xC0 baseline, 0xC2 progressive, ...
    qsizetype offset = 0; // of the segment's length field
    int height = 0;
    int width = 0;
    int components = 0;
};

// The start-of-frame segment, read straight from the bytes so the check does
// not depend on the decoder under test.
std::optional<FrameHeader> frameHeader(const QByteArray& jpeg)
{
    auto byte = [&](qsizetype i) { return int(static_cast<unsigned char>(jpeg[i])); };
    qsizetype i = 2;
    while (i + 4 <= jpeg.size() && byte(i) == 0xFF) {
        const int marker = byte(i + 1);
        const int length = byte(i + 2) << 8 | byte(i + 3);
        const bool isFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (isFrame && i + 10 <= jpeg.size())
            return FrameHeader { marker, i + 2, byte(i + 5) << 8 | byte(i + 6), byte(i + 7) << 8 | byte(i + 8), byte(i + 9) };
        if (marker == 0xDA) break;
        i += 2 + length;
    }
    return std::nullopt;
}

QByteArray encodeJpeg(const QImage& source, bool progressive)
{
    jpeg_compress_struct cinfo {};
    jpeg_error_mgr err {};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    const bool grey = source.format() == QImage::Format_Grayscale8;
    cinfo.image_width = JDIMENSION(source.width());
    cinfo.image_height = JDIMENSION(source.height());
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uchar*>(source.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray result(reinterpret_cast<const char*>(out), qsizetype(size));
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return result;
}

// Two flat halves, each a whole number of coding blocks wide, so that the
// compressed picture comes back very close to its source.
QImage twoHalves(QImage::Format format, QRgb left, QRgb right)
{
    QImage image(32, 16, format);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, x < 16 ? left : right);
    return image;
}

bool near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= 8 && std::abs(qGreen(a) - qGreen(b)) <= 8 && std::abs(qBlue(a) - qBlue(b)) <= 8;
}

} // namespace

TEST(JpegPicture, StoredLogoIsABaselineColourPictureOf435By309)
{
    const QByteArray bytes = readLogo();
    const auto frame = frameHeader(bytes);
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->marker, 0xC0) << "not a baseline frame";
    EXPECT_EQ(frame->width, 435);
    EXPECT_EQ(frame->height, 309);
    EXPECT_EQ(frame->components, 3);

    const JpegPicture logo = JpegPicture::fromFile(LogoPath);
    ASSERT_FALSE(logo.isNull()) << logo.errorString().toStdString();
    EXPECT_TRUE(logo.errorString().isEmpty());
    EXPECT_EQ(logo.image().size(), QSize(435, 309));
    EXPECT_EQ(logo.image().format(), QImage::Format_RGB888);
    EXPECT_EQ(logo.components(), 3);
    EXPECT_FALSE(logo.isProgressive());
    // The sky at the top is dark blue and the card round it white.
    const QRgb sky = logo.image().pixel(60, 30);
    EXPECT_GT(qBlue(sky), qRed(sky) + 30);
    EXPECT_TRUE(near(logo.image().pixel(0, 308), qRgb(255, 255, 255)));
}

TEST(JpegPicture, DecodesGreyAndColourInBothBaselineAndProgressiveOrder)
{
    const struct {
        const char* name;
        QImage source;
        bool progressive;
        QImage::Format format;
        int components;
    } cases[] = {
        { "grey baseline", twoHalves(QImage::Format_Grayscale8, qRgb(40, 40, 40), qRgb(200, 200, 200)), false,
            QImage::Format_Grayscale8, 1 },
        { "grey progressive", twoHalves(QImage::Format_Grayscale8, qRgb(40, 40, 40), qRgb(200, 200, 200)), true,
            QImage::Format_Grayscale8, 1 },
        { "colour baseline", twoHalves(QImage::Format_RGB888, qRgb(200, 30, 40), qRgb(20, 60, 220)), false,
            QImage::Format_RGB888, 3 },
        { "colour progressive", twoHalves(QImage::Format_RGB888, qRgb(200, 30, 40), qRgb(20, 60, 220)), true,
            QImage::Format_RGB888, 3 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const JpegPicture picture = JpegPicture::fromData(encodeJpeg(c.source, c.progressive));
        ASSERT_FALSE(picture.isNull()) << picture.errorString().toStdString();
        EXPECT_EQ(picture.image().size(), c.source.size());
        EXPECT_EQ(picture.image().format(), c.format);
        EXPECT_EQ(picture.components(), c.components);
        EXPECT_EQ(picture.isProgressive(), c.progressive);
        for (const QPoint p : { QPoint(4, 8), QPoint(27, 3) })
            EXPECT_TRUE(near(picture.image().pixel(p), c.source.pixel(p))) << "at " << p.x() << "," << p.y();
    }
}

TEST(JpegPicture, DamagedOrForeignDataGivesAnErrorInsteadOfAPicture)
{
    const QByteArray logo = readLogo();
    ASSERT_GT(logo.size(), 10000);
    QByteArray endMarkerInside = logo;
    endMarkerInside[logo.size() / 2] = '\xFF';
    endMarkerInside[logo.size() / 2 + 1] = '\xD9';

    const struct {
        const char* name;
        QByteArray data;
    } cases[] = {
        { "nothing", QByteArray() },
        { "text", QByteArray("this is not a picture") },
        { "start marker, then noise", QByteArray("\xFF\xD8") + QByteArray(300, '\x5A') },
        { "cut inside the headers", logo.left(300) },
        { "cut halfway through the picture data", logo.left(logo.size() / 2) },
        { "end marker in the middle of the picture data", endMarkerInside },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const JpegPicture picture = JpegPicture::fromData(c.data);
        EXPECT_TRUE(picture.isNull());
        EXPECT_FALSE(picture.errorString().isEmpty());
    }
}

TEST(JpegPicture, HeaderClaimingAHugePictureIsRefusedBeforeAnythingIsReserved)
{
    QByteArray bytes = readLogo();
    const auto frame = frameHeader(bytes);
    ASSERT_TRUE(frame.has_value());
    // 65000 x 65000 colour pixels would take about 12 GB.
    for (qsizetype i : { frame->offset + 3, frame->offset + 5 }) {
        bytes[i] = '\xFD';
        bytes[i + 1] = '\xE8';
    }
    const JpegPicture picture = JpegPicture::fromData(bytes);
    EXPECT_TRUE(picture.isNull());
    EXPECT_TRUE(picture.errorString().contains(QStringLiteral("too large"))) << picture.errorString().toStdString();
}
