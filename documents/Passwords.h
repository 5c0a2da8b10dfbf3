#pragma once
// The scrambled form in which the profiles file keeps passwords: a seed byte, then one
// byte per password byte chained to the one before, each written as a pair of letters
// ("a".."p" for the low four bits, "k".."z" for the high four). The stored value is "\"
// followed by that text. It keeps passwords from being read at a glance; it is not
// encryption.

#include "platform/AnsiString.h"

#include <functional>

// The letters of the scrambled form of plain (2 × length + 2 letters), without the "\".
// key is the name of the INI key that holds the password ("SendPass", "RecvPass",
// "ProxyPass"). The seed is random, so two calls give different texts that read back alike.
AnsiString ScramblePassword(const AnsiString& plain, const AnsiString& key);

// The plain password of a scrambled text (the part after the "\"). A text of fewer than
// two letters gives ""; a last unpaired letter is ignored; letters are not validated.
AnsiString UnscramblePassword(const AnsiString& text, const AnsiString& key);

// Where the seed comes from: any integer, taken modulo 256. Tests fix it; an empty function
// restores the built-in generator, seeded from the clock. Returns the source it replaces.
using TRandomSource = std::function<int()>;
TRandomSource SetPasswordRandomSource(TRandomSource source);
