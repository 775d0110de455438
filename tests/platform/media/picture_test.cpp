// Picture decoding: BMP files from our own encoder and GIF, JPEG, PNG and TGA files made by
// ffmpeg, decoded and compared pixel by pixel with what went in; damaged and hostile bytes
// fail cleanly.
#include "platform/media/picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "platform/media/mediatestsupport.h"

namespace recfilereader {
namespace {

using Bgra = std::array<std::uint8_t, 4>;
using Bytes = std::vector<std::uint8_t>;
using mediatest::BmpSpec;
using mediatest::EncodeBmp;
using mediatest::TestColor;

constexpr auto kBmp = static_cast<std::uint32_t>(PictureFormat::kBmp);
constexpr auto kGif = static_cast<std::uint32_t>(PictureFormat::kGif);
constexpr auto kJpg = static_cast<std::uint32_t>(PictureFormat::kJpg);
constexpr auto kPng = static_cast<std::uint32_t>(PictureFormat::kPng);
constexpr auto kTga = static_cast<std::uint32_t>(PictureFormat::kTga);

// Pixel (x, y), y counted from the top, as blue, green, red, alpha (255 without alpha).
Bgra PixelAt(const Picture& picture, std::uint32_t x, std::uint32_t y) {
  const auto row = picture.row(picture.height() - 1 - y);
  const std::uint16_t bpp = picture.bits_per_pixel();
  if (bpp <= 8) {
    const std::uint32_t bit = x * bpp;
    const int shift = 8 - bpp - static_cast<int>(bit % 8);
    const std::uint32_t index = (row[bit / 8] >> shift) & ((1u << bpp) - 1);
    const RgbQuad c = picture.palette()[index];
    return {c.blue, c.green, c.red, 255};
  }
  const std::uint8_t* p = row.data() + x * (bpp / 8);
  return {p[0], p[1], p[2], bpp == 32 ? p[3] : std::uint8_t{255}};
}

// A picture given top-down as one colour per pixel.
struct Logical { std::uint32_t width; std::uint32_t height; std::function<Bgra(std::uint32_t, std::uint32_t)> color; };

void ExpectPixels(const Picture& picture, const Logical& expected, int tolerance = 0) {
  ASSERT_EQ(picture.width(), expected.width);
  ASSERT_EQ(picture.height(), expected.height);
  int worst = 0;
  for (std::uint32_t y = 0; y < expected.height; ++y) {
    for (std::uint32_t x = 0; x < expected.width; ++x) {
      const Bgra got = PixelAt(picture, x, y);
      const Bgra want = expected.color(x, y);
      for (int c = 0; c < 4; ++c) worst = std::max(worst, std::abs(got[c] - want[c]));
      if (worst > tolerance) FAIL() << "pixel " << x << "," << y << " channel differs by " << worst;
    }
  }
}

// Stored BMP rows (bottom-up unless top_down, each padded to four bytes) of `value`: a palette
// index for depths below 8, otherwise little-endian pixel bytes.
std::vector<std::uint8_t> PackRows(std::uint32_t width, std::uint32_t height, std::uint16_t bpp, bool top_down,
                                   const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& value) {
  const std::size_t stride = (width * bpp + 31) / 32 * 4;
  std::vector<std::uint8_t> out(stride * height);
  for (std::uint32_t r = 0; r < height; ++r) {
    const std::uint32_t y = top_down ? r : height - 1 - r;
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t v = value(x, y), bit = x * bpp;
      if (bpp < 8) out[r * stride + bit / 8] |= static_cast<std::uint8_t>(v << (8 - bpp - bit % 8));
      for (int b = 0; b < bpp / 8; ++b) out[r * stride + bit / 8 + b] = static_cast<std::uint8_t>(v >> (8 * b));
    }
  }
  return out;
}

Bgra Opaque(std::array<std::uint8_t, 3> c) { return {c[0], c[1], c[2], 255}; }
Bgra OpaqueColor(std::uint32_t x, std::uint32_t y) { return Opaque(TestColor(x, y)); }
Bgra TranslucentColor(std::uint32_t x, std::uint32_t y) {
  return {TestColor(x, y)[0], TestColor(x, y)[1], TestColor(x, y)[2], static_cast<std::uint8_t>(255 - 20 * x)};
}

TEST(DecodeBmp, DepthsAndHeadersAsWindowsStoresThem) {
  struct Case {
    const char* name;
    BmpSpec spec;
    Logical expected;
    std::uint16_t decoded_bpp;
    int tolerance;
  };
  std::vector<std::array<std::uint8_t, 3>> palette(256);
  for (std::size_t i = 0; i < palette.size(); ++i)
    palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 5), static_cast<std::uint8_t>(255 - i)};
  // Only `colors` palette entries are stored; the decoder must blacken the rest.
  auto indexed = [&](const char* name, std::uint32_t w, std::uint32_t h, std::uint16_t bpp, std::uint32_t colors,
                     bool top_down, std::uint32_t header_size) {
    auto index = [colors](std::uint32_t x, std::uint32_t y) { return (x * 3 + y) % colors; };
    BmpSpec spec{static_cast<std::int32_t>(w), top_down ? -static_cast<std::int32_t>(h) : static_cast<std::int32_t>(h),
                 bpp, 0, header_size, {palette.begin(), palette.begin() + colors}, {}, PackRows(w, h, bpp, top_down, index)};
    return Case{name, spec, {w, h, [=](std::uint32_t x, std::uint32_t y) { return Opaque(palette[index(x, y)]); }}, bpp, 0};
  };
  auto direct = [](const char* name, std::uint16_t bpp, std::uint32_t compression, std::uint32_t header_size,
                   std::array<std::uint32_t, 4> masks, std::function<Bgra(std::uint32_t, std::uint32_t)> color,
                   std::function<std::uint32_t(Bgra)> pack, std::uint16_t decoded_bpp, int tolerance) {
    BmpSpec spec{9, 5, bpp, compression, header_size, {}, masks,
                 PackRows(9, 5, bpp, false, [&](std::uint32_t x, std::uint32_t y) { return pack(color(x, y)); })};
    return Case{name, spec, {9, 5, color}, decoded_bpp, tolerance};
  };

  auto bgra = [](Bgra c) {
    return std::uint32_t{c[0]} | std::uint32_t{c[1]} << 8 | std::uint32_t{c[2]} << 16 | std::uint32_t{c[3]} << 24;
  };
  auto bgrx = [bgra](Bgra c) { return bgra(c) & 0xFFFFFF; };
  auto rgb555 = [](Bgra c) { return std::uint32_t(c[2] >> 3) << 10 | std::uint32_t(c[1] >> 3) << 5 | std::uint32_t(c[0] >> 3); };
  auto rgb565 = [](Bgra c) { return std::uint32_t(c[2] >> 3) << 11 | std::uint32_t(c[1] >> 2) << 5 | std::uint32_t(c[0] >> 3); };

  const Case cases[] = {
      indexed("1 bpp, 13 wide", 13, 3, 1, 2, false, 40),
      indexed("4 bpp, 3 of 16 colours stored", 5, 4, 4, 3, false, 40),
      indexed("8 bpp, top-down", 7, 6, 8, 256, true, 40),
      indexed("8 bpp, core header", 7, 2, 8, 256, false, 12),
      indexed("8 bpp, version 5 header, 200 colours stored", 3, 3, 8, 200, false, 124),
      direct("24 bpp, 9 wide", 24, 0, 40, {}, OpaqueColor, bgrx, 24, 0),
      direct("32 bpp plain: the fourth byte is unused", 32, 0, 40, {}, OpaqueColor, bgrx, 24, 0),
      direct("32 bpp bit fields with alpha", 32, 3, 56, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, TranslucentColor, bgra, 32, 0),
      direct("16 bpp plain 5-5-5", 16, 0, 40, {}, OpaqueColor, rgb555, 24, 9),
      direct("16 bpp bit fields 5-6-5 after the header", 16, 3, 40, {0xF800, 0x07E0, 0x001F, 0}, OpaqueColor, rgb565, 24, 9),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto picture = DecodePicture(kBmp, EncodeBmp(c.spec));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->bits_per_pixel(), c.decoded_bpp);
    EXPECT_EQ(picture->effective_width(), (c.expected.width * c.decoded_bpp + 31) / 32 * 4);
    EXPECT_EQ(picture->InfoHeader().biSizeImage, picture->effective_width() * c.expected.height);
    ExpectPixels(*picture, c.expected, c.tolerance);
    if (c.decoded_bpp > 8) continue;
    ASSERT_EQ(picture->palette().size(), 1u << c.decoded_bpp);
    EXPECT_EQ(picture->InfoHeader().biClrUsed, 1u << c.decoded_bpp);
    for (std::size_t i = c.spec.palette.size(); i < picture->palette().size(); ++i)
      EXPECT_EQ(picture->palette()[i].red | picture->palette()[i].green | picture->palette()[i].blue, 0) << i;
  }
}

