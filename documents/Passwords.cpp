#include "documents/Passwords.h"

#include <chrono>
#include <cstdint>
#include <random>

namespace {

int DefaultRandom()
{
    static std::minstd_rand generator(
        static_cast<std::minstd_rand::result_type>(std::chrono::system_clock::now().time_since_epoch().count()));
    return static_cast<int>(generator());
}

TRandomSource& RandomSource()
{
    static TRandomSource source = DefaultRandom;
    return source;
}

uint8_t RotateLeft(uint8_t value, unsigned places)
{
    places &= 7;
    return static_cast<uint8_t>((value << places) | (value >> ((8 - places) & 7)));
}

uint8_t RotateRight(uint8_t value, unsigned places)
{
    places &= 7;
    return static_cast<uint8_t>((value >> places) | (value << ((8 - places) & 7)));
}

void AppendLetterPair(AnsiString& text, uint8_t value)
{
    text.push_back(static_cast<char>('a' + (value & 15)));
    text.push_back(static_cast<char>('k' + (value >> 4)));
}

uint8_t LetterPairAt(const AnsiString& text, size_t pair)
{
    const auto low = static_cast<unsigned char>(text[2 * pair]);
    const auto high = static_cast<unsigned char>(text[2 * pair + 1]);
    return static_cast<uint8_t>((low - 'a') + 16 * (high - 'k'));
}

// The key's bytes one after another, starting again after the last; an empty key gives 0.
class TKeyCycle {
public:
    explicit TKeyCycle(const AnsiString& key) : FKey(key) {}
    uint8_t Next()
    {
        if (FKey.empty())
            return 0;
        const auto byte = static_cast<uint8_t>(FKey[FPosition]);
        FPosition = (FPosition + 1) % FKey.size();
        return byte;
    }

private:
    const AnsiString& FKey;
    size_t FPosition = 0;
};

} // namespace

AnsiString ScramblePassword(const AnsiString& plain, const AnsiString& key)
{
    auto previous = static_cast<uint8_t>(RandomSource()() & 0xFF);
    AnsiString text;
    text.reserve(2 * plain.size() + 2);
    AppendLetterPair(text, previous);
    TKeyCycle keyBytes(key);
    for (size_t i = 1; i <= plain.size(); ++i) {
        const auto mixed = static_cast<uint8_t>(static_cast<uint8_t>(plain[i - 1]) ^ keyBytes.Next());
        previous = static_cast<uint8_t>(previous ^ RotateRight(mixed, i % 8));
        AppendLetterPair(text, previous);
    }
    return text;
}

AnsiString UnscramblePassword(const AnsiString& text, const AnsiString& key)
{
    const size_t pairs = text.size() / 2;
    if (pairs < 2)
        return AnsiString();
    AnsiString plain;
    plain.reserve(pairs - 1);
    TKeyCycle keyBytes(key);
    uint8_t previous = LetterPairAt(text, 0);
    for (size_t i = 1; i < pairs; ++i) {
        const uint8_t current = LetterPairAt(text, i);
        plain.push_back(static_cast<char>(keyBytes.Next() ^ RotateLeft(previous ^ current, i % 8)));
        previous = current;
    }
    return plain;
}

TRandomSource SetPasswordRandomSource(TRandomSource source)
{
    TRandomSource replaced = RandomSource();
    RandomSource() = source ? std::move(source) : TRandomSource(DefaultRandom);
    return replaced;
}
