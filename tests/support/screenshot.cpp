#include "tests/support/screenshot.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/support/isolation.h"

namespace tvtest {
namespace {

std::uint32_t Crc32(const unsigned char* data, size_t size, std::uint32_t crc = 0) {
  static std::uint32_t table[256];
  if (!table[1]) {
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
  }
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBigEndian(std::vector<unsigned char>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void PutChunk(std::vector<unsigned char>& out, const char type[4], const std::vector<unsigned char>& body) {
  PutBigEndian(out, static_cast<std::uint32_t>(body.size()));
  std::vector<unsigned char> typed(type, type + 4);
  typed.insert(typed.end(), body.begin(), body.end());
  out.insert(out.end(), typed.begin(), typed.end());
  PutBigEndian(out, Crc32(typed.data(), typed.size()));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<unsigned char> StoredZlib(const std::vector<unsigned char>& raw) {
  std::vector<unsigned char> out = {0x78, 0x01};
  size_t pos = 0;
  do {
    const size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
    out.push_back(pos + n == raw.size() ? 1 : 0);
    out.push_back(static_cast<unsigned char>(n));
    out.push_back(static_cast<unsigned char>(n >> 8));
    out.push_back(static_cast<unsigned char>(~n));
    out.push_back(static_cast<unsigned char>(~n >> 8));
    out.insert(out.end(), raw.begin() + pos, raw.begin() + pos + n);
    pos += n;
  } while (pos < raw.size());
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(out, (b << 16) | a);
  return out;
}

}  // namespace

bool WritePng(const std::string& path, int width, int height, const unsigned char* bgra) {
  if (width <= 0 || height <= 0) return false;
  std::vector<unsigned char> raw;
  raw.reserve(static_cast<size_t>(height) * (1 + 3 * width));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    const unsigned char* row = bgra + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x) {
      raw.push_back(row[4 * x + 2]);
      raw.push_back(row[4 * x + 1]);
      raw.push_back(row[4 * x + 0]);
    }
  }
  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<unsigned char> header;
  PutBigEndian(header, static_cast<std::uint32_t>(width));
  PutBigEndian(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", StoredZlib(raw));
  PutChunk(png, "IEND", {});
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = fwrite(png.data(), 1, png.size(), file) == png.size();
  return fclose(file) == 0 && ok;
}

std::string ScreenshotDirectory() {
  char dir[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("TV_SCREENSHOT_DIR", dir, MAX_PATH);
  std::string path = (length > 0 && length < MAX_PATH) ? std::string(dir, length)
                                                       : ProgramDirectory() + "\\screenshots";
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

std::string SaveWindowScreenshot(HWND hwnd, const std::string& name) {
  RECT rect;
  if (!GetWindowRect(hwnd, &rect)) return {};
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return {};
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  std::string path;
  if (bitmap && pixels) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const std::string file = ScreenshotDirectory() + "\\" + name + ".png";
    if (copied && WritePng(file, width, height, static_cast<unsigned char*>(pixels))) path = file;
    SelectObject(memory, previous);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return path;
}

}  // namespace tvtest
