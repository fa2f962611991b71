// The errors of the tables.
#pragma once

#include "common/Errors.h"

// An index outside a list.
class ListIndexError : public Error {
 public:
  using Error::Error;
  explicit ListIndexError(int index);
};
