// Load time of the text form as the text grows: the time per cell should stay
// flat. Prints one line per size.
#include <chrono>
#include <cstdio>
#include <string>

#include "common/Text.h"
#include "datatable/NvDataTable.h"

int main() {
  std::printf("%12s %12s %12s %14s\n", "cells", "chars", "load ms", "ns per cell");
  for (int cells : {10000, 100000, 1000000, 2000000}) {
    std::u16string text;
    const int perRow = 5;
    for (int i = 0; i < cells; ++i) {
      if (i)
        text += (i % perRow == 0) ? u'|' : u',';
      text += u"cell" + IntToText(i);
    }
    TDataTable t(u"", {1});
    const auto start = std::chrono::steady_clock::now();
    t.Init(text);
    const auto end = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(end - start).count();
    std::printf("%12d %12zu %12.1f %14.1f\n", cells, text.size(), ms, ms * 1e6 / cells);
    if (t.ItemCount() != (cells + perRow - 1) / perRow)
      return 1;
  }
  return 0;
}
