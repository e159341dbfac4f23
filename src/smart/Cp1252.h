#pragma once
// The code-page-1252 conversions live in common/ (the INI reader needs them).
#include "common/Cp1252.h"