// Pictures made by ffmpeg from raw pixels we chose, whole and cut at every byte.
class DecodeByPeer : public mediatest::PeerTest {
 protected:
  // Encodes `picture` (given as raw `pix_fmt` pixels) to `file_name`; its bytes.
  std::vector<std::uint8_t> Make(const Logical& picture, const std::string& pix_fmt, const std::string& file_name,
                                 const std::string& options) {
    std::vector<std::uint8_t> raw;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
      for (std::uint32_t x = 0; x < picture.width; ++x) {
        const Bgra c = picture.color(x, y);
        if (pix_fmt == "gray") {
          raw.push_back(c[0]);
        } else {
          raw.insert(raw.end(), c.begin(), c.begin() + (pix_fmt == "bgra" ? 4 : 3));
        }
      }
    }
    rectest::WriteFileBytes(dir_ / "in.raw", raw);
    const std::string size = std::to_string(picture.width) + "x" + std::to_string(picture.height);
    const auto out = dir_ / file_name;
    const auto result = mediatest::RunCapture("ffmpeg -v error -y -f rawvideo -pix_fmt " + pix_fmt + " -s " + size +
                                              " -i '" + (dir_ / "in.raw").string() + "' " + options +
                                              " -frames:v 1 '" + out.string() + "'");
    EXPECT_TRUE(result) << file_name;
    return rectest::ReadFileBytes(out);
  }
};

