#include <QtTest>

#include "device/Commands.h"

// Parsing of command texts, which the simulated units rely on. The builders are pinned byte for
// byte by the model suites that send them.
class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void parsesCommandTexts_data();
    void parsesCommandTexts();
    void splitsArgumentsKeepingCommasInTheLastPart_data();
    void splitsArgumentsKeepingCommasInTheLastPart();
};

void TestCommands::parsesCommandTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("hasArgument");
    QTest::addColumn<QString>("argument");

    QTest::newRow("bare") << "CMD_PSTS"
                          << "CMD_" << true << "CMD_PSTS" << false << "";
    QTest::newRow("argument") << "CMD_P48S=3,ON"
                              << "CMD_" << true << "CMD_P48S" << true << "3,ON";
    QTest::newRow("empty argument") << "CMD_NMDV="
                                    << "CMD_" << true << "CMD_NMDV" << true << "";
    QTest::newRow("equals in a name") << "CMD_NMCH=1,a=b"
                                      << "CMD_" << true << "CMD_NMCH" << true << "1,a=b";
    QTest::newRow("other prefix") << "SIM_SLNT=500"
                                  << "SIM_" << true << "SIM_SLNT" << true << "500";
    QTest::newRow("wrong prefix") << "SIM_SLNT"
                                  << "CMD_" << false << "" << false << "";
    QTest::newRow("digits in the code") << "CMD_P48T=2"
                                        << "CMD_" << true << "CMD_P48T" << true << "2";
    QTest::newRow("lower case code") << "CMD_psts"
                                     << "CMD_" << false << "" << false << "";
    QTest::newRow("short code") << "CMD_PST"
                                << "CMD_" << false << "" << false << "";
    QTest::newRow("long code") << "CMD_PSTSX"
                               << "CMD_" << false << "" << false << "";
    QTest::newRow("empty") << ""
                           << "CMD_" << false << "" << false << "";
}

void TestCommands::parsesCommandTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, prefix);
    QFETCH(bool, valid);

    const auto parsed = Commands::parse(text, prefix);
    QCOMPARE(parsed.has_value(), valid);
    if (!valid)
        return;
    QTEST(parsed->code, "code");
    QTEST(parsed->hasArgument, "hasArgument");
    QTEST(parsed->argument, "argument");
}

void TestCommands::splitsArgumentsKeepingCommasInTheLastPart_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("maxParts");
    QTest::addColumn<QStringList>("parts");

    QTest::newRow("switch") << "3,ON" << 2 << QStringList{"3", "ON"};
    QTest::newRow("name with commas") << "1,a,b,c" << 2 << QStringList{"1", "a,b,c"};
    QTest::newRow("no comma") << "7" << 2 << QStringList{"7"};
    QTest::newRow("empty name") << "4," << 2 << QStringList{"4", ""};
    QTest::newRow("one part") << "1,x" << 1 << QStringList{"1,x"};
}

void TestCommands::splitsArgumentsKeepingCommasInTheLastPart()
{
    QFETCH(QString, argument);
    QFETCH(int, maxParts);
    Commands::Parsed parsed;
    parsed.argument = argument;
    QTEST(parsed.splitArgument(maxParts), "parts");
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
