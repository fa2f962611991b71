// compare_resources A.EXE B.EXE: whether two setup programs show the same
// resources through the system's own resource calls. Every type, name and
// language they list; every resource's bytes (string tables text by text,
// icon groups image by image, whatever numbers the images carry); the
// product strings through LoadString; the icons the system picks for 16 and
// 32 pixels. Prints each difference; exit status 0 when there is none, 1
// otherwise, 2 when a program does not load.
#include <windows.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

// A type or name as text: "#n" for a number.
std::wstring IdText(LPCWSTR id) {
  if (IS_INTRESOURCE(id))
    return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id));
  return id;
}

LPCWSTR IdOf(const std::wstring& text) {
  if (!text.empty() && text[0] == L'#')
    return MAKEINTRESOURCEW(std::stoi(text.substr(1)));
  return text.c_str();
}

using Key = std::tuple<std::wstring, std::wstring, WORD>;

struct Module {
  HMODULE h = nullptr;
  std::set<Key> keys;
};

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR p) {
  reinterpret_cast<Module*>(p)->keys.insert({IdText(type), IdText(name), language});
  return TRUE;
}

BOOL CALLBACK OnName(HMODULE h, LPCWSTR type, LPWSTR name, LONG_PTR p) {
  EnumResourceLanguagesW(h, type, name, OnLanguage, p);
  return TRUE;
}

BOOL CALLBACK OnType(HMODULE h, LPWSTR type, LONG_PTR p) {
  EnumResourceNamesW(h, type, OnName, p);
  return TRUE;
}

std::string Bytes(HMODULE h, const Key& k) {
  HRSRC r = FindResourceExW(h, IdOf(std::get<0>(k)), IdOf(std::get<1>(k)), std::get<2>(k));
  if (r == nullptr)
    return "<not found>";
  const void* data = LockResource(LoadResource(h, r));
  return data == nullptr ? "<no data>"
                         : std::string(static_cast<const char*>(data), SizeofResource(h, r));
}

// A string table block's sixteen texts.
std::vector<std::wstring> Block(const std::string& b) {
  std::vector<std::wstring> texts;
  size_t at = 0;
  for (int i = 0; i < 16 && at + 2 <= b.size(); ++i) {
    const size_t n = static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
    at += 2;
    std::wstring t;
    for (size_t k = 0; k < n && at + 2 * k + 1 < b.size(); ++k)
      t += static_cast<wchar_t>(static_cast<uint8_t>(b[at + 2 * k]) |
                                static_cast<uint8_t>(b[at + 2 * k + 1]) << 8);
    at += 2 * n;
    texts.push_back(t);
  }
  return texts;
}

// An icon group as its entries' fields (without the image numbers) and
// images, in its language.
std::vector<std::string> Group(HMODULE h, const std::string& g, WORD language) {
  std::vector<std::string> out;
  if (g.size() < 6)
    return {"<short group>"};
  const size_t count = static_cast<uint8_t>(g[4]) | static_cast<uint8_t>(g[5]) << 8;
  for (size_t i = 0; i < count && 6 + 14 * i + 14 <= g.size(); ++i) {
    const std::string entry = g.substr(6 + 14 * i, 12);
    const WORD id = static_cast<WORD>(static_cast<uint8_t>(g[6 + 14 * i + 12]) |
                                      static_cast<uint8_t>(g[6 + 14 * i + 13]) << 8);
    out.push_back(entry + Bytes(h, Key{L"#3", L"#" + std::to_wstring(id), language}));
  }
  return out;
}

// The image the system picks from a group for a size.
std::string Picked(HMODULE h, const Key& group, int size) {
  std::string g = Bytes(h, group);
  const int id = LookupIconIdFromDirectoryEx(reinterpret_cast<PBYTE>(g.data()), TRUE, size, size,
                                             LR_DEFAULTCOLOR);
  if (id == 0)
    return "<none>";
  return Bytes(h, Key{L"#3", L"#" + std::to_wstring(id), std::get<2>(group)});
}

std::string Narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w)
    s += c < 128 ? static_cast<char>(c) : '?';
  return s;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: compare_resources A.EXE B.EXE\n");
    return 2;
  }
  Module m[2];
  for (int i = 0; i < 2; ++i) {
    m[i].h = LoadLibraryExW(argv[i + 1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (m[i].h == nullptr) {
      std::fprintf(stderr, "compare_resources: cannot load %ls (%lu)\n", argv[i + 1],
                   GetLastError());
      return 2;
    }
    EnumResourceTypesW(m[i].h, OnType, reinterpret_cast<LONG_PTR>(&m[i]));
  }
  int differences = 0;
  auto differ = [&](const Key& k, const char* what) {
    std::printf("differ: %s %s %u: %s\n", Narrow(std::get<0>(k)).c_str(),
                Narrow(std::get<1>(k)).c_str(), std::get<2>(k), what);
    ++differences;
  };
  // The images are compared through their groups, whatever their numbers.
  auto listed = [](const Module& mod) {
    std::set<Key> keys;
    for (const Key& k : mod.keys) {
      if (std::get<0>(k) != L"#3")
        keys.insert(k);
    }
    return keys;
  };
  const std::set<Key> a = listed(m[0]), b = listed(m[1]);
  for (const Key& k : a) {
    if (!b.count(k))
      differ(k, "only in the first");
  }
  for (const Key& k : b) {
    if (!a.count(k))
      differ(k, "only in the second");
  }
  size_t compared = 0;
  for (const Key& k : a) {
    if (!b.count(k))
      continue;
    ++compared;
    const std::string x = Bytes(m[0].h, k), y = Bytes(m[1].h, k);
    if (std::get<0>(k) == L"#6") {
      if (Block(x) != Block(y))
        differ(k, "the texts differ");
    } else if (std::get<0>(k) == L"#14") {
      if (Group(m[0].h, x, std::get<2>(k)) != Group(m[1].h, y, std::get<2>(k)))
        differ(k, "the icon images differ");
      for (int size : {16, 32}) {
        if (Picked(m[0].h, k, size) != Picked(m[1].h, k, size))
          differ(k, size == 16 ? "the 16 x 16 image picked differs" : "the 32 x 32 image differs");
      }
    } else if (x != y) {
      differ(k, ("the bytes differ (" + std::to_string(x.size()) + " and " +
                 std::to_string(y.size()) + " bytes)")
                    .c_str());
    }
  }
  for (UINT id = 1001; id <= 1012; ++id) {
    const wchar_t* s[2] = {};
    int n[2] = {};
    for (int i = 0; i < 2; ++i)
      n[i] = LoadStringW(m[i].h, id, reinterpret_cast<LPWSTR>(&s[i]), 0);
    const std::wstring_view x(s[0] != nullptr ? s[0] : L"",
                              n[0] > 0 ? static_cast<size_t>(n[0]) : 0);
    const std::wstring_view y(s[1] != nullptr ? s[1] : L"",
                              n[1] > 0 ? static_cast<size_t>(n[1]) : 0);
    if (x != y) {
      std::printf("differ: LoadString %u\n", id);
      ++differences;
    }
  }
  if (differences != 0) {
    std::printf("%d differences\n", differences);
    return 1;
  }
  std::printf("%lu resources, the same in both (and strings 1001-1012 through LoadString)\n",
              static_cast<unsigned long>(compared));
  return 0;
}
