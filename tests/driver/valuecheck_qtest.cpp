// Which cell texts may go to the instrument as a value: control characters and commands too
// long for the driver's buffer are refused, Latin-1 text is allowed.
#include "driver/sdi12d.h"
#include "driver/valuecheck.h"

#include <QTest>

#include <string>

class TestValueCheck : public QObject
{
    Q_OBJECT

private slots:
    void controlCharactersAreRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("safe");
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("plain") << QByteArray("Probe 1 -12.5e-3") << true;
        QTest::newRow("blank and tilde") << QByteArray(" ~") << true;
        QTest::newRow("Latin-1 letters") << QByteArray("\xA0\xB0\xE9\xFF") << true;
        QTest::newRow("CR") << QByteArray("a\rb") << false;
        QTest::newRow("LF") << QByteArray("a\n") << false;
        QTest::newRow("lead byte") << QByteArray("\x02") << false;
        QTest::newRow("NUL") << QByteArray("a\0b", 3) << false;
        QTest::newRow("tab") << QByteArray("a\tb") << false;
        QTest::newRow("unit separator") << QByteArray("\x1F") << false;
        QTest::newRow("DEL") << QByteArray("\x7F") << false;
        QTest::newRow("C1 first") << QByteArray("\x80") << false;
        QTest::newRow("C1 last") << QByteArray("x\x9F") << false;
    }

    void controlCharactersAreRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, safe);
        const std::string reason = UnsafeValueReason("S0NAM", text.toStdString()).value_or("");
        QCOMPARE(reason.empty(), safe);
        if (!safe)
            QVERIFY(QByteArray::fromStdString(reason).startsWith("Not sent"));
    }

    void commandMustFitTheDriversBuffer()
    {
        // key "=" value CR LF
        const std::string key = "TH2STD";
        const size_t room = size_t(MaxCommandLength) - key.size() - 3;
        QVERIFY(!UnsafeValueReason(key, std::string(room, '1')));
        const std::string reason = UnsafeValueReason(key, std::string(room + 1, '1')).value_or("");
        QVERIFY(!reason.empty());
        QVERIFY(QByteArray::fromStdString(reason).contains("too long"));
        QVERIFY(UnsafeValueReason(key, std::string(100000, '1')).has_value());
        // The same value fits a shorter key.
        QVERIFY(!UnsafeValueReason("S0NAM", std::string(room + 1, '1')));
        // The driver really sends the longest command that passes.
        dev_opt record;
        record.WriteKey = key;
        record.ValueToWrite = std::string(room, '1');
        record.Operation = OpWrite;
        QCOMPARE(Tsdi12d::BuildCommand(record).size(), size_t(MaxCommandLength));
    }

    void charactersBeyondLatin1AreRefused()
    {
        QVERIFY(!UnrepresentableTextReason(u""));
        QVERIFY(!UnrepresentableTextReason(u"25\u00B0C \u00FF"));
        QVERIFY(UnrepresentableTextReason(u"5 \u20AC").has_value());
        QVERIFY(UnrepresentableTextReason(u"\u0100").has_value());
        QVERIFY(UnrepresentableTextReason(u"\U0001F600").has_value());
    }
};

QTEST_APPLESS_MAIN(TestValueCheck)

#include "valuecheck_qtest.moc"
