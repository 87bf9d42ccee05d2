#include "tools/common/SyntheticPicture.h"

namespace zolvex {
namespace testpic {

std::vector<unsigned char> MakeTestPicture(int width, int height, int bpp)
{
    std::vector<unsigned char> frame(size_t(width) * size_t(height) * size_t(bpp));
    static const uint8_t kBars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                        {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    const int wd = width > 1 ? width - 1 : 1, hd = height > 1 ? height - 1 : 1;
    for (int i = 0; i < height; ++i) {
        const int y = height - 1 - i;  // picture row, top down
        for (int x = 0; x < width; ++x) {
            unsigned char* p = frame.data() + (size_t(i) * size_t(width) + size_t(x)) * size_t(bpp);
            uint8_t b, g, r;
            if (y < height / 3) {
                b = uint8_t(x * 255 / wd);
                g = uint8_t(y * 255 / hd);
                r = ((x / 16 + y / 16) % 2) ? 200 : 40;
            } else if (y < 2 * height / 3) {
                const uint8_t* bar = kBars[(x * 8 / (width > 0 ? width : 1)) % 8];
                b = bar[0];
                g = bar[1];
                r = bar[2];
            } else {
                const int dx = x - width / 2, dy = y - 5 * height / 6;
                const int ring = (dx * dx + dy * dy) / 48;
                b = uint8_t(ring * 3);
                g = uint8_t(255 - ring);
                r = uint8_t((x + 2 * y) & 255);
            }
            p[0] = b;
            if (bpp > 1)
                p[1] = g;
            if (bpp > 2)
                p[2] = r;
            if (bpp > 3) {
                uint8_t a;
                if (x < width / 8)
                    a = 255;
                else if (x < width / 8 + width / 16)
                    a = 0;
                else
                    a = uint8_t(x * 7 + y * 3);
                p[3] = a;
            }
        }
    }
    return frame;
}

std::vector<unsigned char> MakeSecondPicture(int width, int height, int bpp)
{
    std::vector<unsigned char> frame(size_t(width) * size_t(height) * size_t(bpp));
    for (int i = 0; i < height; ++i) {
        const int y = height - 1 - i;
        for (int x = 0; x < width; ++x) {
            unsigned char* p = frame.data() + (size_t(i) * size_t(width) + size_t(x)) * size_t(bpp);
            const int dx = x - width / 3, dy = y - height / 2;
            const int dist = (dx * dx + dy * dy) / (width > 8 ? width / 8 : 1);
            const bool stripe = ((x + y) / 24) % 2 == 0;
            const bool edge = x < 4 || y < 4 || x >= width - 4 || y >= height - 4;
            const uint8_t px[4] = {
                uint8_t(edge ? 255 : (stripe ? 30 : 220)),
                uint8_t(edge ? 255 : 255 - (dist & 255)),
                uint8_t(edge ? 255 : (y * 255 / (height > 1 ? height - 1 : 1))),
                uint8_t(y < height / 4 ? 0 : (y < height / 2 ? 255 : (x * 3 + y) & 255)),
            };
            for (int c = 0; c < bpp && c < 4; ++c)
                p[c] = px[c];
        }
    }
    return frame;
}

std::vector<unsigned char> MakeUniform(int width, int height, int bpp, uint8_t b, uint8_t g, uint8_t r, uint8_t a)
{
    std::vector<unsigned char> frame(size_t(width) * size_t(height) * size_t(bpp));
    const uint8_t px[4] = {b, g, r, a};
    for (size_t k = 0; k < frame.size(); ++k)
        frame[k] = px[k % size_t(bpp) % 4];
    return frame;
}

uint32_t Crc32(const unsigned char* data, size_t size)
{
    static uint32_t table[256];
    static bool ready = [] {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        return true;
    }();
    (void)ready;
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t k = 0; k < size; ++k)
        crc = table[(crc ^ data[k]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace testpic
}  // namespace zolvex
