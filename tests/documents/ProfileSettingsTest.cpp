#include "ProfileFiles.h"

#include "platform/Paths.h"

using ProfileSettingsTest = ProfileFileTest;

TEST_F(ProfileSettingsTest, DefaultsOfAMinimalProfile)
{
    const TProfile& profile = SelectProfile({});
    EXPECT_EQ(profile.CipherType, ctPgp);
    EXPECT_EQ(profile.BankPgpKey, "6C1E9A04D7B35F28");
    EXPECT_EQ(profile.PgpKeyPath, "a:/");
    EXPECT_EQ(profile.RecvType, ttPop3);
    EXPECT_EQ(profile.RecvPort, 110);
    EXPECT_FALSE(profile.RecvHost.empty());
    // The sending side repeats the receiving side.
    EXPECT_EQ(profile.SendType, ttSmtp);
    EXPECT_EQ(profile.SendPort, 25);
    EXPECT_EQ(profile.SendHost, profile.RecvHost);
    EXPECT_EQ(profile.SendUser, "client");
    EXPECT_EQ(profile.SendPass, "secret");
    EXPECT_EQ(profile.EMail, "client");
    EXPECT_NE(profile.BankEMail.find('@'), AnsiString::npos);
    EXPECT_EQ(profile.ProxyPort, 3128);
    EXPECT_ANSI_EQ(profile.DataPath, ProgramFolder());
}

TEST_F(ProfileSettingsTest, GivenValues)
{
    const TProfile& profile =
        SelectProfile({"RecvHost=pop.bank", "RecvType=imap4", "SendType=http", "SendHost=www.bank", "SendPort=8080",
                "SendUser=s", "SendPass=\\kpkwkwkwksdmhr", "EMail=me@client", "BankEMail=bank@bank",
                "ProxyHost=proxy", "ProxyPort=0", "ProxyUser=pu", "DataPath=/srv/data"});
    EXPECT_EQ(profile.RecvType, ttImap4);
    EXPECT_EQ(profile.RecvPort, 143);   // the default of the type
    EXPECT_EQ(profile.SendType, ttHttp);
    EXPECT_EQ(profile.SendPort, 8080);
    EXPECT_EQ(profile.SendHost, "www.bank");
    EXPECT_NE(profile.SendPass, "secret");   // scrambled under the key SendPass
    EXPECT_EQ(profile.BankEMail, "bank@bank");
    EXPECT_EQ(profile.ProxyPort, 0);
    EXPECT_EQ(profile.DataPath, "/srv/data/");
}

TEST_F(ProfileSettingsTest, TransportDefaultsFollowTheType)
{
    EXPECT_EQ(SelectProfile({"RecvType=HTTP"}).RecvPort, 80);
    EXPECT_EQ(SelectProfile({"SendType=HTTP"}).SendPort, 80);
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

TEST_F(ProfileSettingsTest, Prefix)
{
    EXPECT_EQ(SelectProfile({"Prefix=ab1"}).Prefix, "AB1");
    const AnsiString error = "Профиль P: Параметр Prefix должен состоять из трех латинских букв и/или цифр";
    for (const char* prefix : {"AB", "ABCD", "абв", "A-B"})
        EXPECT_ANSI_EQ(SelectError({AnsiString("Prefix=") + prefix}), error);
}

TEST_F(ProfileSettingsTest, MissingPrefixUserOrPassword)
{
    WriteBytes(FileName, IniText({"[P]"}));
    Store.Open(FileName);
    EXPECT_RAISES(Store.Select(0), Exception, "Профиль P: Не задано значение параметра Prefix");
    WriteBytes(FileName, IniText({"[P]", "Prefix=ABC", "RecvUser=u"}));
    Store.Open(FileName);
    EXPECT_RAISES(Store.Select(0), Exception, "Профиль P: Не задано значение параметра RecvPass");
}

TEST_F(ProfileSettingsTest, PgpCipher)
{
    const TProfile& profile = SelectProfile({"CipherType=pgp", "BankPgpKey=0123456789ABCDEF", "PgpKeyPath=keys\\gpg"});
    EXPECT_EQ(profile.CipherType, ctPgp);
    EXPECT_EQ(profile.BankPgpKey, "0123456789ABCDEF");
    EXPECT_ANSI_EQ(profile.PgpKeyPath, ProgramFolder() + "keys/gpg/");

    const AnsiString error = "Профиль P: Параметр BankPgpKey должен состоять из шестнадцати hex-цифр";
    for (const char* key : {"0123456789abcdef", "0123456789ABCDE", "0123456789ABCDEG"})
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
}

TEST_F(ProfileSettingsTest, SwitchingTheCipherClearsTheOtherCiphersFields)
{
    SelectProfile({"CipherType=VERBA", "VerbaPubPath=p", "VerbaSecPath=s"});
    TProfile& profile = *Store.Current();
    Store.Ini()->WriteString("P", "CipherType", "PGP");
    Store.Select(0);
    EXPECT_EQ(profile.BankVerbaKey, "");
    EXPECT_EQ(profile.VerbaPubPath, "");
    EXPECT_EQ(profile.VerbaSecPath, "");
    EXPECT_EQ(profile.BankPgpKey, "6C1E9A04D7B35F28");
}

TEST_F(ProfileSettingsTest, TheFirstFailingKeyWins)
{
    // Prefix comes before the cipher, the cipher before the ports, the ports before the kinds.
    EXPECT_ANSI_EQ(SelectError({"Prefix=A", "CipherType=X"}),
                   "Профиль P: Параметр Prefix должен состоять из трех латинских букв и/или цифр");
    EXPECT_ANSI_EQ(SelectError({"CipherType=X", "RecvPort=x"}), "Профиль P: Неверное значение параметра CipherType");
    EXPECT_ANSI_EQ(SelectError({"ProxyPort=70000", "Salary.FileCount=-1"}),
                   "Профиль P: Неверное значение параметра ProxyPort");
    EXPECT_ANSI_EQ(SelectError({"Salary.FileCount=-1", "NewCli.FileCount=-1"}),
                   "Профиль P: Неверное значение параметра Salary.FileCount");
}
