// Build-time generator of the program's pictures from text pixel maps.
//
//   res_gen icon OUT.ico MAP...   one map per size; each size is written twice, in 256 colours
//                                 (palette and transparency mask) and in 32-bit colour with alpha
//   res_gen bitmap OUT.bmp MAP    a 24-bit bitmap; transparent pixels get the key colour
//                                 magenta (255, 0, 255), which the program replaces
//
// A map file: "#" comment lines, "size W H", "legend" followed by lines "C RRGGBB" or
// "C none" (one character per colour), then "pixels" followed by H rows of W characters.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 0;
};

struct PixelMap {
  int width = 0, height = 0;
  std::vector<Rgba> pixels;
  std::vector<Rgba> palette;  // the opaque legend colours, in legend order
  std::vector<int> index;     // palette index per pixel, -1 for transparent
};

PixelMap ReadMap(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  PixelMap map;
  std::map<char, int> legend;  // character -> palette index, -1 transparent
  enum { kHeader, kLegend, kPixels } part = kHeader;
  std::string line;
  int row = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (part != kPixels && line.rfind("size ", 0) == 0) {
      std::istringstream s(line.substr(5));
      s >> map.width >> map.height;
      continue;
    }
    if (line == "legend") {
      part = kLegend;
      continue;
    }
    if (line == "pixels") {
      part = kPixels;
      continue;
    }
    if (part == kLegend) {
      if (line.size() < 3) throw std::runtime_error(path + ": bad legend line: " + line);
      const std::string value = line.substr(2);
      if (value == "none") {
        legend[line[0]] = -1;
      } else {
        const unsigned long rgb = std::stoul(value, nullptr, 16);
        map.palette.push_back({static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                               static_cast<uint8_t>(rgb), 255});
        legend[line[0]] = static_cast<int>(map.palette.size()) - 1;
      }
    } else if (part == kPixels) {
      if (static_cast<int>(line.size()) != map.width || row >= map.height) {
        throw std::runtime_error(path + ": row " + std::to_string(row + 1) + " has the wrong size");
      }
      for (char c : line) {
        auto it = legend.find(c);
        if (it == legend.end()) throw std::runtime_error(path + ": unknown colour '" + c + "'");
        map.index.push_back(it->second);
        map.pixels.push_back(it->second < 0 ? Rgba{} : map.palette[it->second]);
      }
      ++row;
    }
  }
  if (map.width <= 0 || row != map.height) throw std::runtime_error(path + ": incomplete map");
  if (map.palette.size() > 255) throw std::runtime_error(path + ": more than 255 colours");
  return map;
}

void Put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutInfoHeader(std::string& out, int width, int height, int bits, uint32_t image_size,
                   uint32_t colors) {
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  Put16(out, 1);
  Put16(out, static_cast<uint16_t>(bits));
  Put32(out, 0);  // BI_RGB
  Put32(out, image_size);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, colors);
  Put32(out, 0);
}

int RowBytes(int width, int bits) { return ((width * bits + 31) / 32) * 4; }

// The AND mask: 1 for transparent pixels, rows bottom-up.
std::string Mask(const PixelMap& map) {
  std::string mask;
  const int stride = RowBytes(map.width, 1);
  for (int y = map.height - 1; y >= 0; --y) {
    std::string row(stride, '\0');
    for (int x = 0; x < map.width; ++x) {
      if (map.index[y * map.width + x] < 0) row[x / 8] |= static_cast<char>(0x80 >> (x % 8));
    }
    mask += row;
  }
  return mask;
}