TEST_F(DecodeByPeer, EachFormatComesBackAsItWent) {
  const Logical opaque{13, 7, OpaqueColor}, translucent{13, 7, TranslucentColor};
  const Logical grey{13, 7, [](std::uint32_t x, std::uint32_t y) {
                       const auto g = static_cast<std::uint8_t>(17 * x + 3 * y);
                       return Bgra{g, g, g, 255};
                     }};
  struct Case {
    const char* name;
    const Logical& picture;
    const char* pix_fmt;
    const char* file_name;
    const char* options;
    std::uint32_t code;
    std::uint16_t bpp;
    int tolerance;
  };
  const Case cases[] = {
      {"PNG", opaque, "bgr24", "p.png", "", kPng, 24, 0},
      {"PNG with alpha", translucent, "bgra", "a.png", "", kPng, 32, 0},
      {"PNG grey", grey, "gray", "g.png", "", kPng, 24, 0},
      {"TGA run-length", opaque, "bgr24", "t.tga", "", kTga, 24, 0},
      {"TGA with alpha", translucent, "bgra", "a.tga", "", kTga, 32, 0},
      {"GIF grey", grey, "gray", "g.gif", "", kGif, 24, 0},
      {"JPEG", opaque, "bgr24", "j.jpg", "-pix_fmt yuvj444p -q:v 2", kJpg, 24, 12},
      {"PNG labelled as BMP: the signature wins", opaque, "bgr24", "l.png", "", kBmp, 24, 0},
      {"PNG labelled unknown", opaque, "bgr24", "u.png", "", 0, 24, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = Make(c.picture, c.pix_fmt, c.file_name, c.options);
    const auto picture = DecodePicture(c.code, bytes);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->bits_per_pixel(), c.bpp);
    ExpectPixels(*picture, c.picture, c.tolerance);
    // Every truncation fails cleanly; some decoders show what arrived, in the right shape.
    for (std::size_t size = 0; size < bytes.size(); ++size) {
      const auto cut = DecodePicture(c.code, std::span(bytes.data(), size));
      EXPECT_TRUE(!cut || (cut->width() == 13 && cut->height() == 7)) << size;
    }
  }
}

