// The Qt canvas (clipping, the anti-aliased point, text) and the picture
// files (JPEG at the encoder's defaults, PNG, the atomic save).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <filesystem>
#include <set>

#include "common/Files.h"
#include "render/JpegWriter.h"
#include "render/QtCanvas.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// Offset of the first marker `m` (0xFF m) after the start of image, or 0.
size_t Marker(const std::vector<uint8_t>& j, uint8_t m) {
    for (size_t i = 2; i + 3 < j.size();) {
        if (j[i] != 0xFF) return 0;
        if (j[i + 1] == m) return i;
        i += 2 + (static_cast<size_t>(j[i + 2]) << 8 | j[i + 3]);
    }
    return 0;
}

TEST(Jpeg, DefaultSettingsQuality75And420) {
    QImage img(64, 48, QImage::Format_ARGB32);
    img.fill(0xFF204080);
    const std::vector<uint8_t> j = EncodeJpeg(img);
    ASSERT_GT(j.size(), 100u);
    EXPECT_EQ(j[0], 0xFF);
    EXPECT_EQ(j[1], 0xD8);
    // Quality 75 halves the standard tables: luminance DC 16 -> 8, chrominance 17 -> 9.
    const size_t dqt = Marker(j, 0xDB);
    ASSERT_NE(dqt, 0u);
    EXPECT_EQ(j[dqt + 4], 0x00);  // table 0, 8-bit
    EXPECT_EQ(j[dqt + 5], 8);
    const size_t next = dqt + 2 + (static_cast<size_t>(j[dqt + 2]) << 8 | j[dqt + 3]);
    const size_t chroma = j[next + 1] == 0xDB ? next + 4 : dqt + 4 + 65;  // own segment or not
    EXPECT_EQ(j[chroma], 0x01);
    EXPECT_EQ(j[chroma + 1], 9);
    const size_t sof = Marker(j, 0xC0);  // baseline
    ASSERT_NE(sof, 0u);
    EXPECT_EQ(j[sof + 9], 3);      // three components
    EXPECT_EQ(j[sof + 11], 0x22);  // Y 2x2: chroma at half size both ways
    EXPECT_EQ(j[sof + 14], 0x11);
    EXPECT_EQ(j[sof + 17], 0x11);
    const QImage back = QImage::fromData(j.data(), static_cast<int>(j.size()), "JPG");
    ASSERT_EQ(back.size(), img.size());
    const QColor c = back.pixelColor(30, 20);
    EXPECT_NEAR(c.red(), 0x20, 3);
    EXPECT_NEAR(c.green(), 0x40, 3);
    EXPECT_NEAR(c.blue(), 0x80, 3);
    EXPECT_TRUE(EncodeJpeg(QImage()).empty());
}

TEST(Jpeg, SavedThroughTheAtomicSaveOrNotAtAll) {
    const fs::path dir = fs::temp_directory_path() / "qm-render-test";
    fs::create_directories(dir);
    QImage img(10, 10, QImage::Format_ARGB32);
    img.fill(0xFFFF0000);
    SavePicture(img, (dir / "Defects.jpg").string());
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(ReadFileBytes((dir / "Defects.jpg").string(), bytes, error));
    EXPECT_EQ(bytes, EncodeJpeg(img));
    SavePicture(img, (dir / "map.PNG").string());
    EXPECT_EQ(QImage((dir / "map.PNG").c_str()).pixel(3, 3), 0xFFFF0000u);
    EXPECT_THROW(SavePicture(img, (dir / "no" / "such" / "x.jpg").string()), FileError);
    EXPECT_FALSE(fs::exists(dir / "no"));
    fs::remove_all(dir);
}

TEST(QtCanvas, PointsGoStraightIntoThePixelsAndLinesClip) {
    QtCanvas c(20, 10);
    c.Fill(0xFF000000);
    QImage expect = c.Image().copy();
    c.PointAA(3.25, 4.5, 0xFF00FF00);
    c.PointAA(-7, 1e300, 0xFFFFFFFF);
    BlendPointAA(reinterpret_cast<Argb*>(expect.bits()), 20, 10, 20, 3.25, 4.5, 0xFF00FF00);
    EXPECT_EQ(c.Image(), expect);

    c.SetPenColor(0xFFFF0000);
    c.MoveTo(-2000000000, 5);
    c.LineTo(2000000000, 5);
    c.MoveToF(std::nan(""), 1);
    c.LineToF(5, 1);
    c.MoveToF(-1e300, -1e300);
    c.LineToF(1e300, -1e300);  // far off, nothing to draw
    c.MoveToF(-1e6, -1e6);
    c.LineToF(1e6, 1e6);  // the diagonal through the bitmap
    const QImage& img = c.Image();
    for (int x = 0; x < 20; ++x) EXPECT_EQ(img.pixel(x, 5), 0xFFFF0000u) << x;
    EXPECT_EQ(img.pixel(2, 2), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(0, 1), 0xFF000000u);  // the line from NaN drew nothing
}

TEST(QtCanvas, TextIsDrawnInItsColourWithoutAntialiasing) {
    QtCanvas c(120, 40);
    c.Fill(0xFF000000);
    c.TextOut(60, 5, "Head 3", 0xFF7F007F);
    c.TextOut(-500, 5, "far off", 0xFFFFFFFF);
    std::set<QRgb> colors;
    int left = 120, top = 40;
    const QImage& img = c.Image();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) {
            colors.insert(img.pixel(x, y));
            if (img.pixel(x, y) != 0xFF000000u) left = std::min(left, x), top = std::min(top, y);
        }
    EXPECT_EQ(colors, (std::set<QRgb>{0xFF000000u, 0xFF7F007Fu}));
    EXPECT_GE(left, 60);
    EXPECT_GE(top, 5);
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
