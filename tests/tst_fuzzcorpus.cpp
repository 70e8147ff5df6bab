// Replays the fuzz corpus (fuzz/corpus/<target>/*) through the fuzz targets' own entry points,
// so that every input a fuzzer once broke something with stays a regression test. An entry
// that finds something wrong aborts with its reason on standard error.
#include "fuzz/fuzzentries.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QtTest>

class TestFuzzCorpus : public QObject
{
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("file");
        const QDir corpus(QStringLiteral(QUILLORY_FUZZ_CORPUS));
        const QList<FuzzEntries::Entry> &entries = FuzzEntries::all();
        for (int i = 0; i < entries.size(); ++i) {
            const QString folder = QString::fromLatin1(entries[i].name);
            QDirIterator it(corpus.filePath(folder), QDir::Files);
            QStringList files;
            while (it.hasNext())
                files << it.next();
            files.sort();
            // A target without seeds would never be replayed, so its absence must show.
            QVERIFY2(!files.isEmpty(), qPrintable(folder + QStringLiteral(" has no corpus")));
            for (const QString &file : std::as_const(files))
                QTest::addRow("%s", qPrintable(folder + u'/' + QFileInfo(file).fileName())) << i << file;
        }
    }

    void replay()
    {
        QFETCH(int, entry);
        QFETCH(QString, file);
        QFile input(file);
        QVERIFY(input.open(QIODevice::ReadOnly));
        const QByteArray data = input.readAll();
        QElapsedTimer clock;
        clock.start();
        FuzzEntries::all()[entry].run(reinterpret_cast<const std::uint8_t *>(data.constData()),
                                      std::size_t(data.size()));
        // The crafted pages among the seeds once took minutes or gigabytes.
        QVERIFY2(clock.elapsed() < 10000, "an input of the corpus took more than 10 seconds");
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
