// Started by the shell tests: writes "ran" and its arguments to the file
// named first; started without arguments (as a product is), to "ran.txt"
// in its current folder.
#include <cstdio>

int main(int argc, char** argv) {
  std::FILE* f = std::fopen(argc < 2 ? "ran.txt" : argv[1], "wb");
  if (f == nullptr)
    return 1;
  std::fputs("ran", f);
  for (int i = 2; i < argc; ++i)
    std::fprintf(f, " %s", argv[i]);
  std::fclose(f);
  return 0;
}
