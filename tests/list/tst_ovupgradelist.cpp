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
std::unique_ptr<OvModuleUpgradeInfo> makeModule(tds4 projId, const QString &url = kPageUrl)
{
    auto module = std::make_unique<OvModuleUpgradeInfo>();
    module->setUpgradeInfo(projId, QStringLiteral("Module %1").arg(projId), QString(), true, false);
    OvApplicationUpgradeInfo *application = module->applications.last();
    application->englishName = QStringLiteral("Cam");
    application->chineseName = QString::fromUtf8("摄像头");
    application->version = QStringLiteral("2.1");
    application->englishDescription = QStringLiteral("Fixes.");
    application->chineseDescription = QString::fromUtf8("修复。");
    module->upgradeUrl = url;
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

template <typename T = QWidget> T *part(QListWidget *list, int row, const char *name)
{
    return list->itemWidget(list->item(row))->findChild<T *>(QLatin1String(name));
}

QPushButton *button(QListWidget *list, int row)
{
    return part<QPushButton>(list, row, "btnUpgrade");
}

// The flag of each sigUpgradeRer caught.
QList<bool> flags(const QSignalSpy &spy)
{
    QList<bool> flags;
    for (const QList<QVariant> &arguments : spy)
        flags.append(arguments.at(0).toBool());
    return flags;
}

// The header's progress as painted: the bar's width along its top edge.
int shownBar(QListWidget *list, int row)
{
    return barRun(part(list, row, "wgtHead")->grab().toImage(), 1);
}

} // namespace

// The upgrade list as the update window uses it, down to its rows' headers and bodies: what a
// user sees and clicks, and what the window gets back as signals and opened pages.
class TestOvUpgradeList : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's browser, so that opened pages can be counted.
    void openUrl(const QUrl &url) { opened.append(url); }

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

private:
    QList<QUrl> opened;
};

void TestOvUpgradeList::initTestCase()
{
    qRegisterMetaType<tds4>("tds4");
    QFile style(QStringLiteral(":/qss/resource/dark.qss"));
    QVERIFY2(style.open(QIODevice::ReadOnly), "application style sheet missing");
    qApp->setStyleSheet(QString::fromLatin1(style.readAll()));
    // The empty scheme too: an empty address must not even be offered to the desktop.
    for (const char *scheme : {"https", "http", ""})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "openUrl");
}

void TestOvUpgradeList::bodyText_data()
{
    QTest::addColumn<QString>("language"); // also the catalogue loaded
    QTest::addColumn<int>("projId");
    QTest::addColumn<QString>("text");

    QTest::newRow("other project, English") << "en_US" << 3 << "CamAvailableV2.1\nFixes.\n\n\n";
    QTest::newRow("other project, Chinese")
        << "zh_CN" << 3 << QString::fromUtf8("摄像头可升级至V2.1\n修复。\n\n\n");
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
    QTest::newRow("hidden") << -1.0f << 0 << QString();
    QTest::newRow("not a number") << std::nanf("") << 0 << QString();
}

