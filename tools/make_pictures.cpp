// Generates the saver's pictures: the eight ball PNGs, the About-box logo, the program icon and a contact sheet.
//
// Usage: make_pictures <out-dir> [<sheet-path>]
//   writes <out-dir>/balls/1.png .. 8.png (128 x 128 RGBA), <out-dir>/logo.bmp (203 x 61, 24-bit),
//   <out-dir>/zephyrine.ico (16, 32 and 48 pixels, 32-bit DIB entries) and the contact sheet
//   (<sheet-path>, by default <out-dir>/balls-sheet.png). Exit code 0 on success, 1 when a file cannot be written.
//   The committed copies come from: make_pictures res docs/balls-sheet.png
// Build: g++ -std=c++17 -O2 -Wall -Wextra tools/make_pictures.cpp -lz -o make_pictures
//
// The output is byte-for-byte reproducible: no clock and no library random numbers, a fixed integer hash
// for every bit of noise, only + - * / and sqrt in the maths (exact under IEEE arithmetic as long as the
// compiler does not fuse multiply-adds, which it does not for plain x86-64), and fixed zlib settings
// (the deflate stream is that of the installed zlib; Debian's zlib gives the committed bytes).
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

struct Vec {
    double x, y, z;
};
Vec operator+(Vec a, Vec b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec operator-(Vec a, Vec b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec operator*(Vec a, double s)
{
    return {a.x * s, a.y * s, a.z * s};
}
double dot(Vec a, Vec b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec cross(Vec a, Vec b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec normalize(Vec a)
{
    return a * (1.0 / std::sqrt(dot(a, a)));
}
Vec mix(Vec a, Vec b, double t)
{
    return a + (b - a) * t;
}
Vec rgb(uint32_t hex)
{
    return Vec{double(hex >> 16 & 255), double(hex >> 8 & 255), double(hex & 255)} * (1.0 / 255);
}
double clamp01(double v)
{
    return std::min(1.0, std::max(0.0, v));
}
double smoothstep(double e0, double e1, double v)
{
    double t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
double fract(double v)
{
    return v - std::floor(v);
}
double powInt(double b, int e)
{
    double r = 1;
    while (e-- > 0) r *= b;
    return r;
}
uint8_t toByte(double v)
{
    return uint8_t(clamp01(v) * 255 + 0.5);
}

// Straight (not premultiplied) RGBA, rows top to bottom.
struct Image {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    Image(int width, int height) : w(width), h(height), px(size_t(width) * height * 4, 0) {}
    uint8_t* at(int x, int y) { return &px[(size_t(y) * w + x) * 4]; }
    const uint8_t* at(int x, int y) const { return &px[(size_t(y) * w + x) * 4]; }
};

void blendPixel(Image& dst, int x, int y, Vec colour, double alpha)
{
    if (x < 0 || y < 0 || x >= dst.w || y >= dst.h || alpha <= 0) return;
    uint8_t* p = dst.at(x, y);
    Vec under{p[0] / 255.0, p[1] / 255.0, p[2] / 255.0};
    Vec out = mix(under, colour, alpha);
    p[0] = toByte(out.x);
    p[1] = toByte(out.y);
    p[2] = toByte(out.z);
    p[3] = 255;
}

// Draws src over an opaque dst with its top-left corner at (ox, oy).
void drawOver(Image& dst, const Image& src, int ox, int oy)
{
    for (int y = 0; y < src.h; ++y)
        for (int x = 0; x < src.w; ++x) {
            const uint8_t* s = src.at(x, y);
            blendPixel(dst, ox + x, oy + y, Vec{s[0] / 255.0, s[1] / 255.0, s[2] / 255.0}, s[3] / 255.0);
        }
}

uint32_t hash3(int x, int y, int z, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B9u ^ uint32_t(x) * 0x85EBCA6Bu ^ uint32_t(y) * 0xC2B2AE35u ^
                 uint32_t(z) * 0x27D4EB2Fu;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}
double hashUnit(int x, int y, int z, uint32_t seed)
{
    return (hash3(x, y, z, seed) >> 8) * (1.0 / 16777216.0);
}

// Smoothly interpolated lattice noise in [0, 1).
double valueNoise(Vec p, uint32_t seed)
{
    int ix = int(std::floor(p.x)), iy = int(std::floor(p.y)), iz = int(std::floor(p.z));
    double fx = smoothstep(0, 1, p.x - ix), fy = smoothstep(0, 1, p.y - iy), fz = smoothstep(0, 1, p.z - iz);
    double c[2][2];
    for (int j = 0; j < 2; ++j)
        for (int k = 0; k < 2; ++k) {
            double a = hashUnit(ix, iy + j, iz + k, seed), b = hashUnit(ix + 1, iy + j, iz + k, seed);
            c[j][k] = a + (b - a) * fx;
        }
    double lo = c[0][0] + (c[1][0] - c[0][0]) * fy, hi = c[0][1] + (c[1][1] - c[0][1]) * fy;
    return lo + (hi - lo) * fz;
}

double fractalNoise(Vec p, uint32_t seed)
{
    double sum = 0, amplitude = 0.5;
    for (int octave = 0; octave < 4; ++octave, p = p * 2.03, amplitude *= 0.5)
        sum += valueNoise(p, seed + octave) * amplitude;
    return sum / 0.9375;
}

// A ball's own axes: its pattern is drawn in coordinates whose z axis points at `pole`.
struct Frame {
    Vec u, v, w;
};
Frame frameAround(Vec pole)
{
    Vec w = normalize(pole);
    Vec u = normalize(cross(Vec{0, 1, 0.15}, w));
    return {u, cross(w, u), w};
}
Vec toFrame(const Frame& f, Vec n)
{
    return {dot(n, f.u), dot(n, f.v), dot(n, f.w)};
}

struct Surface {
    Vec colour;
    double gloss;
    int shininess;
};

// Colour of look 1..8 at the point n of the unit sphere (x right, y down, z towards the viewer).
Surface ballSurface(int look, Vec n)
{
    switch (look) {
    case 1:  // glossy ruby
        return {mix(rgb(0xD21F2B), rgb(0x7A0A1E), smoothstep(-0.2, 1.0, n.y)), 1.0, 70};
    case 2: {  // candy stripes round a tilted axis
        Vec p = toFrame(frameAround({0.55, -0.5, 0.35}), n);
        double t = fract(p.z * 3.5 + 0.25);
        double edge = smoothstep(0.46, 0.5, t) - smoothstep(0.96, 1.0, t);
        return {mix(rgb(0xF4F6FA), rgb(0x1F5FD0), edge), 0.7, 50};
    }
    case 3: {  // beach ball: six segments meeting at a white cap
        Vec p = toFrame(frameAround({0.3, -0.5, 0.8}), n);
        if (p.z > 0.95) return {rgb(0xE6E6DE), 0.45, 40};
        const double s = std::sqrt(3.0) / 2;
        bool a = p.y >= 0, b = s * p.x + 0.5 * p.y >= 0, c = s * p.x - 0.5 * p.y >= 0;
        int segment = a ? (c ? 0 : (b ? 1 : 2)) : (c ? (b ? 5 : 4) : 3);
        static const uint32_t colours[6] = {0xE8302C, 0xE6E6DE, 0xFFC21A, 0xE6E6DE, 0x1E7BE0, 0xE6E6DE};
        return {rgb(colours[segment]), 0.45, 40};
    }
    case 4: {  // ringed: emerald with a gold equatorial band between white lines
        Vec p = toFrame(frameAround({0.3, -1.0, 0.45}), n);
        double d = std::fabs(p.z);
        Vec c = rgb(0x138A55);
        if (d < 0.26) c = rgb(0xFFFFFF);
        if (d < 0.22) c = rgb(0xF1B82D);
        if (d < 0.05) c = rgb(0xB3741A);
        return {mix(c, rgb(0x0B5E3A), smoothstep(0.3, 1.0, d) * 0.6), 0.65, 45};
    }
    case 5: {  // speckled violet: round spots, at most one per cell of a 3-D grid, moved onto the surface
        const double scale = 4.5;
        Vec p = n * scale;
        int cx = int(std::floor(p.x)), cy = int(std::floor(p.y)), cz = int(std::floor(p.z));
        for (int dz = -1; dz <= 1; ++dz)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    int gx = cx + dx, gy = cy + dy, gz = cz + dz;
                    if (hashUnit(gx, gy, gz, 15) > 0.45) continue;
                    Vec c{gx + hashUnit(gx, gy, gz, 11), gy + hashUnit(gx, gy, gz, 12),
                          gz + hashUnit(gx, gy, gz, 13)};
                    double len = std::sqrt(dot(c, c));
                    if (std::fabs(len - scale) > 0.45) continue;
                    Vec off = p - c * (scale / len);
                    double radius = 0.18 + 0.22 * hashUnit(gx, gy, gz, 14);
                    if (dot(off, off) >= radius * radius) continue;
                    static const uint32_t spots[3] = {0xFFF4D6, 0xFF8FD0, 0x9FE7FF};
                    return {rgb(spots[hash3(gx, gy, gz, 16) % 3]), 0.55, 40};
                }
        return {rgb(0x6A2CB8), 0.55, 40};
    }
    case 6: {  // two-tone: sunflower over charcoal, split by a wavy white seam
        Vec p = toFrame(frameAround({0.45, -1.0, 0.25}), n);
        double side = p.z + (valueNoise(n * 2.2, 21) - 0.5) * 0.35;
        if (std::fabs(side) < 0.045) return {rgb(0xFAFAF2), 0.6, 45};
        return {side > 0 ? rgb(0xFFC928) : rgb(0x34383F), 0.6, 45};
    }
    case 7: {  // marbled jade: dark veins bent by fractal noise
        double v = n.x * 2.0 + n.y * 1.2 + fractalNoise(n * 2.2 + Vec{5, 5, 5}, 31) * 3.5;
        double t = std::fabs(fract(v) * 2 - 1);
        double vein = 1 - smoothstep(0.0, 0.13, t);
        Vec base = mix(rgb(0xB9F0E0), rgb(0x2A9C84), smoothstep(0.1, 1.0, t));
        return {mix(base, rgb(0x0E4D47), vein * 0.75), 0.8, 60};
    }
    default: {  // bull's-eye facing slightly up and right
        Vec pole = normalize({0.25, -0.2, 1.0});
        Vec off = n - pole;
        double d = std::sqrt(dot(off, off));
        int ring = int(d * 6.0);
        return {ring % 2 == 0 ? rgb(0xFF7A1A) : rgb(0xFFF3DD), 0.6, 45};
    }
    }
}

Vec shadeSphere(const Surface& s, Vec n)
{
    const Vec light = normalize({-0.5, -0.65, 0.6});
    const Vec halfway = normalize(light + Vec{0, 0, 1});
    double diffuse = std::max(0.0, dot(n, light));
    double bounce = std::max(0.0, dot(n, normalize({0.4, 0.85, 0.3}))) * 0.18;
    double lit = (0.2 + 0.85 * diffuse + bounce) * (0.8 + 0.2 * n.z);
    double nh = std::max(0.0, dot(n, halfway));
    double specular = s.gloss * (powInt(nh, s.shininess) + 0.12 * powInt(nh, 8));
    return s.colour * lit + Vec{specular, specular, specular};
}

// A ball of the given look, size x size pixels, 6 x 6 samples per pixel for both the rim and the pattern edges.
Image renderBall(int look, int size)
{
    const int k = 6;
    const double centre = size * 0.5, radius = size * 0.5 - 0.75;
    Image img(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Vec sum{0, 0, 0};
            int covered = 0;
            for (int j = 0; j < k; ++j)
                for (int i = 0; i < k; ++i) {
                    double nx = (x + (i + 0.5) / k - centre) / radius, ny = (y + (j + 0.5) / k - centre) / radius;
                    double r2 = nx * nx + ny * ny;
                    if (r2 >= 1) continue;
                    Vec n{nx, ny, std::sqrt(1 - r2)};
                    sum = sum + shadeSphere(ballSurface(look, n), n);
                    ++covered;
                }
            if (covered == 0) continue;
            Vec c = sum * (1.0 / covered);
            uint8_t* p = img.at(x, y);
            p[0] = toByte(c.x);
            p[1] = toByte(c.y);
            p[2] = toByte(c.z);
            p[3] = toByte(double(covered) / (k * k));
        }
    return img;
}

void putLe16(std::vector<uint8_t>& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void putLe32(std::vector<uint8_t>& b, uint32_t v)
{
    putLe16(b, v & 0xFFFF);
    putLe16(b, v >> 16);
}
void putBe32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

void putPngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data)
{
    putBe32(out, uint32_t(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    putBe32(out, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

uint8_t paeth(int a, int b, int c)
{
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// 8-bit RGBA PNG, every row Paeth-filtered, zlib level 9: the same image always gives the same bytes.
// Empty when zlib fails.
std::vector<uint8_t> encodePng(const Image& img)
{
    const size_t stride = size_t(img.w) * 4;
    std::vector<uint8_t> raw;
    for (int y = 0; y < img.h; ++y) {
        raw.push_back(4);
        const uint8_t* row = &img.px[y * stride];
        for (size_t i = 0; i < stride; ++i) {
            int a = i >= 4 ? row[i - 4] : 0, b = y > 0 ? row[i - stride] : 0,
                c = (i >= 4 && y > 0) ? row[i - stride - 4] : 0;
            raw.push_back(uint8_t(row[i] - paeth(a, b, c)));
        }
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 9) != Z_OK) return {};
    packed.resize(packedSize);
    std::vector<uint8_t> header;
    putBe32(header, uint32_t(img.w));
    putBe32(header, uint32_t(img.h));
    header.insert(header.end(), {8, 6, 0, 0, 0});
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putPngChunk(out, "IHDR", header);
    putPngChunk(out, "IDAT", packed);
    putPngChunk(out, "IEND", {});
    return out;
}

// 5 x 9 glyphs, one byte per row (bit 4 is the left column); rows 7 and 8 hold descenders.
struct Glyph {
    char c;
    uint8_t rows[9];
};
const Glyph font[] = {
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F, 0x00, 0x00}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D, 0x00, 0x00}},
    {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F, 0x00, 0x00}},
    {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E, 0x00, 0x00}},
    {'h', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11, 0x00, 0x00}},
    {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E, 0x00, 0x00}},
    {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11, 0x00, 0x00}},
    {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E, 0x00, 0x00}},
    {'p', {0x00, 0x00, 0x1E, 0x11, 0x11, 0x11, 0x1E, 0x10, 0x10}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10, 0x00, 0x00}},
    {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D, 0x00, 0x00}},
    {'v', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04, 0x00, 0x00}},
    {'y', {0x00, 0x00, 0x11, 0x11, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
};

struct Segment {
    double x0, y0, x1, y1;
};

double distanceToSegment(double px, double py, const Segment& s)
{
    double dx = s.x1 - s.x0, dy = s.y1 - s.y0, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? clamp01(((px - s.x0) * dx + (py - s.y0) * dy) / len2) : 0;
    double ex = px - s.x0 - t * dx, ey = py - s.y0 - t * dy;
    return std::sqrt(ex * ex + ey * ey);
}

// Turns text into round-capped strokes joining neighbouring glyph cells; returns the advance in pixels.
double layOutText(const char* text, double x, double y, double cell, std::vector<Segment>& strokes)
{
    const double startX = x;
    for (; *text; ++text) {
        const Glyph* g = nullptr;
        for (const Glyph& candidate : font)
            if (candidate.c == *text) g = &candidate;
        if (!g) {
            x += 3 * cell;
            continue;
        }
        auto bit = [g](int r, int c) { return r >= 0 && r < 9 && c >= 0 && c < 5 && (g->rows[r] >> (4 - c) & 1); };
        int left = 5, right = -1;
        for (int r = 0; r < 9; ++r)
            for (int c = 0; c < 5; ++c)
                if (bit(r, c)) {
                    left = std::min(left, c);
                    right = std::max(right, c);
                }
        auto cx = [&](int c) { return x + (c - left + 0.5) * cell; };
        auto cy = [&](int r) { return y + (r + 0.5) * cell; };
        for (int r = 0; r < 9; ++r)
            for (int c = 0; c < 5; ++c) {
                if (!bit(r, c)) continue;
                strokes.push_back({cx(c), cy(r), cx(c), cy(r)});
                if (bit(r, c + 1)) strokes.push_back({cx(c), cy(r), cx(c + 1), cy(r)});
                if (bit(r + 1, c)) strokes.push_back({cx(c), cy(r), cx(c), cy(r + 1)});
                if (bit(r + 1, c + 1) && !bit(r, c + 1) && !bit(r + 1, c))
                    strokes.push_back({cx(c), cy(r), cx(c + 1), cy(r + 1)});
                if (bit(r + 1, c - 1) && !bit(r, c - 1) && !bit(r + 1, c))
                    strokes.push_back({cx(c), cy(r), cx(c - 1), cy(r + 1)});
            }
        x += (right - left + 2) * cell;
    }
    return x - startX - cell;
}

// Fills the strokes of width 2 * halfWidth, shading from `top` at y0 to `bottom` at y1.
void drawStrokes(Image& dst, const std::vector<Segment>& strokes, double halfWidth, Vec top, Vec bottom, double y0,
                 double y1, double opacity)
{
    const int k = 4;
    for (int y = 0; y < dst.h; ++y)
        for (int x = 0; x < dst.w; ++x) {
            int inside = 0;
            for (int j = 0; j < k; ++j)
                for (int i = 0; i < k; ++i) {
                    double px = x + (i + 0.5) / k, py = y + (j + 0.5) / k;
                    for (const Segment& s : strokes)
                        if (distanceToSegment(px, py, s) <= halfWidth) {
                            ++inside;
                            break;
                        }
                }
            blendPixel(dst, x, y, mix(top, bottom, clamp01((y + 0.5 - y0) / (y1 - y0))),
                       opacity * inside / (k * k));
        }
}

void drawText(Image& dst, const char* text, double x, double y, double cell, Vec top, Vec bottom)
{
    std::vector<Segment> strokes, shadow;
    double halfWidth = cell * 0.45, shift = std::max(1.0, cell * 0.5);
    layOutText(text, x, y, cell, strokes);
    layOutText(text, x + shift, y + shift, cell, shadow);
    drawStrokes(dst, shadow, halfWidth, rgb(0x0A0E2A), rgb(0x0A0E2A), 0, 1, 0.55);
    drawStrokes(dst, strokes, halfWidth, top, bottom, y + cell, y + 7 * cell, 1.0);
}

Image makeLogo()
{
    Image logo(203, 61);
    for (int y = 0; y < logo.h; ++y)
        for (int x = 0; x < logo.w; ++x) {
            double u = x / 202.0, v = y / 60.0;
            Vec c = mix(rgb(0x14206B), rgb(0x6B2A8F), u);
            c = mix(c, rgb(0x2D7FCF), 0.55 * (1 - smoothstep(0.0, 0.55, std::fabs(v - 0.42))) * (1 - 0.5 * u));
            c = c * (0.8 + 0.2 * (1 - v));
            blendPixel(logo, x, y, c, 1.0);
        }
    const struct {
        int look, size, x, y;
    } balls[] = {{3, 24, 170, 8}, {7, 17, 183, 33}, {1, 13, 163, 40}, {8, 10, 192, 4}, {5, 9, 151, 4}};
    for (const auto& b : balls) {
        Image ball = renderBall(b.look, b.size);
        drawOver(logo, ball, b.x, b.y);
    }
    std::vector<Segment> measure;
    double nameWidth = layOutText("Quorvane", 0, 0, 1.0, measure);
    drawText(logo, "Zephyrine", 8, 8, 3.0, rgb(0xFFFFFF), rgb(0xFFE7A8));
    drawText(logo, "Quorvane", 146 - nameWidth, 45, 1.0, rgb(0xD8E4FF), rgb(0xD8E4FF));
    return logo;
}

// 24-bit BITMAPINFOHEADER bitmap, bottom-up, rows padded to 4 bytes.
std::vector<uint8_t> encodeBmp(const Image& img)
{
    const uint32_t stride = (uint32_t(img.w) * 3 + 3) & ~3u, pixelBytes = stride * img.h;
    std::vector<uint8_t> out = {'B', 'M'};
    putLe32(out, 54 + pixelBytes);
    putLe32(out, 0);
    putLe32(out, 54);
    for (uint32_t v : {40u, uint32_t(img.w), uint32_t(img.h)}) putLe32(out, v);
    putLe16(out, 1);
    putLe16(out, 24);
    for (uint32_t v : {0u, pixelBytes, 2835u, 2835u, 0u, 0u}) putLe32(out, v);
    for (int y = img.h - 1; y >= 0; --y) {
        for (int x = 0; x < img.w; ++x) {
            const uint8_t* p = img.at(x, y);
            out.insert(out.end(), {p[2], p[1], p[0]});
        }
        out.resize(out.size() + (stride - img.w * 3), 0);
    }
    return out;
}

// Icon file with 32-bit BGRA DIB entries (colour rows bottom-up, then a 1-bit AND mask set where transparent).
std::vector<uint8_t> encodeIcon(int look, const std::vector<int>& sizes)
{
    std::vector<std::vector<uint8_t>> entries;
    for (int size : sizes) {
        Image img = renderBall(look, size);
        const uint32_t maskStride = uint32_t((size + 31) / 32 * 4);
        std::vector<uint8_t> e;
        for (uint32_t v : {40u, uint32_t(size), uint32_t(size * 2)}) putLe32(e, v);
        putLe16(e, 1);
        putLe16(e, 32);
        for (uint32_t v : {0u, uint32_t(size * size * 4) + maskStride * size, 0u, 0u, 0u, 0u}) putLe32(e, v);
        for (int y = size - 1; y >= 0; --y)
            for (int x = 0; x < size; ++x) {
                const uint8_t* p = img.at(x, y);
                e.insert(e.end(), {p[2], p[1], p[0], p[3]});
            }
        for (int y = size - 1; y >= 0; --y) {
            std::vector<uint8_t> row(maskStride, 0);
            for (int x = 0; x < size; ++x)
                if (img.at(x, y)[3] == 0) row[x / 8] |= uint8_t(0x80 >> (x % 8));
            e.insert(e.end(), row.begin(), row.end());
        }
        entries.push_back(e);
    }
    std::vector<uint8_t> out;
    putLe16(out, 0);
    putLe16(out, 1);
    putLe16(out, uint32_t(sizes.size()));
    uint32_t offset = uint32_t(6 + 16 * sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        out.insert(out.end(), {uint8_t(sizes[i]), uint8_t(sizes[i]), 0, 0});
        putLe16(out, 1);
        putLe16(out, 32);
        putLe32(out, uint32_t(entries[i].size()));
        putLe32(out, offset);
        offset += uint32_t(entries[i].size());
    }
    for (const auto& e : entries) out.insert(out.end(), e.begin(), e.end());
    return out;
}

// The eight balls in a row over a grey checkerboard, so that their transparent rims show.
Image makeSheet(const std::vector<Image>& balls)
{
    const int margin = 16, step = 128 + margin;
    Image sheet(margin + step * int(balls.size()), 128 + 2 * margin);
    for (int y = 0; y < sheet.h; ++y)
        for (int x = 0; x < sheet.w; ++x)
            blendPixel(sheet, x, y, ((x / 8 + y / 8) % 2) ? rgb(0x8C8C8C) : rgb(0x6E6E6E), 1.0);
    for (size_t i = 0; i < balls.size(); ++i) drawOver(sheet, balls[i], margin + step * int(i), margin);
    return sheet;
}

bool writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = bytes.empty() ? nullptr : std::fopen(path.string().c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "make_pictures: cannot write %s\n", path.string().c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_pictures <out-dir> [<sheet-path>]\n");
        return 2;
    }
    const std::filesystem::path outDir = argv[1];
    const std::filesystem::path sheetPath = argc == 3 ? std::filesystem::path(argv[2])
                                                      : outDir / "balls-sheet.png";
    for (const std::filesystem::path& dir : {outDir / "balls", sheetPath.parent_path()}) {
        std::error_code error;
        if (!dir.empty()) std::filesystem::create_directories(dir, error);
        if (error) {
            std::fprintf(stderr, "make_pictures: cannot create %s: %s\n", dir.string().c_str(),
                         error.message().c_str());
            return 1;
        }
    }
    bool ok = true;
    std::vector<Image> balls;
    for (int look = 1; look <= 8; ++look) {
        balls.push_back(renderBall(look, 128));
        ok = writeFile(outDir / "balls" / (std::to_string(look) + ".png"), encodePng(balls.back())) && ok;
    }
    Image logo = makeLogo();
    ok = writeFile(outDir / "logo.bmp", encodeBmp(logo)) && ok;
    ok = writeFile(outDir / "zephyrine.ico", encodeIcon(3, {16, 32, 48})) && ok;
    ok = writeFile(sheetPath, encodePng(makeSheet(balls))) && ok;
    return ok ? 0 : 1;
}
