// The system's ANSI code page, through Windows' own conversions.
#pragma once

#include "common/CodePage.h"

const CodePage& AnsiCodePage();
