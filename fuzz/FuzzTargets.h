// The fuzz targets: each takes arbitrary bytes and must neither crash, hang,
// allocate without bound nor write outside its scratch folders. libFuzzer
// drives them; the regression tests replay the inputs kept in the tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The package reader on a file of these bytes.
void FuzzPackageIndex(const uint8_t* data, size_t size);
// DecryptText: the first byte splits the rest into password and envelope.
void FuzzEnvelope(const uint8_t* data, size_t size);
// The table text form, then every cell read as text, integer and boolean.
void FuzzTable(const uint8_t* data, size_t size);
// ExtractPackage into a scratch destination and system folder; aborts when
// anything is left outside them, or a temporary file is left behind. Inputs
// of an odd length stream every body, the others inflate them whole.
void FuzzExtract(const uint8_t* data, size_t size);

// One body inflated the whole way, streamed by zlib and by the fast
// inflater, and each stream fed byte by byte (the first three bytes give the
// unpacked size, up to 128 KiB, and with their top bit the exact end
// `verify` holds bodies to); aborts when they differ in the bytes they give
// or in whether and how they refuse it (the fast way may take a Huffman code
// zlib refuses, see package/Inflate.h), or when a body read exactly is sound
// and the extractor's way is not.
void FuzzInflate(const uint8_t* data, size_t size);

// A program given as the setup stub: its headers, and the tree of its
// resource section when it has one; the bytes also read as a resource
// section of their own. A tree that reads is written and read again and
// must come back the same (aborts otherwise).
void FuzzResources(const uint8_t* data, size_t size);

// Where the targets put their files: a folder of their own, made on first use.
const std::string& FuzzScratch();