TEST(DecodePicturePayload, CodeComesFirstLittleEndian) {
  const auto bmp = EncodeBmp(BmpSpec{1, 1, 24, 0, 40, {}, {}, {1, 2, 3, 0}});
  std::vector<std::uint8_t> payload = {1, 0, 0, 0};
  payload.insert(payload.end(), bmp.begin(), bmp.end());
  const auto picture = DecodePicturePayload(payload);
  ASSERT_TRUE(picture);
  EXPECT_EQ(PixelAt(*picture, 0, 0), (Bgra{1, 2, 3, 255}));
  EXPECT_FALSE(DecodePicturePayload(std::span(payload.data(), 3)));
  payload[3] = 1;  // code 0x01000001: no such format
  EXPECT_FALSE(DecodePicturePayload(payload));
}

TEST(DecodePicture, HostileAndUnsupportedBytesFailCleanly) {
  BmpSpec huge_bmp;
  huge_bmp.width = huge_bmp.height = 40000;
  const BmpSpec rle{2, 2, 8, 1, 40, std::vector<std::array<std::uint8_t, 3>>(2), {}, {2, 0, 2, 0, 0, 1}};
  const BmpSpec short_rows{8, 8, 24, 0, 40, {}, {}, std::vector<std::uint8_t>(24 * 8 - 1)};
  auto bad_header = EncodeBmp(short_rows);
  bad_header[14] = 0xE8;  // header size 1000
  const BmpSpec no_palette{4, 1, 8, 0, 40, {}, {}, std::vector<std::uint8_t>(4)};

  struct Case { const char* name; std::uint32_t code; Bytes bytes; };
  const std::vector<Case> cases = {
      {"nothing", kPng, {}},
      {"unknown format code", 99, Bytes{0x89, 'P', 'N', 'G', 13, 10, 26, 10}},
      {"TIFF is not decoded", 6, Bytes{'I', 'I', 0x2A, 0, 8, 0, 0, 0}},
      {"PNG header of 30000 x 30000 and nothing else", kPng,
       Bytes{0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0x75, 0x30, 0, 0, 0x75,
              0x30, 8, 2, 0, 0, 0, 0, 0, 0, 0}},
      {"GIF canvas of 65535 x 65535", kGif, Bytes{'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0}},
      {"JPEG frame of 65000 x 65000", kJpg,
       Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0, 17, 8, 0xFD, 0xE8, 0xFD, 0xE8, 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0}},
      {"TGA header of 65535 x 65535", kTga,
       Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 24, 0, 1, 2, 3}},
      {"JPEG Huffman table of 16 x 255 codes", kJpg,
       [] {
         auto b = Bytes{0xFF, 0xD8, 0xFF, 0xC4, 0x10, 0x13, 0x00};
         b.resize(b.size() + 16, 0xFF);
         b.resize(b.size() + 4080, 0x01);
         return b;
       }()},
      {"random bytes called JPEG", kJpg, Bytes{0x12, 0x34, 0x56, 0x78, 0x9A}},
      {"BMP of 40000 x 40000 without its rows", kBmp, EncodeBmp(huge_bmp)},
      {"BMP with run-length rows", kBmp, EncodeBmp(rle)},
      {"BMP one byte short", kBmp, EncodeBmp(short_rows)},
      {"BMP with a 1000-byte header", kBmp, bad_header},
      {"BMP of 8 bpp without a palette", kBmp, EncodeBmp(no_palette)},
      {"BMP signature only", kBmp, Bytes{'B', 'M'}},
  };
  for (const Case& c : cases) EXPECT_FALSE(DecodePicture(c.code, c.bytes)) << c.name;
}

}  // namespace
}  // namespace recfilereader
