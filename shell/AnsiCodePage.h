// The system's ANSI code page, through Windows' own conversions.
#pragma once

#include "package/CodePage.h"

const CodePage& AnsiCodePage();
