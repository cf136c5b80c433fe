#include "tools/content/ani_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numbers>
#include <vector>

#include "tools/content/source_reader.h"

namespace {

constexpr int STRIP_WIDTH = ANI_FRAMES * ANI_FRAME_WIDTH;
constexpr int RAMP = 85; // shades per ramp: 1 + 3 x 85 = 256 entries

struct Vec {
    double x, y, z;
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Normalised(Vec a) {
    const double length = std::sqrt(Dot(a, a));
    return {a.x / length, a.y / length, a.z / length};
}

struct Matrix {
    double m[3][3];
};

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

Vec Apply(const Matrix& a, Vec v) {
    return {a.m[0][0] * v.x + a.m[0][1] * v.y + a.m[0][2] * v.z, a.m[1][0] * v.x + a.m[1][1] * v.y + a.m[1][2] * v.z,
            a.m[2][0] * v.x + a.m[2][1] * v.y + a.m[2][2] * v.z};
}

Matrix RotateX(double a) { return {{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}}; }
Matrix RotateY(double a) { return {{{std::cos(a), 0, std::sin(a)}, {0, 1, 0}, {-std::sin(a), 0, std::cos(a)}}}; }

// Model to view for phase 0..1 of the loop: the ring (axis along y) turns
// about its own axis, its axis leans by the wobble angle towards a direction
// that circles once per loop, and the viewer looks down on it.
Matrix Orientation(const AniParams& p, double phase) {
    const double turn = 2 * std::numbers::pi * phase;
    const double spin = turn * p.spinCellsPerLoop / p.ringCells;
    const double wobble = p.wobbleDegrees * std::numbers::pi / 180;
    const double elevation = p.elevationDegrees * std::numbers::pi / 180;
    Matrix m = RotateX(elevation);
    m = Multiply(m, RotateY(turn));
    m = Multiply(m, RotateX(wobble));
    m = Multiply(m, RotateY(-turn));
    return Multiply(m, RotateY(spin));
}

// Ramp of `count` entries from shadow (w = 0) over the lit colour (w = 0.8)
// to the highlight (w = 1).
void AddRamp(std::vector<uint32_t>& palette, int count, uint32_t dark, uint32_t base, uint32_t highlight) {
    for (int i = 0; i < count; ++i) {
        const double w = static_cast<double>(i) / (count - 1);
        palette.push_back(w < 0.8 ? MixColour(dark, base, w / 0.8) : MixColour(base, highlight, (w - 0.8) / 0.2));
    }
}

struct Sample {
    double depth;
    float shade;  // 0..1 along the ramp
    uint8_t ramp; // 0 none, 1 first colour, 2 second colour
};

std::string Format(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", value);
    return buf;
}

bool ParseNumber(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(out);
}

bool ParseColour(const std::string& text, uint32_t& out) {
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    out = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

} // namespace

bool ParseAniParams(const std::string& source, AniParams& p, std::string& error) {
    p = AniParams{};
    struct Number {
        double* target;
        double low, high;
        bool whole;
    };
    std::map<std::string, Number> numbers;
    double ringCells = 0, tubeCells = 0, spin = 0, supersample = 0;
    numbers["major_radius"] = {&p.majorRadius, 1, 1000, false};
    numbers["minor_radius"] = {&p.minorRadius, 0.1, 1000, false};
    numbers["ring_cells"] = {&ringCells, 2, 64, true};
    numbers["tube_cells"] = {&tubeCells, 2, 32, true};
    numbers["spin_cells_per_loop"] = {&spin, 0, 64, true};
    numbers["wobble_degrees"] = {&p.wobbleDegrees, 0, 60, false};
    numbers["elevation_degrees"] = {&p.elevationDegrees, -89, 89, false};
    numbers["ambient"] = {&p.ambient, 0, 1, false};
    numbers["specular"] = {&p.specular, 0, 1, false};
    numbers["shininess"] = {&p.shininess, 1, 512, false};
    numbers["supersample"] = {&supersample, 1, 8, true};
    numbers["margin"] = {&p.margin, 0, 16, false};
    std::map<std::string, uint32_t*> colours{{"dark_a", &p.darkA},           {"base_a", &p.baseA},
                                             {"highlight_a", &p.highlightA}, {"dark_b", &p.darkB},
                                             {"base_b", &p.baseB},           {"highlight_b", &p.highlightB}};
    std::map<std::string, int> seen;
    for (const SourceLine& line : MeaningfulLines(source, ';')) {
        std::string text = line.text.substr(0, line.text.find(';'));
        const size_t equals = text.find('=');
        std::vector<std::string> name = SplitWords(text.substr(0, equals));
        if (equals == std::string::npos || name.size() != 1) {
            error = AtLine(line.number, "expected `name = value`, found `" + line.text + "`");
            return false;
        }
        const std::vector<std::string> values = SplitWords(text.substr(equals + 1));
        const std::string& key = name[0];
        if (seen.count(key)) {
            error = AtLine(line.number, "`" + key + "` is given twice");
            return false;
        }
        seen[key] = line.number;
        if (numbers.count(key)) {
            const Number& n = numbers[key];
            double value = 0;
            if (values.size() != 1 || !ParseNumber(values[0], value) || value < n.low || value > n.high ||
                (n.whole && value != std::floor(value))) {
                error = AtLine(line.number, "`" + key + "` must be " + (n.whole ? "a whole number" : "a number") +
                                                " from " + Format(n.low) + " to " + Format(n.high));
                return false;
            }
            *n.target = value;
        } else if (colours.count(key)) {
            if (values.size() != 1 || !ParseColour(values[0], *colours[key])) {
                error = AtLine(line.number, "`" + key + "` must be a colour RRGGBB in hexadecimal");
                return false;
            }
            if (*colours[key] == 0) {
                error = AtLine(line.number, "`" + key + "` is pure black, the transparent colour of the animation");
                return false;
            }
        } else if (key == "light") {
            if (values.size() != 3 || !ParseNumber(values[0], p.light[0]) || !ParseNumber(values[1], p.light[1]) ||
                !ParseNumber(values[2], p.light[2]) || (p.light[0] == 0 && p.light[1] == 0 && p.light[2] == 0)) {
                error = AtLine(line.number, "`light` must be three numbers x y z, not all 0");
                return false;
            }
        } else {
            error = AtLine(line.number, "unknown parameter `" + key + "`");
            return false;
        }
    }
    std::vector<std::string> names;
    for (const auto& n : numbers)
        names.push_back(n.first);
    for (const auto& c : colours)
        names.push_back(c.first);
    names.push_back("light");
    for (const std::string& n : names)
        if (!seen.count(n)) {
            error = "parameter `" + n + "` is missing";
            return false;
        }
    p.ringCells = static_cast<int>(ringCells);
    p.tubeCells = static_cast<int>(tubeCells);
    p.spinCellsPerLoop = static_cast<int>(spin);
    p.supersample = static_cast<int>(supersample);
    if (p.minorRadius >= p.majorRadius) {
        error = AtLine(seen["minor_radius"], "`minor_radius` must be smaller than `major_radius`");
        return false;
    }
    for (const char* key : {"ring_cells", "tube_cells", "spin_cells_per_loop"})
        if (static_cast<int>(*numbers[key].target) % 2 != 0) {
            error = AtLine(seen[key], std::string("`") + key + "` must be even, so that the checker repeats");
            return false;
        }
    return true;
}

IndexedImage RenderAni(const AniParams& p) {
    IndexedImage ani{STRIP_WIDTH,
                     ANI_FRAME_HEIGHT,
                     8,
                     {0x000000},
                     std::vector<uint8_t>(static_cast<size_t>(STRIP_WIDTH) * ANI_FRAME_HEIGHT, 0)};
    // Three ramps of 85 shades: the first checker colour, the half-and-half
    // blend that softens the pixels where two checks meet, the second.
    AddRamp(ani.palette, RAMP, p.darkA, p.baseA, p.highlightA);
    AddRamp(ani.palette, RAMP, MixColour(p.darkA, p.darkB, 0.5), MixColour(p.baseA, p.baseB, 0.5),
            MixColour(p.highlightA, p.highlightB, 0.5));
    AddRamp(ani.palette, RAMP, p.darkB, p.baseB, p.highlightB);

    // Scale so that the widest frame keeps `margin` pixels free inside the
    // box. The ring is symmetric about its centre, so its picture is too.
    const double outer = p.majorRadius + p.minorRadius;
    double reachX = 0, reachY = 0;
    for (int f = 0; f < ANI_FRAMES; ++f) {
        const Matrix m = Orientation(p, static_cast<double>(f) / ANI_FRAMES);
        for (int i = 0; i < 720; ++i)
            for (int j = 0; j < 90; ++j) {
                const double u = 2 * std::numbers::pi * i / 720, v = 2 * std::numbers::pi * j / 90;
                const double ring = p.majorRadius + p.minorRadius * std::cos(v);
                const Vec q = Apply(m, {ring * std::cos(u), p.minorRadius * std::sin(v), ring * std::sin(u)});
                reachX = std::max(reachX, std::fabs(q.x));
                reachY = std::max(reachY, std::fabs(q.y));
            }
    }
    const double scale =
        std::min((ANI_FRAME_WIDTH / 2.0 - p.margin) / reachX, (ANI_FRAME_HEIGHT / 2.0 - p.margin) / reachY);

    const int ss = p.supersample;
    const int gw = ANI_FRAME_WIDTH * ss, gh = ANI_FRAME_HEIGHT * ss;
    const Vec light = Normalised({p.light[0], p.light[1], p.light[2]});
    const Vec half = Normalised(light + Vec{0, 0, 1});
    // Dense enough that neighbouring surface samples land less than half a
    // subsample apart, so the z-buffer has no holes.
    const int uSteps = static_cast<int>(std::ceil(2 * std::numbers::pi * outer * scale * ss * 2.5));
    const int vSteps = static_cast<int>(std::ceil(2 * std::numbers::pi * p.minorRadius * scale * ss * 2.5));
    std::vector<Sample> grid(static_cast<size_t>(gw) * gh);
    for (int f = 0; f < ANI_FRAMES; ++f) {
        std::fill(grid.begin(), grid.end(), Sample{-1e30, 0, 0});
        const Matrix m = Orientation(p, static_cast<double>(f) / ANI_FRAMES);
        for (int i = 0; i < uSteps; ++i) {
            const double u = 2 * std::numbers::pi * (i + 0.5) / uSteps;
            const int uCell = static_cast<int>(std::floor(u / (2 * std::numbers::pi) * p.ringCells));
            for (int j = 0; j < vSteps; ++j) {
                const double v = 2 * std::numbers::pi * (j + 0.5) / vSteps;
                const int vCell = static_cast<int>(std::floor(v / (2 * std::numbers::pi) * p.tubeCells));
                const double ring = p.majorRadius + p.minorRadius * std::cos(v);
                const Vec q = Apply(m, {ring * std::cos(u), p.minorRadius * std::sin(v), ring * std::sin(u)});
                const int gx = static_cast<int>(std::floor((ANI_FRAME_WIDTH / 2.0 + q.x * scale) * ss));
                const int gy = static_cast<int>(std::floor((ANI_FRAME_HEIGHT / 2.0 - q.y * scale) * ss));
                if (gx < 0 || gx >= gw || gy < 0 || gy >= gh)
                    continue;
                Sample& s = grid[static_cast<size_t>(gy) * gw + gx];
                if (q.z <= s.depth)
                    continue;
                const Vec n = Apply(m, {std::cos(v) * std::cos(u), std::sin(v), std::cos(v) * std::sin(u)});
                const double diffuse = std::max(0.0, Dot(n, light));
                const double highlight = std::pow(std::max(0.0, Dot(n, half)), p.shininess);
                const double lit = p.ambient + (1 - p.ambient) * diffuse;
                s = {q.z, static_cast<float>(std::min(1.0, 0.8 * lit + p.specular * highlight)),
                     static_cast<uint8_t>((uCell + vCell) % 2 == 0 ? 1 : 2)};
            }
        }
        // Box filter: the shade of the covered subsamples, faded by the
        // coverage so that the ring's edge melts into the black around it.
        for (int y = 0; y < ANI_FRAME_HEIGHT; ++y)
            for (int x = 0; x < ANI_FRAME_WIDTH; ++x) {
                int covered = 0, votesA = 0;
                double shade = 0;
                for (int sy = 0; sy < ss; ++sy)
                    for (int sx = 0; sx < ss; ++sx) {
                        const Sample& s = grid[static_cast<size_t>(y * ss + sy) * gw + x * ss + sx];
                        if (s.ramp == 0)
                            continue;
                        ++covered;
                        votesA += s.ramp == 1;
                        shade += s.shade;
                    }
                if (covered == 0)
                    continue;
                const double w = shade / covered * covered / (ss * ss);
                const int ramp = 4 * votesA > 3 * covered ? 0 : 4 * votesA >= covered ? 1 : 2;
                const uint8_t index = static_cast<uint8_t>(1 + ramp * RAMP + std::lround(w * (RAMP - 1)));
                ani.pixels[static_cast<size_t>(y) * STRIP_WIDTH + f * ANI_FRAME_WIDTH + x] = index;
            }
    }
    return ani;
}

std::string CheckAniFrames(const IndexedImage& ani) {
    if (ani.width != STRIP_WIDTH || ani.height != ANI_FRAME_HEIGHT)
        return "ANI: wrong size";
    auto at = [&](int f, int x, int y) {
        return ani.pixels[static_cast<size_t>(y) * STRIP_WIDTH + f * ANI_FRAME_WIDTH + x];
    };
    // Steps between neighbouring frames are measured on the ring's outline
    // (drawn or not drawn): the checker shading changes most pixels in every
    // frame, the outline only a little, unless the motion jumps.
    std::vector<long> steps(ANI_FRAMES, 0);
    for (int f = 0; f < ANI_FRAMES; ++f) {
        long drawn = 0, middle = 0, same = 0;
        const int next = (f + 1) % ANI_FRAMES;
        for (int y = 0; y < ANI_FRAME_HEIGHT; ++y)
            for (int x = 0; x < ANI_FRAME_WIDTH; ++x) {
                const uint8_t p = at(f, x, y);
                steps[f] += (p != 0) != (at(next, x, y) != 0);
                same += p == at(next, x, y);
                if (p == 0)
                    continue;
                ++drawn;
                middle += y == 31 || y == 32;
                if (x == 0 || y == 0 || x == ANI_FRAME_WIDTH - 1 || y == ANI_FRAME_HEIGHT - 1)
                    return "ANI: frame " + std::to_string(f) + " touches the edge of its 128x64 box";
            }
        if (drawn == 0)
            return "ANI: frame " + std::to_string(f) + " is empty";
        if (middle == 0)
            return "ANI: rows 31 and 32 of frame " + std::to_string(f) +
                   " are empty, so the opening would show nothing";
        if (same == ANI_FRAME_WIDTH * ANI_FRAME_HEIGHT)
            return "ANI: frames " + std::to_string(f) + " and " + std::to_string(next) + " are the same";
    }
    std::vector<long> inner(steps.begin(), steps.end() - 1);
    std::nth_element(inner.begin(), inner.begin() + inner.size() / 2, inner.end());
    const long typical = inner[inner.size() / 2];
    if (steps[ANI_FRAMES - 1] > 2 * typical + 8)
        return "ANI: the step from frame 39 back to frame 0 moves the outline by " +
               std::to_string(steps[ANI_FRAMES - 1]) + " pixels, against " + std::to_string(typical) +
               " for a typical step; the loop jumps";
    return "";
}
