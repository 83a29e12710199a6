#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QResource>
#include <QTranslator>
#include <QtTest>

// The resources compiled into the program: style sheet, catalogues, expander icons.
class TestOvResources : public QObject
{
    Q_OBJECT

private slots:
    void styleSheet();
    void icons_data();
    void icons();
    void catalogue_data();
    void catalogue();
    void languageWithoutCatalogue_data();
    void languageWithoutCatalogue();

private:
    static QString catalogueName(const QString &language)
    {
        // The same name start-up builds from the language code.
        return QStringLiteral(":/OvZentaUpdate-") + language + QStringLiteral(".qm");
    }
};

void TestOvResources::styleSheet()
{
    const QString path = QStringLiteral(":/qss/resource/dark.qss");
    QResource resource(path);
    QVERIFY2(resource.isValid(), "style sheet missing from the resources");
    QCOMPARE(resource.compressionAlgorithm(), QResource::ZlibCompression);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY2(data.contains("\r\n"), "style sheet lost its CR LF line ends");
    QCOMPARE(data.count("\n"), data.count("\r\n"));
    for (const char *rule :
         {"QLabel", "QPushButton:hover", "QPushButton:disabled", "QProgressBar::chunk",
          "QTextBrowser", "QMessageBox QPushButton:pressed", "/**********QMessageBox**********/"})
        QVERIFY2(data.contains(rule), rule);
    QVERIFY(data.contains("background-color: rgb(0, 130, 255);"));
    QVERIFY(data.indexOf("QLabel") < data.indexOf("QPushButton"));
    QVERIFY(data.indexOf("QTextBrowser") < data.indexOf("QMessageBox"));
}

void TestOvResources::icons_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("fold") << ":/resource/fold.png" << QSize(6, 11);
    QTest::newRow("unfold") << ":/resource/unfold.png" << QSize(11, 6);
}

void TestOvResources::icons()
{
    QFETCH(QString, path);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path + QStringLiteral(" does not load")));
    QTEST(image.size(), "size");
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QCOMPARE(QResource(path).compressionAlgorithm(), QResource::NoCompression);
}

void TestOvResources::catalogue_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("chinese");

    const auto row = [](const char *context, const char *key, const char *en, const char *zh) {
        QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(context, key)))
            << QString::fromUtf8(context) << QString::fromUtf8(key) << QString::fromUtf8(en)
            << QString::fromUtf8(zh);
    };
    // Entries without text show their key in both languages.
    row("OvHttpHelper", "MsgRequestTimeout", "Software upgrade information request timed out",
        "软件升级信息请求超时");
    row("OvListItemBodyForm", "LabUpgradeAvailable", "Available", "可升级至");
    row("OvListItemBodyForm", "WndRegListBodyForm", "WndRegListBodyForm", "WndRegListBodyForm");
    row("OvListItemForm", "WndRegListForm", "WndRegListForm", "WndRegListForm");
    row("OvListItemHeaderForm", "--", "--", "--");
    row("OvListItemHeaderForm", "BtnStartUpgrade", "Upgrade", "开始升级");
    row("OvListItemHeaderForm", "BtnStopUpgrade", "Stop Update", "停止升级");
    row("OvListItemHeaderForm", "BtnUpgrade", "Upgrade", "开始升级");
    row("OvListItemHeaderForm", "BtnUpgradePage", "Upgrade", "跳转升级界面");
    row("OvListItemHeaderForm", "WndRegListHeaderForm", "WndRegListHeaderForm",
        "WndRegListHeaderForm");
    row("OvMessageBox", "LabNo", "No", "否");
    row("OvMessageBox", "LabYes", "Yes", "是");
    row("OvModuleUpgradeInfo", "LabModule", "Module", "模块");
    row("OvModuleUpgradeInfo", "LabUnknown", "Unknown", "未知");
    row("OvModuleUpgradeInfo", "LabUpgradeAvailable", "available", "可升级");
    row("OvModuleUpgradeInfo", "LabVideo", "Video", "视频");
    row("OvZentaUpdateForm", "%p%", "%p%", "%p%");
    row("OvZentaUpdateForm", "BtnStartUpdate", "Start Update", "开始升级");
    row("OvZentaUpdateForm", "BtnStopUpdate", "Stop Update", "停止升级");
    row("OvZentaUpdateForm", "LabSoftwareUpdate", "Software update online", "软件在线升级");
    row("OvZentaUpdateForm", "LabZentaIsUpdating", "Software is updating to", "正在升级至");
    row("OvZentaUpdateForm", "LabZentaVersionTip", "Software can be upgraded to", "可升级到");
    row("OvZentaUpdateForm", "LabTip", "Tip", "提示");
    row("OvZentaUpdateForm", "LabWarning", "Warning", "警告");
    row("OvZentaUpdateForm", "MsgConfirmToUpdateRetryBecauseDownloadFailed",
        "Update failed because download failed,whether to retry?",
        "升级失败（下载更新包失败），是否重试？");
    row("OvZentaUpdateForm", "MsgConfirmToUpdateRetryBecauseUnZipFailed",
        "Update failed because unzip failed,whether to retry?",
        "升级失败（解压缩失败），是否重试？");
    row("OvZentaUpdateForm", "MsgRerIsUpdatingConfirmToExit",
        "Software is updating, please confirm to exit?", "正在升级中，是否确认退出？");
    row("OvZentaUpdateForm", "MsgIsStartSoftwareProcess", "Whether to start the software?",
        "是否启动软件？");
    // A key of one context is not found in another.
    row("OvZentaUpdateForm", "BtnStartUpgrade", "BtnStartUpgrade", "BtnStartUpgrade");
}

void TestOvResources::catalogue()
{
    QFETCH(QString, context);
    QFETCH(QString, key);
    const QByteArray ctx = context.toUtf8();
    const QByteArray src = key.toUtf8();

    for (const QString &language : {QStringLiteral("en_US"), QStringLiteral("zh_CN")}) {
        QTranslator translator;
        QVERIFY2(translator.load(catalogueName(language)),
                 qPrintable(catalogueName(language) + QStringLiteral(" does not load")));
        QCoreApplication::installTranslator(&translator);
        const QString shown = QCoreApplication::translate(ctx.constData(), src.constData());
        QCoreApplication::removeTranslator(&translator);
        if (language == QLatin1String("en_US"))
            QTEST(shown, "english");
        else
            QTEST(shown, "chinese");
    }
}

void TestOvResources::languageWithoutCatalogue_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("de_DE") << "de_DE";
    QTest::newRow("empty code") << "";
    QTest::newRow("zh_TW") << "zh_TW";
}

void TestOvResources::languageWithoutCatalogue()
{
    QFETCH(QString, language);
    QTranslator translator;
    QVERIFY2(!translator.load(catalogueName(language)), "a catalogue loaded for an unknown code");
    // Nothing installed: keys are shown as they stand.
    QCOMPARE(QCoreApplication::translate("OvZentaUpdateForm", "BtnStartUpdate"),
             QStringLiteral("BtnStartUpdate"));
    QCOMPARE(QCoreApplication::translate("OvZentaUpdateForm", "LabTip"), QStringLiteral("LabTip"));
}

QTEST_GUILESS_MAIN(TestOvResources)
#include "tst_ovresources.moc"
