#include "cli/progressline.h"
#include "cli/terminaltext.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// What a progress line says when the job has counted `counts` after `elapsed` seconds.
QString progress(const QStringList &log, const ProgressLine::Counts &counts, ProgressLine::Mode mode, qint64 elapsed,
                 int columns)
{
    ProgressLine line;
    line.begin(u"风景"_s);
    for (const QString &logLine : log)
        line.heardLog(logLine);
    return line.text(counts, mode, elapsed, columns);
}

} // namespace

class TestTerminalText : public QObject
{
    Q_OBJECT

private slots:
    void columns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("columns");
        QTest::newRow("ASCII") << u"album 3/12"_s << 10;
        QTest::newRow("Chinese") << u"风景吧"_s << 6;
        QTest::newRow("fullwidth punctuation") << u"（保存 1，跳过 2）"_s << 18;
        QTest::newRow("outside the basic plane") << u"a\U0001F600\U00020000b"_s << 6;
        QTest::newRow("combining mark") << u"e\u0301"_s << 1;
        QTest::newRow("control characters") << u"a\tb\u007f"_s << 2;
        QTest::newRow("empty") << QString() << 0;
    }

    void columns()
    {
        QFETCH(QString, text);
        QFETCH(int, columns);
        QCOMPARE(TerminalText::columns(text), columns);
    }

    void cut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("cut");
        QTest::newRow("fits") << u"abc"_s << 3 << u"abc"_s;
        QTest::newRow("ASCII") << u"abcdef"_s << 4 << u"abcd"_s;
        // A wide character that would reach past the edge is left out whole.
        QTest::newRow("wide at the edge") << u"ab风景"_s << 5 << u"ab风"_s;
        QTest::newRow("surrogate pair kept whole") << u"a\U0001F600b"_s << 2 << u"a"_s;
        QTest::newRow("nothing fits") << u"风"_s << 1 << QString();
    }

    void cut()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, cut);
        QCOMPARE(TerminalText::cut(text, width), cut);
    }

    void progressLine_data()
    {
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<int>("albumNo");
        QTest::addColumn<int>("albums");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("line");
        const QStringList none;
        const int saves = int(ProgressLine::Mode::Saves);
        const int urls = int(ProgressLine::Mode::GetUrls);
        const int dry = int(ProgressLine::Mode::DryRun);
        const QString whole =
            u"风景吧  album 3/12  pictures 40 (saved 30, skipped 5, failed 5)  1:15 elapsed, about 3:45 left"_s;
        QTest::newRow("wide terminal: everything") << none << 3 << 12 << saves << 200 << whole;
        QTest::newRow("exactly wide enough") << none << 3 << 12 << saves << TerminalText::columns(whole) + 1 << whole;
        // The details of the pictures go first, the time spent next; the time left stays.
        QTest::newRow("80 columns") << none << 3 << 12 << saves << 80
                                    << u"风景吧  album 3/12  pictures 40  1:15 elapsed, about 3:45 left"_s;
        QTest::newRow("64 columns") << none << 3 << 12 << saves << 64
                                    << u"风景吧  album 3/12  pictures 40  1:15 elapsed, about 3:45 left"_s;
        QTest::newRow("50 columns") << none << 3 << 12 << saves << 50
                                    << u"风景吧  album 3/12  pictures 40  about 3:45 left"_s;
        QTest::newRow("41 columns") << none << 3 << 12 << saves << 41 << u"album 3/12  pictures 40  about 3:45 left"_s;
        QTest::newRow("30 columns") << none << 3 << 12 << saves << 30 << u"album 3/12  about 3:45 left"_s;
        QTest::newRow("20 columns") << none << 3 << 12 << saves << 20 << u"about 3:45 left"_s;
        QTest::newRow("too narrow even for the time left") << none << 3 << 12 << saves << 8 << u"about 3"_s;
        QTest::newRow("before the list is read")
            << QStringList{u"开始获取相册地址！"_s} << 0 << 0 << saves << 80 << u"风景吧  listing albums  1:15"_s;
        QTest::newRow("list read") << QStringList{u"获取相册地址完成！风景吧共有53个相册"_s} << 0 << 0 << saves << 80
                                   << u"风景吧  albums 53  1:15"_s;
        QTest::newRow("first album loading")
            << QStringList{u"获取相册地址完成！风景吧共有53个相册"_s, u"开始处理相册(1/53):山(1)"_s} << 0 << 0 << saves
            << 80 << u"风景吧  loading album 1/53  1:15"_s;
        QTest::newRow("a bar named like the log") << QStringList{u"获取相册地址完成！共有吧共有7个相册"_s} << 0 << 0
                                                  << saves << 80 << u"风景吧  albums 7  1:15"_s;
        QTest::newRow("addresses") << none << 3 << 12 << urls << 200
                                   << u"风景吧  album 3/12  addresses 53  1:15 elapsed, about 3:45 left"_s;
        QTest::newRow("dry run") << none << 3 << 12 << dry << 200
                                 << u"风景吧  album 3/12  pictures 53  1:15 elapsed, about 3:45 left"_s;
    }

    void progressLine()
    {
        QFETCH(QStringList, log);
        QFETCH(int, albumNo);
        QFETCH(int, albums);
        QFETCH(int, mode);
        QFETCH(int, columns);
        QFETCH(QString, line);
        // 40 pictures came to an end so far; 53 were counted on the album pages.
        const ProgressLine::Counts counts{albumNo, albums, 53, 30, 5, 5};
        const QString text = progress(log, counts, ProgressLine::Mode(mode), 75, columns);
        QCOMPARE(text, line);
        // The cursor stays off the last column, or the terminal would wrap the line.
        QVERIFY(TerminalText::columns(text) < columns);
    }

    void wrap_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("words") << u"Fetch every picture again, also those already saved."_s << 20
                               << QStringList{u"Fetch every picture"_s, u"again, also those"_s, u"already saved."_s};
        // Between Chinese characters, but not before a closing mark nor inside "吧/".
        QTest::newRow("Chinese") << u"重新获取每张图片，包括已经保存的。"_s << 18
                                 << QStringList{u"重新获取每张图片，"_s, u"包括已经保存的。"_s};
        QTest::newRow("Chinese with a path")
            << u"列在 <吧名>吧/failed.txt 中"_s << 16 << QStringList{u"列在"_s, u"<吧名>吧/failed."_s, u"txt 中"_s};
        QTest::newRow("Latin beside Chinese")
            << u"保存为DIR/<吧名>吧"_s << 10 << QStringList{u"保存为"_s, u"DIR/<吧名>"_s, u"吧"_s};
        QTest::newRow("word wider than a line") << u"a abcdefghijklmnopqrstuvwxyz b"_s << 12
                                                << QStringList{u"a"_s, u"abcdefghijkl"_s, u"mnopqrstuvwx"_s, u"yz b"_s};
    }

    void wrap()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QStringList, lines);
        QCOMPARE(TerminalText::wrap(text, width), lines);
    }

    void layouts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("laidOut");
        // Lines at the margin make one paragraph; English ones are joined by a space, Chinese
        // ones run on.
        QTest::newRow("paragraphs") << u"paragraphs"_s << u"one two\nthree four\n\n风景\n山水"_s << 12
                                    << u"one two\nthree four\n\n风景山水"_s;
        QTest::newRow("a table's rows keep their hanging indent")
            << u"paragraphs"_s << u"Exit codes:\n  0    all saved or skipped\n  130  stopped by\n       a signal"_s
            << 24 << u"Exit codes:\n  0    all saved or\n       skipped\n  130  stopped by a\n       signal"_s;
        // The descriptions start in one column, whatever the width of the names beside them.
        QTest::newRow("columns of options")
            << u"table"_s << u"--pace <节奏>\t相册页面的节奏。\n-q, --quiet\t不输出日志行：只输出汇总和错误。"_s << 40
            << u"  --pace <节奏>  相册页面的节奏。\n  -q, --quiet    不输出日志行：只输出汇\n                 总和错误。"_s;
        QTest::newRow("a name too wide for its column")
            << u"table"_s << u"--a-very-long-option <VALUE>\tSays what.\n-q\tQuiet."_s << 30
            << u"  --a-very-long-option <VALUE>\n               Says what.\n  -q           Quiet."_s;
    }

    void layouts()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, laidOut);
        QString result;
        if (kind == u"table"_s) {
            QList<QPair<QString, QString>> rows;
            for (const QString &row : text.split(u'\n'))
                rows.append({row.section(u'\t', 0, 0), row.section(u'\t', 1)});
            result = TerminalText::table(rows, width);
        } else {
            result = TerminalText::wrapParagraphs(text, width);
        }
        QCOMPARE(result, laidOut);
        for (const QString &line : result.split(u'\n'))
            QVERIFY2(TerminalText::columns(line) <= width, qPrintable(line));
    }

    void shellCommand_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("command");
        QTest::newRow("plain") << QStringList{u"quillory-cli"_s, u"--update"_s, u"-d"_s, u"/tmp/x"_s, u"风景"_s}
                               << u"quillory-cli --update -d /tmp/x 风景"_s;
        QTest::newRow("spaces and quotes") << QStringList{u"a b"_s, u"it's"_s, QString()} << u"'a b' 'it'\\''s' ''"_s;
        QTest::newRow("shell characters")
            << QStringList{u"$HOME"_s, u"a;b"_s, u"*"_s, u"全角　空格"_s} << u"'$HOME' 'a;b' '*' '全角　空格'"_s;
    }

    void shellCommand()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, command);
        QCOMPARE(TerminalText::shellCommand(arguments), command);
    }
};

QTEST_GUILESS_MAIN(TestTerminalText)
#include "tst_terminaltext.moc"
