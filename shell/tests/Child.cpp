// Started by the shell tests: writes "ran" and its arguments to the file
// named first.
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2)
    return 2;
  std::FILE* f = std::fopen(argv[1], "wb");
  if (f == nullptr)
    return 1;
  std::fputs("ran", f);
  for (int i = 2; i < argc; ++i)
    std::fprintf(f, " %s", argv[i]);
  std::fclose(f);
  return 0;
}
