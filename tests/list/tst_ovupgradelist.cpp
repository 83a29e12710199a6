#include "common/OvTestSupport.h"
#include "gui/list/OvApplicationUpgradeInfo.h"
#include "gui/list/OvModuleUpgradeInfo.h"
#include "gui/list/OvUpgradeListWidget.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QTextBrowser>
#include <QTranslator>
#include <QtTest>

namespace {

const QString kPageUrl = QStringLiteral("https://upgrade.example/cam?v=2.1");

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

// The upgrade list as the update window uses it, down to its rows' headers and bodies: what a
// user sees and clicks, and what the window gets back as signals and opened pages.
class TestOvUpgradeList : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { opened.append(url); }
    void onUpgradeRer(bool isStartUpgrade) { requested.append(isStartUpgrade); }

private slots:
    void initTestCase();
    void init()
    {
        opened.clear();
        requested.clear();
    }
    void textsAndRequests_data();
    void textsAndRequests();
    void forcedModule_data();
    void forcedModule();

private:
    QVector<QUrl> opened;  // by the desktop's URL handler, which this test stands in for
    QList<bool> requested; // the flag of each sigUpgradeRer
};

void TestOvUpgradeList::initTestCase()
{
    // The empty scheme too: an empty address must not even be offered to the desktop.
    for (const char *scheme : {"https", "http", ""})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "openUrl");
}

void TestOvUpgradeList::textsAndRequests_data()
{
    QTest::addColumn<QString>("language"); // also the catalogue loaded
    QTest::addColumn<int>("projId");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("buttonTexts"); // not started/started
    QTest::addColumn<int>("pagesOpened");     // by the three clicks; -1: the suite's own requests
    QTest::addColumn<QString>("body");

    QTest::newRow("suite, English")
        << "en_US" << -1 << QString() << "Upgrade/Stop Update" << -1 << "Fixes.\n\n\n";
    QTest::newRow("suite, Chinese, an address ignored")
        << "zh_CN" << -1 << kPageUrl << "开始升级/停止升级" << -1 << "修复。\n\n\n";
    QTest::newRow("web page, Chinese") << "zh_CN" << 5 << kPageUrl << "跳转升级界面/跳转升级界面"
                                       << 3 << "摄像头可升级至V2.1\n修复。\n\n\n";
    QTest::newRow("empty address, English")
        << "en_US" << 5 << QString() << "Upgrade/Upgrade" << 0 << "CamAvailableV2.1\nFixes.\n\n\n";
    // Only the exact code is Chinese; zh_TW has no catalogue either, so the keys show.
    QTest::newRow("zh_TW") << "zh_TW" << 5 << kPageUrl << "BtnUpgradePage/BtnUpgradePage" << 3
                           << "CamLabUpgradeAvailableV2.1\nFixes.\n\n\n";
}

// The row's body as it reads, then start, stop and start again by clicks.
void TestOvUpgradeList::textsAndRequests()
{
    QFETCH(QString, language);
    QFETCH(int, projId);
    QFETCH(QString, url);
    QFETCH(QString, buttonTexts);
    QFETCH(int, pagesOpened);
    const Catalogue catalogue(language);
    // One available application, then an unavailable and a null record, which are passed over.
    OvModuleUpgradeInfo module;
    module.setUpgradeInfo(projId, QStringLiteral("Camera module"), QString(), true, false);
    OvApplicationUpgradeInfo *application = module.applications.last();
    application->englishName = QStringLiteral("Cam");
    application->chineseName = QString::fromUtf8("摄像头");
    application->version = QStringLiteral("2.1");
    application->englishDescription = QStringLiteral("Fixes.");
    application->chineseDescription = QString::fromUtf8("修复。");
    module.upgradeUrl = url;
    module.setUpgradeInfo(projId, module.title, QStringLiteral("Later."), false, false);
    module.applications.append(nullptr);
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
    const QString line =
        QStringLiteral("OvUpgradeListWidget::onUpgrade %1 \"%2\" ").arg(projId).arg(url);
    QCOMPARE(log.lines(), (QStringList{line + "true", line + "false", line + "true"}));
    QCOMPARE(requested, (pagesOpened < 0 ? QList<bool>{true, false, true} : QList<bool>()));
    QCOMPARE(opened, QVector<QUrl>(std::max(pagesOpened, 0), QUrl(url)));
}

void TestOvUpgradeList::forcedModule_data()
{
    QTest::addColumn<QList<bool>>("available"); // one forced application each
    QTest::addColumn<QList<bool>>("requests");
    QTest::addColumn<QString>("buttonText");

    QTest::newRow("one") << QList<bool>{true} << QList<bool>{true} << "Stop Update";
    QTest::newRow("two") << QList<bool>{true, true} << QList<bool>{true, false} << "Upgrade";
    QTest::newRow("unavailable") << QList<bool>{false} << QList<bool>{} << "Upgrade";
}

void TestOvUpgradeList::forcedModule()
{
    QFETCH(QList<bool>, available);
    QFETCH(QList<bool>, requests);
    QFETCH(QString, buttonText);

    const Catalogue catalogue(QStringLiteral("en_US"));
    OvModuleUpgradeInfo module;
    for (bool isAvailable : available)
        module.setUpgradeInfo(-1, QStringLiteral("Zenta V3.0"), QString(), isAvailable, true);
    OvUpgradeListWidget list;
    connect(&list, &OvUpgradeListWidget::sigUpgradeRer, this, &TestOvUpgradeList::onUpgradeRer);
    list.addModule(&module);

    QCOMPARE(requested, requests); // emitted inside addModule, before any event is processed
    const auto *button = part<QPushButton>(&list, 0, "btnUpgrade");
    QCOMPARE(button->isHidden(), !requests.isEmpty());
    QCOMPARE(button->text(), buttonText);
}

QTEST_MAIN(TestOvUpgradeList)
#include "tst_ovupgradelist.moc"
