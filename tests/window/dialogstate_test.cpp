// The file dialogs leave nothing of their own on the PC: Qt's dialog state under
// "QtProject" is put back as it was, also when another Qt program keeps values there.
#include "window/filedialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestDialogState : public QObject
{
    Q_OBJECT

    static QSettings Shared() { return {QSettings::UserScope, QStringLiteral("QtProject")}; }

    // Each of the program's file dialogs, cancelled once it is up.
    static void EachDialog()
    {
        for (const bool save : {true, false}) {
            auto* poll = new QTimer;
            QObject::connect(poll, &QTimer::timeout, [poll] {
                if (QWidget* dialog = QApplication::activeModalWidget()) {
                    poll->deleteLater();
                    poll->stop();
                    dialog->close();
                }
            });
            poll->start(50);
            if (save)
                TFileDialogs::Save(nullptr, "Export", QDir::tempPath() + "/x.txt", "(*.txt)");
            else
                TFileDialogs::Open(nullptr, "Import", QDir::tempPath(), "(*.txt)");
        }
    }

private slots:
    void nothingIsLeftWhereNothingWas()
    {
        QFile::remove(Shared().fileName());
        EachDialog();
        QVERIFY2(!QFile::exists(Shared().fileName()), qPrintable(Shared().fileName()));
    }

    void anotherProgramsStateStaysAsItWas()
    {
        {
            QSettings settings = Shared();
            settings.setValue("FileDialog/lastVisited", "file:///elsewhere");
            settings.setValue("Other/kept", 7);
        }
        EachDialog();
        QSettings settings = Shared();
        QCOMPARE(settings.allKeys(), QStringList({"FileDialog/lastVisited", "Other/kept"}));
        QCOMPARE(settings.value("FileDialog/lastVisited").toString(), "file:///elsewhere");
    }
};

int main(int argc, char* argv[])
{
    // The user's own settings are never touched by the test.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QApplication application(argc, argv);
    TestDialogState test;
    return QTest::qExec(&test, argc, argv);
}

#include "dialogstate_test.moc"
