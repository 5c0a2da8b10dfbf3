#pragma once
// All text inside the program is code page 1251, held in std::string.

#include <string>

using AnsiString = std::string;