// An icon image in 256 colours: palette index 0 is the transparent colour (black).
std::string IconImage8(const PixelMap& map) {
  std::string pixels;
  const int stride = RowBytes(map.width, 8);
  for (int y = map.height - 1; y >= 0; --y) {
    std::string row(stride, '\0');
    for (int x = 0; x < map.width; ++x) {
      const int i = map.index[y * map.width + x];
      row[x] = static_cast<char>(i < 0 ? 0 : i + 1);
    }
    pixels += row;
  }
  const std::string mask = Mask(map);
  std::string out;
  PutInfoHeader(out, map.width, map.height * 2, 8,
                static_cast<uint32_t>(pixels.size() + mask.size()), 256);
  Put32(out, 0);
  for (int i = 0; i < 255; ++i) {
    const Rgba c = i < static_cast<int>(map.palette.size()) ? map.palette[i] : Rgba{};
    out.push_back(static_cast<char>(c.b));
    out.push_back(static_cast<char>(c.g));
    out.push_back(static_cast<char>(c.r));
    out.push_back('\0');
  }
  return out + pixels + mask;
}

// An icon image in 32-bit colour with alpha (not premultiplied), plus the mask.
std::string IconImage32(const PixelMap& map) {
  std::string pixels;
  for (int y = map.height - 1; y >= 0; --y) {
    for (int x = 0; x < map.width; ++x) {
      const Rgba c = map.pixels[y * map.width + x];
      pixels.push_back(static_cast<char>(c.b));
      pixels.push_back(static_cast<char>(c.g));
      pixels.push_back(static_cast<char>(c.r));
      pixels.push_back(static_cast<char>(c.a));
    }
  }
  const std::string mask = Mask(map);
  std::string out;
  PutInfoHeader(out, map.width, map.height * 2, 32,
                static_cast<uint32_t>(pixels.size() + mask.size()), 0);
  return out + pixels + mask;
}

std::string Icon(const std::vector<PixelMap>& maps) {
  std::vector<std::pair<const PixelMap*, std::string>> images;
  std::vector<int> bits;
  for (const PixelMap& map : maps) {
    images.push_back({&map, IconImage8(map)});
    bits.push_back(8);
  }
  for (const PixelMap& map : maps) {
    images.push_back({&map, IconImage32(map)});
    bits.push_back(32);
  }
  std::string out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, static_cast<uint16_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const PixelMap& map = *images[i].first;
    out.push_back(static_cast<char>(map.width >= 256 ? 0 : map.width));
    out.push_back(static_cast<char>(map.height >= 256 ? 0 : map.height));
    out.push_back('\0');  // colour count: 0 for 256 colours and more
    out.push_back('\0');
    Put16(out, 1);
    Put16(out, static_cast<uint16_t>(bits[i]));
    Put32(out, static_cast<uint32_t>(images[i].second.size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(images[i].second.size());
  }
  for (const auto& image : images) out += image.second;
  return out;
}

std::string Bitmap(const PixelMap& map) {
  const int stride = RowBytes(map.width, 24);
  std::string pixels;
  for (int y = map.height - 1; y >= 0; --y) {
    std::string row(stride, '\0');
    for (int x = 0; x < map.width; ++x) {
      Rgba c = map.pixels[y * map.width + x];
      if (map.index[y * map.width + x] < 0) c = {255, 0, 255, 255};
      row[x * 3] = static_cast<char>(c.b);
      row[x * 3 + 1] = static_cast<char>(c.g);
      row[x * 3 + 2] = static_cast<char>(c.r);
    }
    pixels += row;
  }
  std::string out = "BM";
  Put32(out, static_cast<uint32_t>(14 + 40 + pixels.size()));
  Put32(out, 0);
  Put32(out, 14 + 40);
  PutInfoHeader(out, map.width, map.height, 24, static_cast<uint32_t>(pixels.size()), 0);
  return out + pixels;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc < 4) throw std::runtime_error("usage: res_gen icon|bitmap OUT MAP...");
    const std::string kind = argv[1];
    std::vector<PixelMap> maps;
    for (int i = 3; i < argc; ++i) maps.push_back(ReadMap(argv[i]));
    std::string data;
    if (kind == "icon") {
      data = Icon(maps);
    } else if (kind == "bitmap" && maps.size() == 1) {
      data = Bitmap(maps[0]);
    } else {
      throw std::runtime_error("unknown kind or wrong number of maps: " + kind);
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error(std::string("cannot write ") + argv[2]);
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "res_gen: " << error.what() << "\n";
    return 1;
  }
}
