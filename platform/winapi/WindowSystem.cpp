// The backend table, the process's window system and framebuffer helpers.
#include "WindowSystem.h"

#include <png.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Windows.h"
#include "headless/Headless.h"
#include "sdl/SdlWindowSystem.h"

namespace {

using Factory = std::unique_ptr<IWindowSystem> (*)();

struct Backend {
  const char* name;
  Factory make;
};

// The one place that knows which backends exist.
constexpr Backend kBackends[] = {
    {"sdl", &CreateSdlWindowSystem},
    {"headless", &CreateHeadlessWindowSystem},
};

// Set by SelectWindowSystem, possibly from another unit's static initialisation: a pointer, so
// that it needs no initialisation of its own that could run later and undo the choice.
const Backend* gSelected = nullptr;
// The window system lives until the process ends: forms and fonts may still use it from static
// destructors, and nothing is gained by tearing the display connection down earlier.
std::atomic<IWindowSystem*> gInstance{nullptr};

const Backend* FindBackend(const std::string& name) {
  for (const Backend& b : kBackends)
    if (name == b.name) return &b;
  return nullptr;
}

// Posted-message wake-ups reach whatever the GUI thread is blocked in.
void WakeWindowSystem() {
  if (IWindowSystem* ws = gInstance.load(std::memory_order_acquire)) ws->Wake();
}

}  // namespace

void Framebuffer::Resize(int32_t w, int32_t h) {
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  if (w == width && h == height) return;
  width = w;
  height = h;
  pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
}

bool Framebuffer::SavePng(const std::string& path) const {
  if (width <= 0 || height <= 0) {
    std::fprintf(stderr, "SavePng %s: the image is empty\n", path.c_str());
    return false;
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    std::fclose(file);
    std::fprintf(stderr, "SavePng %s: out of memory\n", path.c_str());
    return false;
  }
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  // libpng reports errors by longjmp; nothing with a destructor is created past this point.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    std::fprintf(stderr, "SavePng %s: libpng failed to write the image\n", path.c_str());
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t* src = &pixels[static_cast<size_t>(y) * width];
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x + 0] = static_cast<png_byte>(src[x] >> 16);
      row[3 * x + 1] = static_cast<png_byte>(src[x] >> 8);
      row[3 * x + 2] = static_cast<png_byte>(src[x]);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) return false;
  return true;
}

IWindowSystem& WindowSystem() {
  if (IWindowSystem* ws = gInstance.load(std::memory_order_acquire)) return *ws;
  const Backend* backend = gSelected;
  if (!backend) {
    const char* env = std::getenv("AS_WINDOW_SYSTEM");
    const std::string name = env && *env ? env : "sdl";
    backend = FindBackend(name);
    if (!backend) {
      std::fprintf(stderr, "AS_WINDOW_SYSTEM=%s is not a window system; using sdl\n", name.c_str());
      backend = &kBackends[0];
    }
  }
  IWindowSystem* made = backend->make().release();
  gInstance.store(made, std::memory_order_release);
  MessageQueue::SetWakeHandler(&WakeWindowSystem);
  return *made;
}

bool SelectWindowSystem(const std::string& name) {
  const Backend* backend = FindBackend(name);
  if (gInstance.load() || !backend) return false;
  gSelected = backend;
  return true;
}
