#include "window/OvMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

// Answers the next question box from the event loop that the box runs.
class TestOvMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void chineseButtons();

private:
    template <typename Act> static void whenShown(Act act)
    {
        auto *timer = new QTimer;
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [timer, act] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            timer->stop();
            timer->deleteLater();
            act(box);
        });
        timer->start();
    }
};

void TestOvMessageBox::answers_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("expected");
    QTest::newRow("Yes") << "yes" << 0x4000;
    QTest::newRow("No") << "no" << 0x10000;
    QTest::newRow("Escape answers No") << "escape" << 0x10000;
    QTest::newRow("closing answers No") << "close" << 0x10000;
}

void TestOvMessageBox::answers()
{
    QFETCH(QString, how);
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/OvZentaUpdate-en_US.qm")));
    QCoreApplication::installTranslator(&translator);

    QString title, text, yesText, noText;
    bool isModal = false;
    whenShown([&](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        yesText = box->button(QMessageBox::Yes)->text();
        noText = box->button(QMessageBox::No)->text();
        isModal = box->isModal();
        if (how == QLatin1String("yes"))
            box->button(QMessageBox::Yes)->click();
        else if (how == QLatin1String("no"))
            box->button(QMessageBox::No)->click();
        else if (how == QLatin1String("escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    });
    const int result = OvMessageBox::confirm(QStringLiteral("Tip"), QStringLiteral("Start?"));
    QCoreApplication::removeTranslator(&translator);

    QTEST(result, "expected");
    QCOMPARE(title, QStringLiteral("Tip"));
    QCOMPARE(text, QStringLiteral("Start?"));
    QCOMPARE(yesText, QStringLiteral("Yes"));
    QCOMPARE(noText, QStringLiteral("No"));
    QVERIFY2(isModal, "the question must be modal");
}

void TestOvMessageBox::chineseButtons()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/OvZentaUpdate-zh_CN.qm")));
    QCoreApplication::installTranslator(&translator);
    QString yesText, noText;
    whenShown([&](QMessageBox *box) {
        yesText = box->button(QMessageBox::Yes)->text();
        noText = box->button(QMessageBox::No)->text();
        box->button(QMessageBox::No)->click();
    });
    OvMessageBox::confirm(QStringLiteral("t"), QStringLiteral("x"));
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(yesText, QString::fromUtf8("是"));
    QCOMPARE(noText, QString::fromUtf8("否"));
}

QTEST_MAIN(TestOvMessageBox)
#include "tst_ovmessagebox.moc"
