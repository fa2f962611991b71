// Where a signed Windows program keeps its signature: the attribute
// certificate table that the security entry of the PE header's data
// directories names, at the very end of the file. Everything a program
// carries after its last section (the uninstaller's list) then lies before
// that table, and the signature's digest covers it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

struct TSignatureTable {
  int64_t offset = 0;
  int64_t size = 0;
};

// The table of a PE file of `size` bytes, read through readAt(offset, buffer,
// count) (exactly count bytes or it raises); nothing when the file is not a
// PE program or names no table. Only a table that ends the file counts.
std::optional<TSignatureTable> FindSignatureTable(
    int64_t size, const std::function<void(int64_t offset, char* buffer, size_t count)>& readAt);
std::optional<TSignatureTable> FindSignatureTable(std::string_view fileBytes);
