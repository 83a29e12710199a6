#include "common/OvTestSupport.h"
#include "gui/list/OvApplicationUpgradeInfo.h"
#include "gui/list/OvModuleUpgradeInfo.h"
#include "gui/list/OvUpgradeListWidget.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextBrowser>
#include <QTranslator>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

const QColor kBarColor(0, 157, 254);
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

// A module with one available application that has names, a version and descriptions; the
// titles are those of the documentation's picture.
std::unique_ptr<OvModuleUpgradeInfo> makeModule(tds4 projId, const QString &url = kPageUrl)
{
    auto module = std::make_unique<OvModuleUpgradeInfo>();
    const QString title = projId == -1 ? "Zenta V3.2.0" : "Camera module";
    module->setUpgradeInfo(projId, title, QString(), true, false);
    OvApplicationUpgradeInfo *application = module->applications.last();
    application->englishName = QStringLiteral("Cam");
    application->chineseName = QString::fromUtf8("摄像头");
    application->version = QStringLiteral("2.1");
    application->englishDescription = QStringLiteral("Fixes.");
    application->chineseDescription = QString::fromUtf8("修复。");
    module->upgradeUrl = url;
    return module;
}

// Length of the run of bar-coloured pixels that starts at the left edge in row `y`.
int barRun(const QImage &image, int y)
{
    int x = 0;
    while (x < image.width() && QColor(image.pixel(x, y)) == kBarColor)
        ++x;
    return x;
}

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
    void progressPainting_data();
    void progressPainting();
    void expandCollapse_data();
    void expandCollapse();
    void forcedModule_data();
    void forcedModule();

private:
    QVector<QUrl> opened;  // by the desktop's URL handler, which this test stands in for
    QList<bool> requested; // the flag of each sigUpgradeRer
};

