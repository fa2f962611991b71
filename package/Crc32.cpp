#include "package/Crc32.h"

#include <zlib.h>

uint32_t Crc32(std::string_view bytes) {
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0),
                                     reinterpret_cast<const Bytef*>(bytes.data()),
                                     static_cast<uInt>(bytes.size())));
}
