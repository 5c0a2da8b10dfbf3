#include "ProfileFiles.h"

#include "platform/Paths.h"

using ProfileSettingsTest = ProfileFileTest;

TEST_F(ProfileSettingsTest, TheSendingSideRepeatsTheReceivingSideUnlessGiven)
{
    const TProfile& defaults = SelectProfile({"RecvHost=pop.bank", "RecvType=imap4"});
    EXPECT_EQ(defaults.RecvType, ttImap4);
    EXPECT_EQ(defaults.RecvPort, 143);   // the default of the type
    EXPECT_EQ(defaults.SendType, ttSmtp);
    EXPECT_EQ(defaults.SendPort, 25);
    EXPECT_EQ(defaults.SendHost, "pop.bank");
    EXPECT_EQ(defaults.SendUser, "client");
    EXPECT_EQ(defaults.SendPass, "secret");
    EXPECT_EQ(defaults.EMail, "client");
    EXPECT_ANSI_EQ(defaults.DataPath, ProgramFolder());

    const TProfile& given = SelectProfile({"SendType=http", "SendHost=www.bank", "SendUser=s", "EMail=me@client",
                                           "ProxyPort=0", "DataPath=/srv/data"});
    EXPECT_EQ(given.SendType, ttHttp);
    EXPECT_EQ(given.SendPort, 80);
    EXPECT_EQ(given.SendHost, "www.bank");
    EXPECT_EQ(given.SendUser, "s");
    EXPECT_EQ(given.EMail, "me@client");
    EXPECT_EQ(given.ProxyPort, 0);
    EXPECT_EQ(given.DataPath, "/srv/data/");
    EXPECT_EQ(SelectProfile({"RecvType=HTTP"}).RecvPort, 80);
    EXPECT_ANSI_EQ(SelectError({"SendType=POP3"}), "Профиль P: Неверное значение параметра SendType");
    EXPECT_ANSI_EQ(SelectError({"RecvType=SMTP"}), "Профиль P: Неверное значение параметра RecvType");
}

TEST_F(ProfileSettingsTest, MailAddressesHoldNoControlCharacters)
{
    // They reach the mail headers and the SMTP envelope, where a CR would start a line of its own.
    EXPECT_ANSI_EQ(SelectError({"BankEMail=bank@bank\rBcc: other@example.test"}),
                   "Профиль P: Неверное значение параметра BankEMail");
    EXPECT_ANSI_EQ(SelectError({"EMail=me\x01@client"}), "Профиль P: Неверное значение параметра EMail");
    EXPECT_ANSI_EQ(SelectError({"RecvUser=me\x7F" "@client"}), "Профиль P: Неверное значение параметра EMail");
}

TEST_F(ProfileSettingsTest, PrefixAndPassword)
{
    EXPECT_EQ(SelectProfile({"Prefix=ab1"}).Prefix, "AB1");
    const AnsiString error = "Профиль P: Параметр Prefix должен состоять из трех латинских букв и/или цифр";
    for (const char* prefix : {"AB", "ABCD", "абв", "A-B"})
        EXPECT_ANSI_EQ(SelectError({AnsiString("Prefix=") + prefix}), error);
    EXPECT_ANSI_EQ(SelectError({"Prefix="}), "Профиль P: Не задано значение параметра Prefix");
    EXPECT_ANSI_EQ(SelectError({"RecvPass="}), "Профиль P: Не задано значение параметра RecvPass");
}

TEST_F(ProfileSettingsTest, PgpCipher)
{
    EXPECT_EQ(SelectProfile({}).PgpKeyPath, "a:/");
    const TProfile& profile = SelectProfile({"CipherType=pgp", "BankPgpKey=0123456789ABCDEF", "PgpKeyPath=keys\\gpg"});
    EXPECT_EQ(profile.CipherType, ctPgp);
    EXPECT_EQ(profile.BankPgpKey, "0123456789ABCDEF");
    EXPECT_ANSI_EQ(profile.PgpKeyPath, ProgramFolder() + "keys/gpg/");

    const AnsiString error = "Профиль P: Параметр BankPgpKey должен состоять из шестнадцати hex-цифр";
    for (const char* key : {"0123456789abcdef", "0123456789ABCDE"})
        EXPECT_ANSI_EQ(SelectError({AnsiString("BankPgpKey=") + key}), error);
    EXPECT_ANSI_EQ(SelectError({"CipherType=RSA"}), "Профиль P: Неверное значение параметра CipherType");
}

TEST_F(ProfileSettingsTest, VerbaCipher)
{
    EXPECT_ANSI_EQ(SelectError({"CipherType=verba"}), "Профиль P: Не задано значение параметра VerbaPubPath");
    EXPECT_ANSI_EQ(SelectError({"CipherType=verba", "VerbaPubPath=pub"}),
                   "Профиль P: Не задано значение параметра VerbaSecPath");

    const TProfile& profile =
        SelectProfile({"CipherType=verba", "BankPgpKey=bad", "VerbaPubPath=/keys/pub", "VerbaSecPath=a:\\sec"});
    EXPECT_EQ(profile.CipherType, ctVerba);
    EXPECT_EQ(profile.BankVerbaKey, "0586");
    EXPECT_EQ(profile.VerbaPubPath, "/keys/pub/");
    EXPECT_EQ(profile.VerbaSecPath, "a:/sec/");
    EXPECT_EQ(profile.BankPgpKey, "");
    EXPECT_EQ(profile.PgpKeyPath, "");

    const AnsiString error = "Профиль P: Параметр BankVerbaKey должен состоять из четырех цифр";
    EXPECT_ANSI_EQ(SelectError({"CipherType=VERBA", "VerbaPubPath=p", "VerbaSecPath=s", "BankVerbaKey=058"}), error);
    EXPECT_ANSI_EQ(SelectError({"CipherType=VERBA", "VerbaPubPath=p", "VerbaSecPath=s", "BankVerbaKey=05a6"}), error);

    // Switching the cipher clears the other cipher's fields.
    SelectProfile({"CipherType=VERBA", "VerbaPubPath=p", "VerbaSecPath=s"});
    TProfile& switched = *Store.Current();
    Store.Ini()->WriteString("P", "CipherType", "PGP");
    Store.Select(0);
    EXPECT_EQ(switched.BankVerbaKey, "");
    EXPECT_EQ(switched.VerbaPubPath, "");
    EXPECT_EQ(switched.VerbaSecPath, "");
    EXPECT_EQ(switched.BankPgpKey, "6C1E9A04D7B35F28");
}

