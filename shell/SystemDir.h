// The Windows system directory, ending in "\".
#pragma once

#include <string>

std::u16string GetSystemDir();
