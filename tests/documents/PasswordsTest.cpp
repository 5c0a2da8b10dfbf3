#include "documents/Passwords.h"
#include "support/TestSupport.h"

namespace {

// Fixes the seed for the scope and brings the previous source back afterwards.
class TFixedSeed {
public:
    explicit TFixedSeed(int seed) : FSaved(SetPasswordRandomSource([seed] { return seed; })) {}
    ~TFixedSeed() { SetPasswordRandomSource(FSaved); }

private:
    TRandomSource FSaved;
};

} // namespace

// Vectors worked out by hand from the letter pairs, the key cycle and the rotations.
TEST(PasswordsTest, ScrambleGivesKnownLettersForAFixedSeed)
{
    {
        TFixedSeed seed(0x1F3);   // only the low byte counts
        EXPECT_EQ(ScramblePassword("Пароль1", "SendPass"), "dznvmxpkhukrmkis");
    }
    {
        TFixedSeed seed(0);   // a password longer than its key cycles the key
        EXPECT_EQ(ScramblePassword("abcdefghij", "ProxyPass"), "akitmtnlmxmneyiydzozar");
    }
    TFixedSeed seed(-1);
    EXPECT_EQ(ScramblePassword("", "RecvPass"), "pz");
}

TEST(PasswordsTest, EverySeedAndEveryByteReadsBack)
{
    AnsiString plain;
    for (int i = 0; i < 256; ++i)
        plain.push_back(static_cast<char>(i));
    for (int seed = 0; seed < 256; seed += 17) {
        TFixedSeed fixed(seed);
        const AnsiString text = ScramblePassword(plain, "ProxyPass");
        ASSERT_EQ(text.size(), 2 * plain.size() + 2);
        for (size_t i = 0; i < text.size(); i += 2) {
            EXPECT_TRUE(text[i] >= 'a' && text[i] <= 'p') << i;
            EXPECT_TRUE(text[i + 1] >= 'k' && text[i + 1] <= 'z') << i;
        }
        EXPECT_EQ(UnscramblePassword(text, "ProxyPass"), plain);
    }
}

TEST(PasswordsTest, TheClockSeededSourceGivesDifferentTextsThatReadBackAlike)
{
    SetPasswordRandomSource(nullptr);
    AnsiString first = ScramblePassword("Секрет", "SendPass");
    AnsiString second = first;
    for (int attempt = 0; attempt < 20 && second == first; ++attempt)
        second = ScramblePassword("Секрет", "SendPass");
    EXPECT_NE(first, second);
    EXPECT_ANSI_EQ(UnscramblePassword(first, "SendPass"), "Секрет");
    EXPECT_ANSI_EQ(UnscramblePassword(second, "SendPass"), "Секрет");
}

TEST(PasswordsTest, ShortAndOddTextsAndAnEmptyKey)
{
    for (const char* text : {"", "k", "kpk"})
        EXPECT_EQ(UnscramblePassword(text, "RecvPass"), "") << text;
    // Letters outside the alphabet are taken as they come, without a failure.
    EXPECT_EQ(UnscramblePassword("ZZ!!", "RecvPass").size(), 1u);

    TFixedSeed seed(3);
    EXPECT_EQ(UnscramblePassword(ScramblePassword("abc", ""), ""), "abc");
}