// The suite's row, started, under an expanded row, in the window's blue, as the window shows
// it. The bar is measured along the header's bottom edge, below label and button; the text is
// compared, between label and button, with the same string drawn top-centred in the header's
// font. With OV_SCREENSHOT naming a file, the 42.5% row saves the picture for the documentation.
void TestOvUpgradeList::progressPainting()
{
    QFETCH(float, progress);
    QFETCH(int, barWidth);
    QFETCH(QString, text);

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
    QWidget *header = part(list, 1, "wgtHead");
    QTRY_COMPARE(header->width(), 400);
    clickAt(part(list, 0, "wgtHead"), QPoint(200, 4));
    QTest::mouseClick(button(list, 1), Qt::LeftButton);
    list->setUpgradeProgress(-1, 0.75f); // what was shown before must not linger
    list->setUpgradeProgress(-1, progress);
    list->setUpgradeProgress(9, 0.9f);             // no such project
    QTRY_VERIFY(header->parentWidget()->y() > 46); // below the expanded row

    const QImage picture = window.grab().toImage();
    const QString path = qEnvironmentVariable("OV_SCREENSHOT");
    if (!path.isEmpty() && text == QLatin1String("42.5%"))
        QVERIFY2(picture.save(path), qPrintable(QStringLiteral("cannot write ") + path));
    QCOMPARE(QColor(picture.pixel(2, 2)), QColor(0, 102, 179));
    QCOMPARE(shownBar(list, 0), 0); // the camera's row shows nothing

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
    QTest::addColumn<QList<bool>>("expanded");

    QTest::newRow("next row takes over")
        << QList<int>{0, 1} << Qt::LeftButton << QList<bool>{false, true};
    QTest::newRow("expanded row collapses")
        << QList<int>{0, 1, 1} << Qt::LeftButton << QList<bool>{false, false};
    QTest::newRow("and expands again")
        << QList<int>{0, 1, 1, 1} << Qt::LeftButton << QList<bool>{false, true};
    QTest::newRow("right button, first click")
        << QList<int>{1, 0} << Qt::RightButton << QList<bool>{true, false};
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
        clickAt(part(&list, row, "wgtHead"), QPoint(200, 4), mouseButton);

    for (int row = 0; row < expanded.size(); ++row) {
        QCOMPARE(part(&list, row, "wgtBody")->isVisible(), expanded[row]);
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
    QTest::addColumn<int>("pagesOpened"); // by the four clicks; -1: the suite's own requests

    const QString en = QStringLiteral("Upgrade");
    const QString page = QString::fromUtf8("跳转升级界面");
    QTest::newRow("suite, English") << "en_US" << -1 << "" << en << "Stop Update" << -1;
    QTest::newRow("suite, Chinese, an address ignored")
        << "zh_CN" << -1 << kPageUrl << QString::fromUtf8("开始升级")
        << QString::fromUtf8("停止升级") << -1;
    QTest::newRow("web page") << "zh_CN" << 5 << kPageUrl << page << page << 4;
    QTest::newRow("empty address") << "en_US" << 5 << "" << en << en << 0;
}

// Start and stop by clicks; then, as after a declined retry, the row is reset while started
// and showing progress: silently back to its start, and one click starts it again.
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
    list.resize(400, 200);
    QSignalSpy requests(&list, SIGNAL(sigUpgradeRer(bool))); // as the window connects it
    list.addModule(makeModule(projId, url).get());
    QCOMPARE(button(&list, 0)->text(), startText);

    opened.clear();
    const OvTestSupport::LogCapture log;
    for (bool isStart : {true, false, true}) {
        QTest::mouseClick(button(&list, 0), Qt::LeftButton);
        QCOMPARE(button(&list, 0)->text(), isStart ? stopText : startText);
    }
    list.setUpgradeProgress(projId, 0.5f);
    QVERIFY2(shownBar(&list, 0) > 100, "no progress to reset");
    list.resetUpgrade(projId);
    QCOMPARE(button(&list, 0)->text(), startText);
    QCOMPARE(shownBar(&list, 0), 0);
    QTest::mouseClick(button(&list, 0), Qt::LeftButton);
    for (const char *flag : {"true", "false"}) {
        const QString line = QStringLiteral("OvUpgradeListWidget::onUpgrade %1 \"%2\" %3")
                                 .arg(projId)
                                 .arg(url, flag);
        QVERIFY2(log.count(line) == (flag[0] == 't' ? 3 : 1), qPrintable("not so logged: " + line));
    }

    QCOMPARE(flags(requests),
             (pagesOpened < 0 ? QList<bool>{true, false, true, true} : QList<bool>()));
    const QList<QUrl> pages{QUrl(url), QUrl(url), QUrl(url), QUrl(url)};
    QCOMPARE(opened, pages.mid(0, std::max(pagesOpened, 0)));
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

    QCOMPARE(flags(spy), requests); // emitted inside addModule, before any event is processed
    QCOMPARE(button(&list, 0)->isHidden(), !requests.isEmpty());
    if (!requests.isEmpty())
        QCOMPARE(button(&list, 0)->text(), hiddenText);
}

QTEST_MAIN(TestOvUpgradeList)
#include "tst_ovupgradelist.moc"
