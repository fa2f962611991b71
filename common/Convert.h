// Text to number and boolean conversions with the rules the publisher's
// libraries have always used, and the errors they raise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Optional leading spaces, an optional sign, then decimal digits or
// hexadecimal digits after "$", "x" or "0x" (either case). The value must fit
// a signed 32-bit integer. Nothing may follow the digits.
std::optional<int32_t> TryTextToInt(std::u16string_view text);

// As TryTextToInt; raises ConvertError "'text' is not a valid integer value".
int32_t TextToInt(std::u16string_view text);

// A number (integer as above, or decimal with an optional fraction and
// exponent) reads true when it is not 0; otherwise "True" and "False" in any
// letter case. Raises ConvertError "'text' is not a valid boolean value".
bool TextToBool(std::u16string_view text);
