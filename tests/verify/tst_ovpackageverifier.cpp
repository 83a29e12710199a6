#include "common/OvTestMinisign.h"
#include "common/OvTestZip.h"
#include "core/verify/OvPackageHash.h"
#include "core/verify/OvPackageVerifier.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Error = OvPackageVerifier::Error;
Q_DECLARE_METATYPE(OvPackageVerifier::Error)

// The check of a downloaded package against signatures made by the real minisign tool: the
// vendor signs zenta-1.1.zip for version 1.1, then one thing is changed on the way.
class TestOvPackageVerifier : public QObject
{
    Q_OBJECT

private slots:
    void verify_data();
    void verify();
};

void TestOvPackageVerifier::verify_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<Error>("expected");

    QTest::newRow("nothing: accepted") << "" << Error::None;
    QTest::newRow("byte flipped at the start") << "flip start" << Error::BadSignature;
    QTest::newRow("byte flipped in the middle") << "flip middle" << Error::BadSignature;
    QTest::newRow("byte flipped in the central directory") << "flip central" << Error::BadSignature;
    QTest::newRow("truncated") << "truncate" << Error::BadSignature;
    QTest::newRow("bytes appended") << "append" << Error::BadSignature;
    QTest::newRow("signed by another key") << "other key" << Error::OtherKey;
    QTest::newRow("no signature in the answer") << "no signature" << Error::NoSignature;
    QTest::newRow("signature not base64") << "not base64" << Error::NotBase64;
    QTest::newRow("signature file cut after its second line") << "cut" << Error::Malformed;
    QTest::newRow("trusted comment changed") << "comment" << Error::BadGlobalSignature;
    QTest::newRow("other version signed (downgrade)") << "1.0" << Error::WrongVersion;
    QTest::newRow("legacy Ed form") << "legacy" << Error::LegacyAlgorithm;
    QTest::newRow("no hash taken") << "no hash" << Error::BadSignature;
}

void TestOvPackageVerifier::verify()
{
    QFETCH(QString, change);
    QFETCH(Error, expected);

    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("zenta-1.1.zip"));
    QVERIFY(OvTestZip::write(package, {{"zenta", "#!/bin/sh\necho 1.1\n"}, {"data.txt", "1.1"}}));
    const QByteArray key = OvTestMinisign::makeKey(dir.path(), "vendor");
    const bool isOtherKey = change == "other key";
    QVERIFY2(!key.isEmpty() &&
                 (!isOtherKey || !OvTestMinisign::makeKey(dir.path(), "other").isEmpty()),
             "minisign made no key");
    QByteArray signature =
        OvTestMinisign::sign(dir.path(), isOtherKey ? "other" : "vendor", package,
                             change == "1.0" ? "zenta 1.0" : "zenta 1.1",
                             change == "legacy" ? QStringList{"-l"} : QStringList());
    QVERIFY2(!signature.isEmpty(), "minisign did not sign");

    // The change, after signing.
    QFile file(package);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray zip = file.readAll();
    const QMap<QString, int> flips{{"flip start", 0},
                                   {"flip middle", zip.size() / 2},
                                   {"flip central", zip.lastIndexOf("PK\x01\x02") + 20}};
    if (flips.contains(change))
        zip[flips[change]] = char(zip[flips[change]] ^ 0x01);
    if (change == "truncate")
        zip.chop(1);
    if (change == "append")
        zip.append("PK\x05\x06 more");
    QVERIFY(file.resize(0) && file.seek(0) && file.write(zip) == zip.size());
    file.close();
    if (change == "comment")
        signature.replace("trusted comment: zenta 1.1", "trusted comment: zenta 1.2");
    if (change == "cut")
        signature = signature.left(signature.indexOf('\n', signature.indexOf('\n') + 1) + 1);
    QByteArray answer = signature.toBase64();
    if (change == "no signature")
        answer.clear();
    if (change == "not base64")
        answer = "dW50cnVzdGVk*Y29tbWVudA==";

    // The hash as the download takes it, of the bytes that arrived.
    OvPackageVerifier verifier;
    const QByteArray hash = change == "no hash" ? QByteArray() : OvPackageHash::ofFile(package);
    const bool isAccepted = verifier.verify(hash, key, answer, QStringLiteral("1.1"));
    QVERIFY2(verifier.error() == expected, qPrintable(verifier.errorString()));
    QCOMPARE(isAccepted, expected == Error::None);
    QCOMPARE(verifier.errorString().isEmpty(), isAccepted);
}

QTEST_GUILESS_MAIN(TestOvPackageVerifier)
#include "tst_ovpackageverifier.moc"
