// The errors of the shell services: the registry and the shell's objects.
#pragma once

#include "common/Errors.h"

class RegistryError : public Error {
 public:
  using Error::Error;
};

class OleError : public Error {
 public:
  using Error::Error;
};
