#include "ProfileFiles.h"
#include "ValidationRecords.h"

#include "documents/Exportfiles.h"
#include "documents/Validate.h"

namespace {

AnsiString Failure(TExportValidator& validator, TRecord& record)
{
    return CheckOutcome([&] { validator.Validate(&record); }, "passed");
}

const char Ambiguous[] = "Неоднозначные данные: заполнен счет ПУ и также указаны реквизиты внешнего платежа";

} // namespace

TEST(RecordValidationTest, FieldsAreRewrittenNormalisedUpToTheFirstFailure)
{
    TExportValidator validator(&ExportDocTypes[2]);   // DelCli: name, account
    validator.Prepare();
    TLine record("  иванов   иван ; 123 ; x ");
    validator.Validate(&record);
    // Fields beyond the kind's count are neither checked nor rewritten.
    EXPECT_ANSI_EQ(record.GetText(), "ИВАНОВ ИВАН;000000000123; x ");

    TLine blanks(" \t ;");
    EXPECT_ANSI_EQ(Failure(validator, blanks), "ФИО: Значение поля не задано");

    // The first failure names its column and keeps the fields before it.
    TLine badAccount(" ли  хуа ;12a");
    EXPECT_ANSI_EQ(Failure(validator, badAccount), "Счет: Обнаружен недопустимый символ: a");
    EXPECT_ANSI_EQ(badAccount.GetText(), "ЛИ ХУА;12a");

    // A free-text field longer than its column allows; optional empty fields pass.
    TExportValidator newCli(&ExportDocTypes[1]);
    TLine client("Ли;4510 123456;21;1/2/2015;Москва;ОВД;770-001;3/4/1980;;;77;Москва;Тверская 1;;Москва;;"
                 "Москва;слово;123;М;VSCL;");
    EXPECT_EQ(Failure(newCli, client), "passed");
    EXPECT_ANSI_EQ(client.Get(3), "01/02/2015");
    client.Set(6, "770-0011");
    EXPECT_ANSI_EQ(Failure(newCli, client), "Код подр.: Значение поля слишком велико");
    client.Set(21, "12345678901234");
    client.Set(6, "770-001");
    EXPECT_ANSI_EQ(Failure(newCli, client), "Инн: Значение поля слишком велико");
}

class SalaryValidationTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TSelectedProfile Selected{Dir.File("velton.ini"), Dir.Path()};   // no reference lists required
    TSalaryValidator Validator;
};

TEST_F(SalaryValidationTest, ARecordOfThreeFieldsMeetsNoGroupRule)
{
    Validator.Prepare();
    TLine record("петров  пётр;40817810000000000001;1750.5");
    EXPECT_EQ(Failure(Validator, record), "passed");
    EXPECT_ANSI_EQ(record.GetText(), "ПЕТРОВ ПЁТР;40817810000000000001;1750.50");

    TLine zero("Петров;1;0.00");
    EXPECT_ANSI_EQ(Failure(Validator, zero), "Сумма: Значение должно быть больше нуля");
    TLine noAccount("Петров;;5");
    EXPECT_ANSI_EQ(Failure(Validator, noAccount), "Счет: Значение поля не задано");
}

TEST_F(SalaryValidationTest, GroupRulesRunAfterTheFieldsAreNormalised)
{
    // "Счет ПУ" needs a comment; the fields are already normalised when the rule fails.
    TLine service("петров;1;100;;55");
    EXPECT_ANSI_EQ(Failure(Validator, service), "Комментарий: Значение поля не задано");
    EXPECT_ANSI_EQ(service.GetText(), "ПЕТРОВ;000000000001;100.00;;55");

    // Any detail of an external payment needs all of them: the first missing one is named.
    TLine external("Петров;1;100;за май;;044525225");
    EXPECT_ANSI_EQ(Failure(Validator, external), "Наименование получателя: Значение поля не задано");
    TLine noComment("Петров;1;100;;;;;;;40702810000000000009");
    EXPECT_ANSI_EQ(Failure(Validator, noComment), "БИК: Значение поля не задано");
    TLine complete("Петров;1;100;за май;;044525225;;ООО Вода;7707083893;40702810000000000009");
    EXPECT_EQ(Failure(Validator, complete), "passed");
}

// A payment to an external recipient with every detail of the recipient still needs a
// comment.
TEST_F(SalaryValidationTest, AnExternalPaymentWithAllTheRecipientsDetailsNeedsAComment)
{
    TLine noComment("Петров;1;100;;;044525225;;ООО Вода;7707083893;40702810000000000009");
    EXPECT_ANSI_EQ(Failure(Validator, noComment), "Комментарий: Значение поля не задано");
}

TEST_F(SalaryValidationTest, ServiceAccountBesideRecipientAccountIsAmbiguous)
{
    // Both group rules pass first; only then the two accounts clash.
    TLine both("Петров;1;100;за май;55;044525225;;ООО Вода;7707083893;40702810000000000009");
    EXPECT_ANSI_EQ(Failure(Validator, both), Ambiguous);
    TLine serviceOnly("Петров;1;100;за май;55");
    EXPECT_EQ(Failure(Validator, serviceOnly), "passed");
    // The salary list declares three fields: the columns beyond them take part in the
    // record rules only, their values are not checked.
    TLine shortInn("Петров;1;100;за май;;044525225;;ООО Вода;77;40702810000000000009");
    EXPECT_EQ(Failure(Validator, shortInn), "passed");
}
