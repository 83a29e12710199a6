#include "window/OvMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

// The workflow test answers its questions with Yes and with Escape in English; this is the
// rest of what a user meets.
class TestOvMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void closingAnswersNoInChinese();
};

void TestOvMessageBox::closingAnswersNoInChinese()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/OvZentaUpdate-zh_CN.qm")));
    QCoreApplication::installTranslator(&translator);
    // Closes the box from the event loop that the box runs.
    QString seen;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !seen.isEmpty())
            return;
        seen = box->windowTitle() + '|' + box->text() + '|' +
               box->button(QMessageBox::Yes)->text() + '/' + box->button(QMessageBox::No)->text();
        box->close();
    });
    timer.start(10);
    QCOMPARE(OvMessageBox::confirm(QStringLiteral("Tip"), QStringLiteral("Start?")), 0x10000);
    QCOMPARE(seen, QString::fromUtf8("Tip|Start?|是/否"));
}

QTEST_MAIN(TestOvMessageBox)
#include "tst_ovmessagebox.moc"
