#include "platform/files/WholeFile.h"
#include "support/Files.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// The writer of both exports. Each of them keeps one row of its own, a link to the glossary, to show that
// it writes through here.
class TestWholeFile : public QObject {
    Q_OBJECT

private slots:
    // A link at the name is replaced itself, never written through, and whatever it pointed to stays as it was.
    void aLinkAtTheNameIsReplaced_data()
    {
        QTest::addColumn<bool>("dangling");
        QTest::newRow("link to another file") << false;
        QTest::newRow("dangling link") << true;
    }

    void aLinkAtTheNameIsReplaced()
    {
        QFETCH(bool, dangling);
        const QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("out.csv"));
        const QString other = folder.filePath(QStringLiteral("altro.txt"));
        if (!dangling)
            Files::writeFile(other, "un altro file");
        QVERIFY(QFile::link(other, file));
        const QStringList before = Files::entries(folder.path());

        QVERIFY(!WholeFile::replace(file, "esportazione"));
        QVERIFY(!QFileInfo(file).isSymLink());
        QCOMPARE(Files::bytesOf(file), QByteArray("esportazione"));
        QCOMPARE(Files::entries(folder.path()), before);
        QCOMPARE(Files::bytesOf(other), dangling ? QByteArray() : QByteArray("un altro file"));
    }
};

QTEST_GUILESS_MAIN(TestWholeFile)
#include "tst_wholefile.moc"
