// The static MinGW builds of libzip (with zlib) and libpng link into a Windows program and work
// there: a ZIP archive written to memory is read back, and libpng starts a writer. Exits 0 when
// all of it holds.
#include <png.h>
#include <zip.h>

#include <cstdio>
#include <cstring>

namespace {

bool ZipRoundTrip() {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_t* archive = memory ? zip_open_from_source(memory, ZIP_TRUNCATE, &error) : nullptr;
  if (archive == nullptr) return false;
  zip_source_keep(memory);
  static const char kText[] = "1125 width";
  zip_source_t* entry = zip_source_buffer(archive, kText, sizeof kText, 0);
  if (zip_file_add(archive, "a.txt", entry, 0) < 0 || zip_close(archive) != 0) return false;

  archive = zip_open_from_source(memory, ZIP_RDONLY, &error);
  zip_file_t* file = archive ? zip_fopen(archive, "a.txt", 0) : nullptr;
  char read[sizeof kText] = {};
  const bool same = file != nullptr && zip_fread(file, read, sizeof read) == sizeof kText &&
                    std::memcmp(read, kText, sizeof kText) == 0;
  if (file != nullptr) zip_fclose(file);
  if (archive != nullptr) zip_discard(archive);
  return same;
}

bool PngStarts() {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  const bool started = info != nullptr;
  png_destroy_write_struct(&png, &info);
  return started;
}

}  // namespace

int main() {
  const bool zip = ZipRoundTrip();
  const bool png = PngStarts();
  std::printf("libzip %s: %s, libpng %s: %s\n", zip_libzip_version(), zip ? "ok" : "FAILED",
              PNG_LIBPNG_VER_STRING, png ? "ok" : "FAILED");
  return zip && png ? 0 : 1;
}
