#include "common/OvTestSupport.h"
#include "window/list/OvApplicationUpgradeInfo.h"
#include "window/list/OvListItemBodyForm.h"
#include "window/list/OvListItemHeaderForm.h"
#include "window/list/OvModuleUpgradeInfo.h"
#include "window/list/OvUpgradeListWidget.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QTranslator>
#include <QVBoxLayout>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

const QColor kBarColor(0, 157, 254);
const QString kPageUrl = QStringLiteral("https://upgrade.example/cam?v=2.1");

// Installs the real catalogue of `language` while it lives, as start-up does.
struct Catalogue
{
    explicit Catalogue(const QString &language)
    {
        if (translator.load(QStringLiteral(":/OvZentaUpdate-%1.qm").arg(language)))
            QCoreApplication::installTranslator(&translator);
    }
    ~Catalogue() { QCoreApplication::removeTranslator(&translator); }
    QTranslator translator;
};

// A module with one available application that has names, a version and descriptions.
std::unique_ptr<OvModuleUpgradeInfo> makeModule(tds4 projId, bool isForceUpgrade = false)
{
    auto module = std::make_unique<OvModuleUpgradeInfo>();
    module->setUpgradeInfo(projId, QStringLiteral("Module %1").arg(projId), QString(), true,
                           isForceUpgrade);
    OvApplicationUpgradeInfo *application = module->applications.last();
    application->englishName = QStringLiteral("Cam");
    application->chineseName = QString::fromUtf8("摄像头");
    application->version = QStringLiteral("2.1");
    application->englishDescription = QStringLiteral("Fixes.");
    application->chineseDescription = QString::fromUtf8("修复。");
    module->upgradeUrl = kPageUrl;
    return module;
}

// Clicks the deepest child at `pos`, so the press travels up the parents as a real one does.
void clickAt(QWidget *widget, const QPoint &pos, Qt::MouseButton button = Qt::LeftButton)
{
    QWidget *target = widget->childAt(pos) ? widget->childAt(pos) : widget;
    QTest::mouseClick(target, button, Qt::NoModifier, target->mapFrom(widget, pos));
}

// Length of the run of bar-coloured pixels that starts at the left edge in row `y`.
int barRun(const QImage &image, int y)
{
    int x = 0;
    while (x < image.width() && QColor(image.pixel(x, y)) == kBarColor)
        ++x;
    return x;
}

template <typename T> T *part(QListWidget *list, int row, const char *name)
{
    return list->itemWidget(list->item(row))->findChild<T *>(QLatin1String(name));
}

QPushButton *button(QListWidget *list, int row)
{
    return part<QPushButton>(list, row, "btnUpgrade");
}

// The header's progress as painted: the bar's width along its top edge.
int shownBar(QListWidget *list, int row)
{
    return barRun(part<QWidget>(list, row, "wgtHead")->grab().toImage(), 1);
}

} // namespace

// Stands in for the desktop's browser so that opened pages can be counted.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// The upgrade list as the update window uses it, down to its rows' headers and bodies: what a
// user sees and clicks, and what the window gets back as signals and opened pages.
class TestOvUpgradeList : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bodyText_data();
    void bodyText();
    void progressPainting_data();
    void progressPainting();
    void expandCollapse_data();
    void expandCollapse();
    void upgradeRequests_data();
    void upgradeRequests();
    void forcedModule_data();
    void forcedModule();
    void resetUpgrade();
    void screenshot();

private:
    UrlRecorder browser;
};

void TestOvUpgradeList::initTestCase()
{
    qRegisterMetaType<tds4>("tds4");
    QFile style(QStringLiteral(":/qss/resource/dark.qss"));
    QVERIFY2(style.open(QIODevice::ReadOnly), "application style sheet missing");
    qApp->setStyleSheet(QString::fromLatin1(style.readAll()));
    // The empty scheme too: an empty address must not even be offered to the desktop. The
    // handlers go when the recorder does.
    for (const char *scheme : {"https", "http", ""})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &browser, "open");
}

void TestOvUpgradeList::bodyText_data()
{
    QTest::addColumn<QString>("language"); // also the catalogue loaded
    QTest::addColumn<int>("projId");
    QTest::addColumn<QString>("text");

    QTest::newRow("other project, English") << "en_US" << 3 << "CamAvailableV2.1\nFixes.\n\n\n";
    QTest::newRow("other project, Chinese")
        << "zh_CN" << 3 << QString::fromUtf8("摄像头可升级至V2.1\n修复。\n\n\n");
    QTest::newRow("suite, English") << "en_US" << -1 << "Fixes.\n\n\n";
    QTest::newRow("suite, Chinese") << "zh_CN" << -1 << QString::fromUtf8("修复。\n\n\n");
    // Only the exact code is Chinese; zh_TW has no catalogue either, so the key shows.
    QTest::newRow("zh_TW") << "zh_TW" << 3 << "CamLabUpgradeAvailableV2.1\nFixes.\n\n\n";
}

