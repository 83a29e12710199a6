#include "window/OvMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

class TestOvMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
};

void TestOvMessageBox::answers_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("isChinese");  // the catalogue loaded
    QTest::addColumn<QString>("buttons"); // Yes and No as shown

    QTest::newRow("Yes") << "yes" << 0x4000 << false << "Yes/No";
    QTest::newRow("Escape answers No, in Chinese")
        << "escape" << 0x10000 << true << QString::fromUtf8("是/否");
    QTest::newRow("closing answers No") << "close" << 0x10000 << false << "Yes/No";
}

void TestOvMessageBox::answers()
{
    QFETCH(QString, how);
    QFETCH(bool, isChinese);
    QTranslator translator;
    QVERIFY(translator.load(isChinese ? ":/OvZentaUpdate-zh_CN.qm" : ":/OvZentaUpdate-en_US.qm"));
    QCoreApplication::installTranslator(&translator);

    // Answers the box from the event loop that the box runs.
    QString seen;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !seen.isEmpty())
            return;
        QAbstractButton *yes = box->button(QMessageBox::Yes);
        QAbstractButton *no = box->button(QMessageBox::No);
        seen = box->windowTitle() + '|' + box->text() + '|' + yes->text() + '/' + no->text();
        if (how == QLatin1String("escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        else if (how == QLatin1String("close"))
            box->close();
        else
            yes->click();
    });
    timer.start(10);
    const int result = OvMessageBox::confirm(QStringLiteral("Tip"), QStringLiteral("Start?"));
    QCoreApplication::removeTranslator(&translator);

    QTEST(result, "expected");
    QFETCH(QString, buttons);
    QCOMPARE(seen, "Tip|Start?|" + buttons);
}

QTEST_MAIN(TestOvMessageBox)
#include "tst_ovmessagebox.moc"
