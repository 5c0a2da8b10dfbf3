#pragma once
// All text inside the program is code page 1251, held in std::string. The few texts that
// must hold characters CP1251 lacks (what a check found in a record, naming such a
// character) are UTF-8, in std::string too: Utf8String names them, so that no reader
// takes one for the other.

#include <string>

using AnsiString = std::string;
using Utf8String = std::string;
