// The errors of the package reader.
#pragma once

#include "common/Errors.h"

// A package whose bytes cannot be read or do not hold what they announce.
class PackageReadError : public Error {
 public:
  using Error::Error;
};
