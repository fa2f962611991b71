// Neutral pictures for a new product, drawn here so that a publisher needs
// no picture tools to make a first Setup.exe: each passes the checks of
// ProductSettings.h, and the same call gives the same bytes.
#pragma once

#include <string>

// A welcome banner: a baseline JPEG of 160 x 308, three components; the
// Chinese one and the English one differ in their tint only.
std::string DefaultBanner(bool chinese);
// The header picture: a .bmp file of 32 x 32, 24 bits, uncompressed.
std::string DefaultHeaderPicture();
// The program's icon: an .ico file with a 16 x 16 and a 32 x 32 image.
std::string DefaultIcon();