void TestOvUpgradeList::bodyText()
{
    QFETCH(QString, language);
    QFETCH(int, projId);

    const Catalogue catalogue(language);
    const auto module = makeModule(projId);
    // Unavailable and null application records are passed over.
    module->setUpgradeInfo(projId, module->title, QStringLiteral("Later."), false, false);
    module->applications.append(nullptr);
    OvListItemBodyForm body;
    body.setLanguage(language);
    body.setModuleInfo(module.get());
    body.setModuleInfo(nullptr);
    QTEST(body.findChild<QTextBrowser *>(QStringLiteral("textBrowser"))->toPlainText(), "text");
}

void TestOvUpgradeList::progressPainting_data()
{
    QTest::addColumn<float>("progress");
    QTest::addColumn<int>("barWidth");
    QTest::addColumn<QString>("text"); // empty: none

    QTest::newRow("42.5%") << 0.425f << 170 << "42.5%";
    QTest::newRow("nothing yet") << 0.0f << 0 << "0.0%";
    QTest::newRow("bar truncated, text rounded") << 0.1239f << 49 << "12.4%";
    QTest::newRow("complete") << 1.0f << 400 << QString();
    QTest::newRow("hidden") << -1.0f << 0 << QString();
    QTest::newRow("not a number") << std::nanf("") << 0 << QString();
}

// The bar is measured along the bottom edge, below label and button; the text is compared,
// between label and button, with the same string drawn top-centred in the header's font.
void TestOvUpgradeList::progressPainting()
{
    QFETCH(float, progress);
    QFETCH(int, barWidth);
    QFETCH(QString, text);

    const Catalogue catalogue(QStringLiteral("en_US"));
    OvListItemHeaderForm header;
    header.setIndex(0);
    header.setModuleInfo(makeModule(-1).get());
    header.resize(400, 46);
    header.setProgress(0.75f); // what was shown before must not linger
    header.setProgress(progress);
    const QImage shot = header.grab().toImage().convertToFormat(QImage::Format_RGB32);

    QCOMPARE(barRun(shot, 44), barWidth);
    if (barWidth == shot.width())
        return; // the text sits on the bar; it is compared on white only
    QCOMPARE(QColor(shot.pixel(barWidth, 44)), QColor(Qt::white));

    QImage expected(shot.size(), QImage::Format_RGB32);
    // Point sizes resolve by resolution, so the reference takes the header's.
    expected.setDotsPerMeterX(qRound(header.logicalDpiX() / 0.0254));
    expected.setDotsPerMeterY(qRound(header.logicalDpiY() / 0.0254));
    expected.fill(Qt::white);
    QPainter painter(&expected);
    painter.setFont(header.font());
    painter.drawText(expected.rect(), Qt::AlignTop | Qt::AlignHCenter, text);
    painter.end();
    const int left = std::max(barWidth, header.findChild<QLabel *>("labName")->geometry().right());
    const int right = header.findChild<QPushButton *>("btnUpgrade")->geometry().left();
    QVERIFY2(right - left > 60, "no room between label and button");
    for (int x = left; x < right; ++x) {
        for (int y = 0; y < shot.height(); ++y)
            QVERIFY2(shot.pixel(x, y) == expected.pixel(x, y),
                     qPrintable(QStringLiteral("pixel %1,%2 is not the text's").arg(x).arg(y)));
    }
}

void TestOvUpgradeList::expandCollapse_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<Qt::MouseButton>("mouseButton");
    QTest::addColumn<QList<bool>>("expanded");

    QTest::newRow("none") << QList<int>{} << Qt::LeftButton << QList<bool>{false, false};
    QTest::newRow("first click") << QList<int>{1} << Qt::LeftButton << QList<bool>{false, true};
    QTest::newRow("next row takes over")
        << QList<int>{0, 1} << Qt::LeftButton << QList<bool>{false, true};
    QTest::newRow("expanded row collapses")
        << QList<int>{0, 1, 1} << Qt::LeftButton << QList<bool>{false, false};
    QTest::newRow("and expands again")
        << QList<int>{0, 1, 1, 1} << Qt::LeftButton << QList<bool>{false, true};
    QTest::newRow("right button") << QList<int>{1, 0} << Qt::RightButton
                                  << QList<bool>{true, false};
}

