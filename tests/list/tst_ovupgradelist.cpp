#include "common/OvTestSupport.h"
#include "gui/list/OvApplicationUpgradeInfo.h"
#include "gui/list/OvModuleUpgradeInfo.h"
#include "gui/list/OvUpgradeListWidget.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QTranslator>
#include <QtTest>

namespace {

// The real catalogue of `language`, installed while it lives, as start-up does.
struct Catalogue : QTranslator
{
    explicit Catalogue(const QString &language)
    {
        if (load(QStringLiteral(":/OvZentaUpdate-%1.qm").arg(language)))
            QCoreApplication::installTranslator(this);
    }
};

template <typename T = QWidget> T *part(QListWidget *list, int row, const char *name)
{
    return list->itemWidget(list->item(row))->findChild<T *>(QLatin1String(name));
}

} // namespace

// The upgrade list as the update window fills it, with the suite's one row, down to the row's
// header and body: what a user reads and clicks, and the requests the window gets back.
class TestOvUpgradeList : public QObject
{
    Q_OBJECT

public slots:
    void onUpgradeRer(bool isStartUpgrade) { requested.append(isStartUpgrade); }

private slots:
    void init() { requested.clear(); }
    void textsAndRequests_data();
    void textsAndRequests();

private:
    QList<bool> requested; // the flag of each sigUpgradeRer
};

void TestOvUpgradeList::textsAndRequests_data()
{
    QTest::addColumn<QString>("language");    // also the catalogue loaded
    QTest::addColumn<QString>("buttonTexts"); // not started/started
    QTest::addColumn<QString>("body");

    QTest::newRow("English") << "en_US"
                             << "Upgrade/Stop Update"
                             << "Fixes.\n\n\n";
    QTest::newRow("Chinese") << "zh_CN"
                             << "开始升级/停止升级"
                             << "修复。\n\n\n";
    // Only the exact code is Chinese; zh_TW has no catalogue either, so the keys show.
    QTest::newRow("zh_TW") << "zh_TW"
                           << "BtnStartUpgrade/BtnStopUpgrade"
                           << "Fixes.\n\n\n";
}

// The row's body as it reads, then start, stop and start again by clicks.
void TestOvUpgradeList::textsAndRequests()
{
    QFETCH(QString, language);
    QFETCH(QString, buttonTexts);
    const Catalogue catalogue(language);
    OvModuleUpgradeInfo module;
    module.setUpgradeInfo(-1, QStringLiteral("Zenta"), QString(), true, false);
    OvApplicationUpgradeInfo *application = module.applications.last();
    application->englishDescription = QStringLiteral("Fixes.");
    application->chineseDescription = QString::fromUtf8("修复。");
    OvUpgradeListWidget list;
    list.setLanguage(language);
    connect(&list, SIGNAL(sigUpgradeRer(bool)), this, SLOT(onUpgradeRer(bool))); // as the window
    list.addModule(&module);
    QTEST(part<QTextBrowser>(&list, 0, "textBrowser")->toPlainText(), "body");

    const OvTestSupport::LogCapture log;
    auto *button = part<QPushButton>(&list, 0, "btnUpgrade");
    QString texts = button->text();
    for (int click = 0; click < 3; ++click) {
        QTest::mouseClick(button, Qt::LeftButton);
        texts += '/' + button->text();
    }
    QCOMPARE(texts, buttonTexts + '/' + buttonTexts);
    const QString line = QStringLiteral("OvUpgradeListWidget::onUpgrade -1 \"\" ");
    QCOMPARE(log.lines(), (QStringList{line + "true", line + "false", line + "true"}));
    QCOMPARE(requested, (QList<bool>{true, false, true}));
}

QTEST_MAIN(TestOvUpgradeList)
#include "tst_ovupgradelist.moc"
