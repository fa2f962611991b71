#include "common/Errors.h"

#include "common/Text.h"

Error::Error(std::u16string message) : message_(std::move(message)), utf8_(ToUtf8(message_)) {}

void Error::Prefix(std::u16string_view context) {
  message_ = std::u16string(context) + u": " + message_;
  utf8_ = ToUtf8(message_);
}

std::u16string MessageOf(const std::exception& e) {
  const auto* err = dynamic_cast<const Error*>(&e);
  return err != nullptr ? err->Message() : FromUtf8(e.what());
}
