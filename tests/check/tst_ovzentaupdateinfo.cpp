#include "check/OvZentaUpdateInfo.h"

#include <QtTest>

class TestOvZentaUpdateInfo : public QObject
{
    Q_OBJECT

private slots:
    void clearedEqualsFresh();
    void copyIsIndependent();
    void travelsAsMetaType();
};

namespace {

OvZentaUpdateInfo filled()
{
    OvZentaUpdateInfo info;
    info.cdt = QStringLiteral("2026-12-01");
    info.importanceLevel = 1;
    info.description = QStringLiteral("Fixes.");
    info.version = QStringLiteral("2.1.0");
    info.url = QStringLiteral("http://h/p.zip");
    return info;
}

void compareFields(const OvZentaUpdateInfo &a, const OvZentaUpdateInfo &b)
{
    QCOMPARE(a.cdt, b.cdt);
    QCOMPARE(a.importanceLevel, b.importanceLevel);
    QCOMPARE(a.description, b.description);
    QCOMPARE(a.version, b.version);
    QCOMPARE(a.url, b.url);
}

} // namespace

void TestOvZentaUpdateInfo::clearedEqualsFresh()
{
    OvZentaUpdateInfo info = filled();
    info.clear();
    compareFields(info, OvZentaUpdateInfo());
    QCOMPARE(info.importanceLevel, 2u);
    QVERIFY(info.version.isEmpty() && info.url.isEmpty());
}

void TestOvZentaUpdateInfo::copyIsIndependent()
{
    OvZentaUpdateInfo source = filled();
    OvZentaUpdateInfo copy(source);
    OvZentaUpdateInfo assigned;
    assigned = source;
    source.clear();
    compareFields(copy, filled());
    compareFields(assigned, filled());

    OvZentaUpdateInfo self = filled();
    OvZentaUpdateInfo &alias = self;
    self = alias;
    compareFields(self, filled());
}

void TestOvZentaUpdateInfo::travelsAsMetaType()
{
    const int id = qRegisterMetaType<OvZentaUpdateInfo>("OvZentaUpdateInfo");
    QCOMPARE(QMetaType::type("OvZentaUpdateInfo"), id);
    const QVariant v = QVariant::fromValue(filled());
    compareFields(v.value<OvZentaUpdateInfo>(), filled());
}

QTEST_APPLESS_MAIN(TestOvZentaUpdateInfo)
#include "tst_ovzentaupdateinfo.moc"
