#include "common/Errors.h"

#include "common/Text.h"

Error::Error(std::u16string message) : message_(std::move(message)), utf8_(ToUtf8(message_)) {}

ListIndexError::ListIndexError(int index)
    : Error(u"List index out of bounds (" + IntToText(index) + u")") {}