void TestOvUpgradeList::initTestCase()
{
    QFile style(QStringLiteral(":/qss/resource/dark.qss"));
    QVERIFY2(style.open(QIODevice::ReadOnly), "application style sheet missing");
    qApp->setStyleSheet(QString::fromLatin1(style.readAll()));
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
    const auto module = makeModule(projId, url);
    // Unavailable and null application records are passed over.
    module->setUpgradeInfo(projId, module->title, QStringLiteral("Later."), false, false);
    module->applications.append(nullptr);
    OvUpgradeListWidget list;
    list.setLanguage(language);
    connect(&list, SIGNAL(sigUpgradeRer(bool)), this, SLOT(onUpgradeRer(bool))); // as the window
    list.addModule(module.get());
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

void TestOvUpgradeList::progressPainting_data()
{
    QTest::addColumn<float>("progress");
    QTest::addColumn<int>("barWidth");
    QTest::addColumn<QString>("text"); // empty: none

    QTest::newRow("42.5%") << 0.425f << 170 << "42.5%";
    QTest::newRow("nothing yet") << 0.0f << 0 << "0.0%";
    QTest::newRow("bar truncated, text rounded") << 0.1239f << 49 << "12.4%";
    QTest::newRow("hidden") << -1.0f << 0 << QString();
    QTest::newRow("not a number") << static_cast<float>(qQNaN()) << 0 << QString();
}

// The suite's row, started, under an expanded row, in the window's blue: the bar measured along
// the header's bottom edge, the text between label and button against the same string drawn
// top-centred in the header's font. OV_SCREENSHOT names a file for the 42.5% row's picture.
void TestOvUpgradeList::progressPainting()
{
    QFETCH(float, progress);
    QFETCH(int, barWidth);
    QFETCH(QString, text);

    const Catalogue catalogue(QStringLiteral("en_US"));
    QWidget window;
    // An id selector, so that the window's blue stays behind the list and out of the rows.
    window.setObjectName(QStringLiteral("window"));
    window.setStyleSheet(QStringLiteral("#window{background: rgb(0, 102, 179);}"));
    auto *list = new OvUpgradeListWidget(&window);
    list->setGeometry(10, 10, 400, 280);
    list->setLanguage(QStringLiteral("en_US"));
    list->addModule(makeModule(5).get());
    list->addModule(makeModule(-1).get());
    window.resize(420, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget *header = part(list, 1, "wgtHead");
    QTRY_COMPARE(header->width(), 400);
    QTest::mouseClick(part(list, 0, "labName"), Qt::LeftButton);
    QTest::mouseClick(part<QPushButton>(list, 1, "btnUpgrade"), Qt::LeftButton);
    list->setUpgradeProgress(-1, 0.75f); // what was shown before must not linger
    list->setUpgradeProgress(-1, progress);
    list->setUpgradeProgress(9, 0.9f);             // no such project
    QTRY_VERIFY(header->parentWidget()->y() > 46); // below the expanded row

    const QString path = qEnvironmentVariable("OV_SCREENSHOT");
    if (!path.isEmpty() && text == QLatin1String("42.5%"))
        QVERIFY2(window.grab().save(path), qPrintable(QStringLiteral("cannot write ") + path));
    QCOMPARE(barRun(part(list, 0, "wgtHead")->grab().toImage(), 1), 0); // the camera's row

    const QImage shot = header->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(barRun(shot, 44), barWidth);
    QCOMPARE(QColor(shot.pixel(barWidth, 44)), QColor(Qt::white));
    QImage expected(shot.size(), QImage::Format_RGB32);
    // Point sizes resolve by resolution, so the reference takes the header's.
    expected.setDotsPerMeterX(qRound(header->logicalDpiX() / 0.0254));
    expected.setDotsPerMeterY(qRound(header->logicalDpiY() / 0.0254));
    expected.fill(Qt::white);
    QPainter painter(&expected);
    painter.setFont(header->font());
    painter.drawText(expected.rect(), Qt::AlignTop | Qt::AlignHCenter, text);
    painter.end();
    // The label's last glyph bleeds a pixel of smoothing past the label.
    const int label = header->findChild<QLabel *>("labName")->geometry().right() + 2;
    const int left = std::max(barWidth, label);
    const QRect between(left, 0, header->findChild<QPushButton *>()->geometry().left() - left, 46);
    QVERIFY2(between.width() > 60, "no room between label and button");
    QVERIFY2(shot.copy(between) == expected.copy(between), "the percentage is not drawn so");
}

void TestOvUpgradeList::expandCollapse_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<Qt::MouseButton>("mouseButton");
    QTest::addColumn<int>("expandedRow"); // -1: none

    QTest::newRow("next row takes over") << QList<int>{0, 1} << Qt::LeftButton << 1;
    QTest::newRow("expanded row collapses") << QList<int>{0, 1, 1} << Qt::LeftButton << -1;
    QTest::newRow("and expands again") << QList<int>{0, 1, 1, 1} << Qt::LeftButton << 1;
    QTest::newRow("right button, first click") << QList<int>{1, 0} << Qt::RightButton << 0;
}

void TestOvUpgradeList::expandCollapse()
{
    QFETCH(QList<int>, clicks);
    QFETCH(Qt::MouseButton, mouseButton);
    QFETCH(int, expandedRow);

    OvUpgradeListWidget list; // Chinese: the row language until set otherwise
    const auto suite = makeModule(-1);
    // Markup folds the line feeds into one short line: that body is held at its minimum of 46.
    suite->applications[0]->chineseDescription = QStringLiteral("<p>Short.</p>");
    list.addModule(suite.get());
    list.addModule(makeModule(5).get()); // five lines, taller than that
    list.resize(400, 360);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    connect(&list, &OvUpgradeListWidget::sigUpgradeRer, this, &TestOvUpgradeList::onUpgradeRer);
    // On the title, as a user would: the press travels up from the label to the header.
    for (int row : clicks)
        QTest::mouseClick(part(&list, row, "labName"), mouseButton);

    for (int row = 0; row < 2; ++row) {
        const bool isExpanded = row == expandedRow;
        QCOMPARE(part(&list, row, "wgtBody")->isVisible(), isExpanded);
        QCOMPARE(part(&list, row, "labExpand")->styleSheet().contains("unfold.png"), isExpanded);
        const auto *browser = part<QTextBrowser>(&list, row, "textBrowser");
        const int text = static_cast<int>(browser->document()->size().height());
        QCOMPARE(list.item(row)->sizeHint(), QSize(100, isExpanded ? std::max(46, text) + 46 : 46));
        if (isExpanded) {
            QCOMPARE(browser->height(), text);
            QVERIFY2((text < 46) == (row == 0), "the rows do not exercise the minimum");
        }
    }
    QVERIFY2(requested.isEmpty(), "expanding must not start anything");
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