void TestOvUpgradeList::expandCollapse()
{
    QFETCH(QList<int>, clicks);
    QFETCH(Qt::MouseButton, mouseButton);
    QFETCH(QList<bool>, expanded);

    OvUpgradeListWidget list; // Chinese: the row language until set otherwise
    const auto suite = makeModule(-1);
    // Markup folds the line feeds into one short line: that body is held at its minimum of 46.
    suite->applications[0]->chineseDescription = QStringLiteral("<p>Short.</p>");
    list.addModule(suite.get());
    list.addModule(makeModule(5).get()); // five lines, taller than that
    list.resize(400, 360);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy requests(&list, &OvUpgradeListWidget::sigUpgradeRer);
    for (int row : clicks)
        clickAt(part<QWidget>(&list, row, "wgtHead"), QPoint(200, 4), mouseButton);

    for (int row = 0; row < expanded.size(); ++row) {
        QCOMPARE(part<QWidget>(&list, row, "wgtBody")->isVisible(), expanded[row]);
        const QString icon = part<QLabel>(&list, row, "labExpand")->styleSheet();
        QCOMPARE(icon.contains("unfold.png"), expanded[row]);
        const auto *browser = part<QTextBrowser>(&list, row, "textBrowser");
        const int text = static_cast<int>(browser->document()->size().height());
        QCOMPARE(list.item(row)->sizeHint(),
                 QSize(100, expanded[row] ? std::max(46, text) + 46 : 46));
        if (expanded[row]) {
            QCOMPARE(browser->height(), text);
            QVERIFY2((text < 46) == (row == 0), "the rows do not exercise the minimum");
        }
    }
    QVERIFY2(requests.isEmpty(), "expanding must not start anything");
}

void TestOvUpgradeList::upgradeRequests_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("projId");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("startText");
    QTest::addColumn<QString>("stopText");
    QTest::addColumn<int>("pagesOpened"); // by two clicks; -1: the suite's own requests

    const QString en = QStringLiteral("Upgrade");
    const QString page = QString::fromUtf8("跳转升级界面");
    QTest::newRow("suite, English") << "en_US" << -1 << "" << en << "Stop Update" << -1;
    QTest::newRow("suite, Chinese") << "zh_CN" << -1 << "" << QString::fromUtf8("开始升级")
                                    << QString::fromUtf8("停止升级") << -1;
    QTest::newRow("suite ignores an address")
        << "en_US" << -1 << kPageUrl << en << "Stop Update" << -1;
    QTest::newRow("web page, English") << "en_US" << 5 << kPageUrl << en << en << 2;
    QTest::newRow("web page, Chinese") << "zh_CN" << 5 << kPageUrl << page << page << 2;
    QTest::newRow("empty address") << "en_US" << 5 << "" << en << en << 0;
    QTest::newRow("malformed address") << "en_US" << 7 << "http://[::1" << en << en << 0;
}

void TestOvUpgradeList::upgradeRequests()
{
    QFETCH(QString, language);
    QFETCH(int, projId);
    QFETCH(QString, url);
    QFETCH(QString, startText);
    QFETCH(QString, stopText);
    QFETCH(int, pagesOpened);

    const Catalogue catalogue(language);
    OvUpgradeListWidget list;
    QSignalSpy requests(&list, SIGNAL(sigUpgradeRer(bool))); // as the window connects it
    const auto module = makeModule(projId);
    module->upgradeUrl = url;
    list.addModule(module.get());
    QCOMPARE(button(&list, 0)->text(), startText);

    browser.opened.clear();
    const OvTestSupport::LogCapture log;
    for (bool isStart : {true, false}) {
        QTest::mouseClick(button(&list, 0), Qt::LeftButton);
        QCOMPARE(button(&list, 0)->text(), isStart ? stopText : startText);
        const QString line = QStringLiteral("OvUpgradeListWidget::onUpgrade %1 \"%2\" %3")
                                 .arg(projId)
                                 .arg(url, isStart ? "true" : "false");
        QVERIFY2(log.count(line) == 1, qPrintable(QStringLiteral("not logged: ") + line));
    }
    QCOMPARE(requests.count(), pagesOpened < 0 ? 2 : 0);
    if (pagesOpened < 0)
        QVERIFY(requests.at(0).at(0).toBool() && !requests.at(1).at(0).toBool());
    const QList<QUrl> pages{QUrl(url), QUrl(url)};
    QCOMPARE(browser.opened, pages.mid(0, std::max(pagesOpened, 0)));
}

void TestOvUpgradeList::forcedModule_data()
{
    QTest::addColumn<QList<bool>>("available"); // one forced application each
    QTest::addColumn<QList<bool>>("requests");
    QTest::addColumn<QString>("hiddenText");

    QTest::newRow("one") << QList<bool>{true} << QList<bool>{true} << "Stop Update";
    QTest::newRow("two") << QList<bool>{true, true} << QList<bool>{true, false} << "Upgrade";
    QTest::newRow("unavailable") << QList<bool>{false} << QList<bool>{} << QString();
}

