// The message of the Error a callable raises; empty when it raises none.
#pragma once

#include <string>

#include "common/Errors.h"

template <typename F>
std::u16string ErrorOf(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.Message();
  }
  return {};
}