void TestOvUpgradeList::forcedModule()
{
    QFETCH(QList<bool>, available);
    QFETCH(QList<bool>, requests);
    QFETCH(QString, hiddenText);

    const Catalogue catalogue(QStringLiteral("en_US"));
    OvModuleUpgradeInfo module;
    for (bool isAvailable : available)
        module.setUpgradeInfo(-1, QStringLiteral("Zenta V3.0"), QString(), isAvailable, true);
    OvUpgradeListWidget list;
    QSignalSpy spy(&list, &OvUpgradeListWidget::sigUpgradeRer);
    list.addModule(&module);

    // Emitted inside addModule, before any event is processed.
    QList<bool> emitted;
    for (const QList<QVariant> &arguments : spy)
        emitted.append(arguments.at(0).toBool());
    QCOMPARE(emitted, requests);
    QCOMPARE(button(&list, 0)->isHidden(), !requests.isEmpty());
    if (!requests.isEmpty())
        QCOMPARE(button(&list, 0)->text(), hiddenText);
}

// After a declined retry the suite's row starts over, silently.
void TestOvUpgradeList::resetUpgrade()
{
    const Catalogue catalogue(QStringLiteral("en_US"));
    OvUpgradeListWidget list;
    list.addModule(makeModule(-1).get());
    list.addModule(makeModule(5).get());
    list.resize(400, 200);
    QSignalSpy requests(&list, &OvUpgradeListWidget::sigUpgradeRer);
    QTest::mouseClick(button(&list, 0), Qt::LeftButton);
    list.setUpgradeProgress(-1, 0.5f);
    list.setUpgradeProgress(9, 0.9f); // no such project
    const int half = part<QWidget>(&list, 0, "wgtHead")->width() / 2;
    QVERIFY2(half > 100, "header too narrow to tell a bar");
    QCOMPARE(shownBar(&list, 0), half);
    QCOMPARE(shownBar(&list, 1), 0);

    list.resetUpgrade(-1);
    QCOMPARE(requests.count(), 1);
    QCOMPARE(button(&list, 0)->text(), QStringLiteral("Upgrade"));
    QCOMPARE(shownBar(&list, 0), 0);
    QTest::mouseClick(button(&list, 0), Qt::LeftButton);
    QCOMPARE(requests.count(), 2);
    QVERIFY2(requests.last().at(0).toBool(), "the click after a reset must start again");
}

// Renders a list as the window shows it; with OV_SCREENSHOT naming a file the picture is saved
// there for the documentation.
void TestOvUpgradeList::screenshot()
{
    const Catalogue catalogue(QStringLiteral("en_US"));
    QWidget window;
    // An id selector, so that the window's blue stays behind the list and out of the rows.
    window.setObjectName(QStringLiteral("window"));
    window.setAttribute(Qt::WA_StyledBackground);
    window.setStyleSheet(QStringLiteral("#window{background: rgb(0, 102, 179);}"));
    auto *list = new OvUpgradeListWidget(&window);
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(list);
    list->setLanguage(QStringLiteral("en_US"));
    const auto camera = makeModule(5);
    camera->title = QStringLiteral("Camera module");
    list->addModule(camera.get());
    OvModuleUpgradeInfo suite;
    suite.setUpgradeInfo(-1, QStringLiteral("Zenta V3.2.0"),
                         QStringLiteral("Faster start-up.\nFixes a crash when printing."), true,
                         false);
    list->addModule(&suite);
    window.resize(420, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(part<QWidget>(list, 1, "wgtHead")->width(), 400);

    clickAt(part<QWidget>(list, 0, "wgtHead"), QPoint(200, 4));
    QTest::mouseClick(button(list, 1), Qt::LeftButton);
    list->setUpgradeProgress(-1, 0.425f);
    QTRY_VERIFY(list->itemWidget(list->item(1))->y() > 46); // below the expanded row

    const QImage shot = window.grab().toImage();
    const QString path = qEnvironmentVariable("OV_SCREENSHOT");
    if (!path.isEmpty())
        QVERIFY2(shot.save(path), qPrintable(QStringLiteral("cannot write ") + path));
    const QPoint bar = part<QWidget>(list, 1, "wgtHead")->mapTo(&window, QPoint(0, 1));
    QCOMPARE(barRun(shot.copy(QRect(bar, QSize(400, 1))), 0), 170);
    QCOMPARE(QColor(shot.pixel(2, 2)), QColor(0, 102, 179));
}

QTEST_MAIN(TestOvUpgradeList)
#include "tst_ovupgradelist.moc"
