#include "app/desktopnews.h"
#include "app/form1.h"
#include "app/windowchoices.h"
#include "tests/widgetsupport.h"
#include "tools/forumsim/forumserver.h"
#include "web/engine/pageview.h"

#include "job/pictures/picturescan.h"
#include "job/records/failurefile.h"
#include "job/settingsfile.h"
#include "web/files/foldername.h"

#include <QAbstractItemModel>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>

using TestSupport::lines;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString forumLess = QStringLiteral("127.0.0.1:1");

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<missing>");
}

} // namespace

// What a desktop hears over its session bus: the notification server, and the dock that
// listens for launcher entries' progress.
class DesktopListener : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notification
    {
        QString app;
        QString icon;
        QString summary;
        QString body;
        QVariantMap hints;
    };
    struct Progress
    {
        QString uri;
        QVariantMap properties;
    };

    QList<Notification> notifications;
    QList<Progress> progress;

public slots:
    Q_SCRIPTABLE uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                             const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        Q_UNUSED(replaces)
        Q_UNUSED(actions)
        Q_UNUSED(timeout)
        notifications.append({app, icon, summary, body, hints});
        return uint(notifications.size());
    }
    void Update(const QString &uri, const QVariantMap &properties) { progress.append({uri, properties}); }
};

class TestWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Engine> m_engine;
    std::unique_ptr<Form1> m_form;
    QTemporaryDir m_folder;
    ForumServer m_server;

    void useForum(const QByteArray &json)
    {
        QString error;
        QVERIFY2(m_server.loadJson(json, &error), qPrintable(error));
        m_engine->setHosts(Hosts{m_server.hostAndPort(), m_server.hostAndPort()});
    }

    QString barFolder(const QString &bar) const
    {
        return m_folder.path() + u'/' + safeFolderName(bar + QStringLiteral("吧"));
    }

    QString settingsFile() const { return m_folder.filePath(QStringLiteral("config/Quillory/Quillory.conf")); }

    void writeSettings(const QByteArray &text)
    {
        QDir().mkpath(QFileInfo(settingsFile()).path());
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    Form1 &freshForm()
    {
        m_form = std::make_unique<Form1>(*m_engine);
        m_form->setExitHandler([] {});
        m_form->show();
        if (!QTest::qWaitForWindowExposed(m_form.get()))
            qWarning("window not exposed");
        return *m_form;
    }

private slots:
    void initTestCase()
    {
        // Nothing listens on port 1: every fetch fails at once.
        m_engine = std::make_unique<Engine>(TestSupport::shortSettings(forumLess, m_folder.path()));
        QVERIFY(m_server.listen());
        // The settings file the window reads is the test's own, never the user's.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_folder.filePath(QStringLiteral("config"))));
        QCOMPARE(JobChoicesFile::path(), settingsFile());
    }

    void cleanup()
    {
        m_form.reset();
        // What a job left in the program folder; the settings file goes below.
        for (const QFileInfo &left : QDir(m_folder.path()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            if (left.fileName() != u"config")
                left.isDir() ? void(QDir(left.filePath()).removeRecursively()) : void(QFile::remove(left.filePath()));
        }
        m_engine->setHosts(Hosts{forumLess, forumLess});
        m_engine->setChoices({});
        QFile::remove(settingsFile());
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("Text1") << "Text1" << QRect(8, 16, 105, 25) << QStringLiteral("请输入吧名");
        QTest::newRow("Command1") << "Command1" << QRect(120, 16, 81, 25) << QStringLiteral("开始下载");
        QTest::newRow("List1") << "List1" << QRect(8, 48, 457, 244) << QString();
        QTest::newRow("Command2") << "Command2" << QRect(208, 16, 145, 25) << QStringLiteral("重新下载保存失败的文件");
        QTest::newRow("WebBrowser1") << "WebBrowser1" << QRect(QPoint(88, 72), pageViewSize) << QString();
    }

    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        Form1 &form = freshForm();
        auto *control = form.findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(control->geometry(), geometry);
        if (auto *edit = qobject_cast<QLineEdit *>(control))
            QCOMPARE(edit->text(), text);
        if (auto *button = qobject_cast<QPushButton *>(control)) {
            QCOMPARE(button->text(), text);
            QVERIFY(!button->isDefault() && !button->autoDefault());
        }
        // Resizing the window moves nothing.
        form.resize(900, 700);
        QCOMPARE(control->geometry(), geometry);
    }

    void windowAndFocus()
    {
        Form1 &form = freshForm();
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillory"));
        // Its own icon in the title bar, not the window manager's generic one.
        QVERIFY(!form.windowIcon().pixmap(QSize(64, 64)).isNull());
        QCOMPARE(form.size(), QSize(472, 299));
        QTRY_COMPARE(QApplication::focusWidget(), form.Text1);
        const QList<QWidget *> order = {form.Command1, form.List1, form.Command2, form.WebBrowser1};
        for (QWidget *expected : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focus = QApplication::focusWidget();
            QVERIFY2(focus == expected || expected->isAncestorOf(focus), qPrintable(expected->objectName()));
        }
        QCOMPARE(form.List1->count(), 0);
        QCOMPARE(form.List1->currentRow(), -1);
        // The log lies in front of the browser, which it wholly covers.
        const QRect browser = form.WebBrowser1->geometry();
        for (const QPoint &at : {browser.topLeft(), browser.center(), browser.bottomRight()}) {
            QWidget *shown = form.childAt(at);
            QVERIFY2(shown && (shown == form.List1 || form.List1->isAncestorOf(shown)),
                     shown ? qPrintable(shown->objectName()) : "nothing");
        }
    }

    void promptClearing_data()
    {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<bool>("byMouse");
        QTest::addColumn<QString>("expected");
        QTest::newRow("prompt, click") << QStringLiteral("请输入吧名") << true << QString();
        QTest::newRow("prompt, tab in") << QStringLiteral("请输入吧名") << false << QStringLiteral("请输入吧名");
        QTest::newRow("prompt and blank, click")
            << QStringLiteral("请输入吧名 ") << true << QStringLiteral("请输入吧名 ");
        QTest::newRow("other text, click") << QStringLiteral("风景") << true << QStringLiteral("风景");
        QTest::newRow("empty, click") << QString() << true << QString();
    }

    void promptClearing()
    {
        QFETCH(QString, initial);
        QFETCH(bool, byMouse);
        QFETCH(QString, expected);
        Form1 &form = freshForm();
        form.Text1->setText(initial);
        if (byMouse) {
            QTest::mouseClick(form.Text1, Qt::LeftButton);
            QTest::mouseClick(form.Text1, Qt::LeftButton);
        } else {
            form.Command1->setFocus();
            QTest::keyClick(&form, Qt::Key_Backtab);
            QTRY_COMPARE(QApplication::focusWidget(), form.Text1);
        }
        QCOMPARE(form.Text1->text(), expected);
    }

    void typingReplacesThePrompt_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("expected");
        QTest::newRow("keys") << "keys" << QStringLiteral("fengjing");
        QTest::newRow("keys after moving in with tab") << "tab, keys" << QStringLiteral("fengjing");
        QTest::newRow("keys after moving to the start") << "home, keys" << QStringLiteral("fengjing");
        QTest::newRow("paste key") << "paste key" << QStringLiteral("风景");
        QTest::newRow("paste from the menu") << "menu paste" << QStringLiteral("风景");
        QTest::newRow("input method") << "input method" << QStringLiteral("风景");
        QTest::newRow("input method composing") << "composing" << QStringLiteral("风");
        QTest::newRow("backspace") << "backspace" << QString();
        QTest::newRow("click, then keys") << "click, keys" << QStringLiteral("fengjing");
        QTest::newRow("the prompt typed, then keys") << "prompt typed, keys" << QStringLiteral("请输入吧名fengjing");
        QTest::newRow("prompt and blank, keys") << "blank, keys" << QStringLiteral("请输入吧名 fengjing");
        QTest::newRow("enter") << "enter" << QStringLiteral("请输入吧名");
    }

    void typingReplacesThePrompt()
    {
        QFETCH(QString, how);
        QFETCH(QString, expected);
        Form1 &form = freshForm();
        QTRY_COMPARE(QApplication::focusWidget(), form.Text1);
        // QTest types Latin-1 keys only; what an input method composes comes below.
        const QString typed = QStringLiteral("fengjing");
        if (how == u"tab, keys") {
            form.Command1->setFocus();
            QTest::keyClick(&form, Qt::Key_Backtab);
            QTRY_COMPARE(QApplication::focusWidget(), form.Text1);
        } else if (how == u"home, keys") {
            QTest::keyClick(form.Text1, Qt::Key_Home);
        } else if (how == u"click, keys") {
            QTest::mouseClick(form.Text1, Qt::LeftButton);
        } else if (how == u"prompt typed, keys") {
            QTest::mouseClick(form.Text1, Qt::LeftButton);
            for (const QChar c : QStringLiteral("请输入吧名"))
                QTest::sendKeyEvent(QTest::Click, form.Text1, Qt::Key_unknown, QString(c), Qt::NoModifier);
        } else if (how == u"blank, keys") {
            form.Text1->setText(QStringLiteral("请输入吧名 "));
        }
        if (how.endsWith(u"keys")) {
            QTest::keyClicks(form.Text1, typed);
        } else if (how == u"paste key" || how == u"menu paste") {
            QGuiApplication::clipboard()->setText(QStringLiteral("风景"));
            if (how == u"paste key")
                QTest::keySequence(form.Text1, QKeySequence::Paste);
            else
                form.Text1->paste();
        } else if (how == u"input method") {
            QInputMethodEvent commit;
            commit.setCommitString(QStringLiteral("风景"));
            QApplication::sendEvent(form.Text1, &commit);
        } else if (how == u"composing") {
            QInputMethodEvent composing(QStringLiteral("feng"), {});
            QApplication::sendEvent(form.Text1, &composing);
            QInputMethodEvent commit;
            commit.setCommitString(QStringLiteral("风"));
            QApplication::sendEvent(form.Text1, &commit);
        } else if (how == u"backspace") {
            QTest::keyClick(form.Text1, Qt::Key_Backspace);
        } else if (how == u"enter") {
            QTest::keyClick(form.Text1, Qt::Key_Return);
        }
        QCOMPARE(form.Text1->text(), expected);
    }

    void typedNameRunsThatBar_data()
    {
        QTest::addColumn<QString>("typedLater"); // typed into the box while the album list is fetched
        QTest::newRow("nothing typed later") << QString();
        QTest::newRow("another name typed while the album list is fetched") << QStringLiteral("yiba");
    }

    void typedNameRunsThatBar()
    {
        QFETCH(QString, typedLater);
        useForum(R"({"bars":[{"name":"fengjing","albums":[{"id":"31","title":"春","pictures":["s1"]},
            {"id":"32","title":"夏","pictures":["s2"]}]},
            {"name":"yiba","albums":[{"id":"41","title":"秋","pictures":["t1"]}]}]})");
        Form1 &form = freshForm();
        // Straight in, without a click: the box has the focus.
        QTRY_COMPARE(QApplication::focusWidget(), form.Text1);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("fengjing"));
        if (!typedLater.isEmpty()) {
            connect(form.List1->model(), &QAbstractItemModel::rowsInserted, &form, [&form, typedLater] {
                if (form.List1->count() == 1)
                    QTimer::singleShot(0, &form, [&form, typedLater] { form.Text1->setText(typedLater); });
            });
        }
        form.Command1_Click();
        QCOMPARE(lines(form.List1),
                 QStringList({QStringLiteral("开始获取相册地址！"),
                              QStringLiteral("获取相册地址完成！fengjing吧共有2个相册"),
                              QStringLiteral("开始处理相册(1/2):春"), QStringLiteral("第1页,第1张下载成功！"),
                              QStringLiteral("开始处理相册(2/2):夏"), QStringLiteral("第1页,第1张下载成功！"),
                              QStringLiteral("所有相册下载完毕！")}));
        QCOMPARE(form.Text1->text(), typedLater.isEmpty() ? QStringLiteral("fengjing") : typedLater);
        const QString bar = barFolder(QStringLiteral("fengjing"));
        QVERIFY(TestSupport::holdsPicture(m_server, bar + QStringLiteral("/春/1.jpg"), QStringLiteral("s1")));
        QVERIFY(TestSupport::holdsPicture(m_server, bar + QStringLiteral("/夏/1.jpg"), QStringLiteral("s2")));
        // The record is the bar's own, and nothing went to the other one.
        QVERIFY(QFileInfo(bar + QStringLiteral("/.quillory-saved")).isFile());
        QVERIFY(!QFileInfo::exists(barFolder(QStringLiteral("yiba"))));
    }

    void enterStartsNothing()
    {
        Form1 &form = freshForm();
        form.Text1->setFocus();
        QTest::keyClick(form.Text1, Qt::Key_Return);
        QTest::qWait(50);
        QCOMPARE(form.List1->count(), 0);
    }

    void logOperations()
    {
        Form1 &form = freshForm();
        form.ShowLastLogLine();
        QCOMPARE(form.List1->currentRow(), -1);
        form.AppendLog(QStringLiteral("一"));
        form.AppendLog(QStringLiteral("二"));
        QCOMPARE(form.List1->currentRow(), -1);
        form.ShowLastLogLine();
        QCOMPARE(form.List1->currentRow(), 1);
        form.AppendLog(QStringLiteral("三"));
        QCOMPARE(form.List1->currentRow(), 1);
        QCOMPARE(lines(form.List1), QStringList({QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三")}));
        // A line as long as a hostile page can make it would freeze the window for seconds.
        form.AppendLog(QStringLiteral("开始处理相册(1/1):") + QString(2 * 1024 * 1024, u'x'));
        QCOMPARE(form.List1->item(3)->text(),
                 QStringLiteral("开始处理相册(1/1):") + QString(1024 - 12, u'x') + QStringLiteral("…"));
        // The long line can still be scrolled to sideways once short lines follow it, and the last
        // line, selected, comes into view.
        form.AppendLog(QStringLiteral("四"));
        form.ShowLastLogLine();
        QCOMPARE(form.List1->currentRow(), 4);
        QTRY_VERIFY(form.List1->visualItemRect(form.List1->item(4)).top() >= 0 &&
                    form.List1->visualItemRect(form.List1->item(4)).bottom() < form.List1->viewport()->height());
        QVERIFY(form.List1->horizontalScrollBar()->maximum() > 1000);
    }

    void logPastSixteenBits()
    {
        Form1 &form = freshForm();
        for (int i = 0; i < 40000; ++i)
            form.List1->addItem(QString::number(i));
        form.AppendLog(QStringLiteral("last"));
        form.ShowLastLogLine();
        QCOMPARE(form.List1->count(), 40001);
        QCOMPARE(form.List1->currentRow(), 40000);
        QCOMPARE(form.List1->currentItem()->text(), QStringLiteral("last"));
    }

    void emptyNameAsksAndEnds()
    {
        QTcpServer forum;
        QVERIFY(forum.listen(QHostAddress::LocalHost));
        const QString host = QStringLiteral("127.0.0.1:%1").arg(forum.serverPort());
        m_engine->setHosts(Hosts{host, host});
        Form1 &form = freshForm();
        form.Text1->clear();
        QString shown;
        QTimer::singleShot(0, &form, [&] {
            QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            shown = box->windowTitle() + u'|' + box->text();
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->standardButtons(), QMessageBox::Ok);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            box->button(QMessageBox::Ok)->click();
        });
        form.Command1_Click();
        const bool asked = forum.waitForNewConnection(300);
        m_engine->setHosts(Hosts{QStringLiteral("127.0.0.1:1"), QStringLiteral("127.0.0.1:1")});
        QCOMPARE(shown, QStringLiteral("Quillory|请输入贴吧名称"));
        QVERIFY(!asked);
        QCOMPARE(lines(form.List1), QStringList());
        QVERIFY(!form.jobRunning());
        QVERIFY(!QFileInfo::exists(m_folder.filePath(QStringLiteral("1.txt"))));
        QVERIFY(!QFileInfo::exists(m_folder.filePath(QStringLiteral("吧"))));
    }

    void retryWithNothingRecorded()
    {
        Form1 &form = freshForm();
        form.Command2_Click();
        QCOMPARE(lines(form.List1), QStringList({QStringLiteral("没有下载失败的图片")}));
        QCOMPARE(form.List1->currentRow(), 0);
    }

    void secondStartIsRefused()
    {
        // A server that accepts and never answers keeps the first job inside its fetch wait.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const QString host = QStringLiteral("127.0.0.1:%1").arg(silent.serverPort());
        m_engine->setHosts(Hosts{host, host});
        Form1 &form = freshForm();
        form.Text1->setText(QStringLiteral("风景"));
        bool wasRunning = false;
        int shownAfterRefusal = -1;
        QTimer::singleShot(200, &form, [&] {
            wasRunning = form.jobRunning();
            form.Command1_Click();
            shownAfterRefusal = form.List1->currentRow();
        });
        form.Command1_Click();
        m_engine->setHosts(Hosts{QStringLiteral("127.0.0.1:1"), QStringLiteral("127.0.0.1:1")});
        QVERIFY(wasRunning);
        QVERIFY(!form.jobRunning());
        // The first job's list page never answers.
        QCOMPARE(
            lines(form.List1),
            QStringList({QStringLiteral("开始获取相册地址！"), QStringLiteral("已有下载任务在进行，本次开始已忽略"),
                         QStringLiteral("获取相册列表失败：http://%1/photo/g?kw=风景&pn=1（超时）").arg(host)}));
        QCOMPARE(shownAfterRefusal, 1);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("pace");  // -1: not given
        QTest::addColumn<int>("pages"); // 0: not given
        QTest::addColumn<QString>("wrong");
        const QString program = QStringLiteral("quillory");
        const int adaptive = int(JobChoices::Pace::Adaptive);
        const int fixed = int(JobChoices::Pace::Fixed);
        QTest::newRow("none") << QStringList{program} << QStringList{program} << -1 << 0 << QString();
        QTest::newRow("both, each with its value after it")
            << QStringList{program, u"--pace"_s, u"adaptive"_s, u"--pages"_s, u"3"_s} << QStringList{program}
            << adaptive << 3 << QString();
        QTest::newRow("both, with =") << QStringList{program, u"--pages=2"_s, u"--pace=fixed"_s} << QStringList{program}
                                      << fixed << 2 << QString();
        QTest::newRow("Qt's own arguments stay")
            << QStringList{program, u"-platform"_s, u"offscreen"_s, u"--pace"_s, u"adaptive"_s}
            << QStringList{program, u"-platform"_s, u"offscreen"_s} << adaptive << 0 << QString();
        QTest::newRow("an unknown pace") << QStringList{program, u"--pace"_s, u"fast"_s} << QStringList{program} << -1
                                         << 0 << QStringLiteral("--pace needs fixed or adaptive, not \"fast\"");
        QTest::newRow("too many pages") << QStringList{program, u"--pages=5"_s} << QStringList{program} << -1 << 0
                                        << QStringLiteral("--pages needs a whole number from 1 to 4, not \"5\"");
        QTest::newRow("a pace without its value") << QStringList{program, u"--pace"_s} << QStringList{program} << -1
                                                  << 0 << QStringLiteral("--pace needs fixed or adaptive, not \"\"");
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, left);
        QFETCH(int, pace);
        QFETCH(int, pages);
        QFETCH(QString, wrong);
        WindowChoices choices;
        QCOMPARE(choices.take(arguments), wrong);
        if (!wrong.isEmpty())
            return;
        QCOMPARE(arguments, left);
        QCOMPARE(choices.pace ? int(*choices.pace) : -1, pace);
        QCOMPARE(choices.pages.value_or(0), pages);
    }

    void helpNamesTheSettingsFile()
    {
        const QString help = WindowChoices::help();
        for (const QString &named : {JobChoicesFile::path(), QStringLiteral("[job]"), QStringLiteral("pace="),
                                     QStringLiteral("pages="), QStringLiteral("--pace"), QStringLiteral("--pages")})
            QVERIFY2(help.contains(named), qPrintable(named));
    }

    void paceOfEachStart_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("settings");      // written once the window is open; null: no file
        QTest::addColumn<QByteArray>("laterSettings"); // written before the second Start; null: as before
        QTest::addColumn<QStringList>("first");        // what the first job says before its own lines
        QTest::addColumn<QStringList>("second");       // and the second
        const QString adaptive3 = QStringLiteral("快速模式：自适应节奏，3个页面");
        const QString badPace = QStringLiteral("设置文件%1中的pace=fast无效（应为fixed或adaptive），已忽略");
        QTest::newRow("no settings file")
            << QStringList() << QByteArray() << QByteArray() << QStringList() << QStringList();
        QTest::newRow("the shipped pace written out") << QStringList() << QByteArray("[job]\npace=fixed\npages=1\n")
                                                      << QByteArray() << QStringList() << QStringList();
        QTest::newRow("adaptive, 3 pages") << QStringList() << QByteArray("[job]\npace=adaptive\npages=3\n")
                                           << QByteArray() << QStringList{adaptive3} << QStringList{adaptive3};
        QTest::newRow("fixed, 2 pages") << QStringList() << QByteArray("[job]\npages=2\n") << QByteArray()
                                        << QStringList{QStringLiteral("快速模式：固定节奏，2个页面")}
                                        << QStringList{QStringLiteral("快速模式：固定节奏，2个页面")};
        QTest::newRow("edited between two jobs")
            << QStringList() << QByteArray("[job]\npace=fixed\n") << QByteArray("[job]\npace=adaptive\npages=3\n")
            << QStringList() << QStringList{adaptive3};
        QTest::newRow("a bad value is said once") << QStringList() << QByteArray("[job]\npace=fast\n") << QByteArray()
                                                  << QStringList{badPace} << QStringList();
        QTest::newRow("the command line over the file") << QStringList{u"--pace"_s, u"adaptive"_s, u"--pages"_s, u"3"_s}
                                                        << QByteArray("[job]\npace=fixed\npages=2\n") << QByteArray()
                                                        << QStringList{adaptive3} << QStringList{adaptive3};
        QTest::newRow("the command line over a bad value")
            << QStringList{u"--pace=adaptive"_s} << QByteArray("[job]\npace=fast\npages=3\n") << QByteArray()
            << QStringList{adaptive3} << QStringList{adaptive3};
        QTest::newRow("the README's example, a comment after each value")
            << QStringList()
            << QByteArray("[job]\npace=adaptive   # fixed (the default) or adaptive\n"
                          "pages=3         # album pages side by side, 1 (the default) to 4\n")
            << QByteArray() << QStringList{adaptive3} << QStringList{adaptive3};
        QTest::newRow("comments after ; and on lines of their own")
            << QStringList() << QByteArray("; mine\n[job] ; the job\n# pace=fixed\npace = adaptive ;x\npages=\"3\"\n")
            << QByteArray() << QStringList{adaptive3} << QStringList{adaptive3};
        // Each said once, the other section's keys with it; what [job] holds still counts.
        QTest::newRow("an unknown section and unknown keys")
            << QStringList()
            << QByteArray("pace=adaptive\n[JOB]\npace=adaptive\n[job]\nPACE=adaptive\npages=3\nPACE=x\n")
            << QByteArray()
            << QStringList{QStringLiteral("设置文件%1中[job]之外的pace=无法识别（应写在[job]中），已忽略"),
                           QStringLiteral("设置文件%1中的[JOB]无法识别（应为[job]），已忽略"),
                           QStringLiteral("设置文件%1中[job]的PACE=无法识别（应为pace=或pages=），已忽略"),
                           QStringLiteral("快速模式：固定节奏，3个页面")}
            << QStringList{QStringLiteral("快速模式：固定节奏，3个页面")};
    }

    void paceOfEachStart()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, laterSettings);
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        useForum(R"({"bars":[{"name":"空","albums":[]}]})");
        WindowChoices commandLine;
        arguments.prepend(QStringLiteral("quillory"));
        QCOMPARE(commandLine.take(arguments), QString());
        Form1 &form = freshForm();
        form.readChoicesAtEachStart(commandLine);
        if (!settings.isNull())
            writeSettings(settings);
        const QStringList job = {QStringLiteral("开始获取相册地址！"),
                                 QStringLiteral("获取相册地址完成！空吧共有0个相册"),
                                 QStringLiteral("所有相册下载完毕！")};
        for (QString &line : first) {
            if (line.contains(u"%1"))
                line = line.arg(settingsFile());
        }
        form.Text1->setText(QStringLiteral("空"));
        form.Command1_Click();
        QCOMPARE(lines(form.List1), first + job);
        if (!laterSettings.isNull())
            writeSettings(laterSettings);
        form.Command1_Click();
        QCOMPARE(lines(form.List1).mid(first.size() + job.size()), second + job);
    }

    void desktopHearsOfTheJob_data()
    {
        QTest::addColumn<bool>("longJob");
        QTest::addColumn<bool>("windowActive");
        QTest::addColumn<int>("notifications");
        QTest::newRow("a long job, the window not active") << true << false << 1;
        QTest::newRow("a long job, the window active") << true << true << 0;
        QTest::newRow("a short job, the window not active") << false << false << 0;
    }

    void desktopHearsOfTheJob()
    {
        QFETCH(bool, longJob);
        QFETCH(bool, windowActive);
        QFETCH(int, notifications);
        QDBusConnection sender = QDBusConnection::sessionBus();
        if (!sender.isConnected())
            QSKIP("no session bus (CTest runs this suite under a dbus-run-session of its own)");
        // The desktop listens on a connection of its own, as it would in another process.
        const QString name = QStringLiteral("desktop ") + QLatin1String(QTest::currentDataTag());
        QDBusConnection desktop = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        const auto disconnect = qScopeGuard([&] {
            desktop.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
            desktop.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
            QDBusConnection::disconnectFromBus(name);
        });
        DesktopListener listener;
        if (!desktop.registerService(QStringLiteral("org.freedesktop.Notifications")))
            QSKIP("another notification server holds this bus");
        QVERIFY(desktop.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &listener,
                                       QDBusConnection::ExportScriptableSlots));
        QVERIFY(desktop.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                QStringLiteral("Update"), &listener, SLOT(Update(QString, QVariantMap))));
        useForum(R"({"bars":[{"name":"远","albums":[{"id":"61","title":"甲","pictures":["y1","y2"]},
            {"id":"62","title":"乙","pictures":["z1",{"id":"z2","status":404}]}]}]})");
        Form1 &form = freshForm();
        if (longJob)
            form.setDesktopNewsTimings({0, -1});
        QWidget other;
        if (windowActive) {
            form.activateWindow();
            QTRY_VERIFY(form.isActiveWindow());
        } else {
            other.show();
            other.activateWindow();
            QTRY_VERIFY(other.isActiveWindow());
            QVERIFY(!form.isActiveWindow());
        }
        form.Text1->setText(QStringLiteral("远"));
        form.Command1_Click();
        QCOMPARE(lines(form.List1).constLast(),
                 QStringLiteral("其中1张图片下载失败，可按“重新下载保存失败的文件”重试"));
        // The bus keeps one sender's messages to one receiver in order: once an answer to a
        // later call has come, the job's news has arrived.
        QDBusPendingCall ping = sender.asyncCall(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
        QTRY_VERIFY(ping.isFinished());
        QTRY_COMPARE(listener.progress.size(), 4);
        QStringList progress;
        for (const DesktopListener::Progress &p : std::as_const(listener.progress)) {
            QCOMPARE(p.uri, QStringLiteral("application://org.quillory.Quillory.desktop"));
            progress << (p.properties.value(QStringLiteral("progress-visible")).toBool()
                             ? QString::number(p.properties.value(QStringLiteral("progress")).toDouble())
                             : QStringLiteral("hidden"));
        }
        QCOMPARE(progress, QStringList({u"0"_s, u"0.5"_s, u"1"_s, u"hidden"_s}));
        QCOMPARE(listener.notifications.size(), notifications);
        if (notifications == 0)
            return;
        const DesktopListener::Notification &told = listener.notifications.constFirst();
        QCOMPARE(told.app, QStringLiteral("Quillory"));
        QCOMPARE(told.icon, QStringLiteral("org.quillory.Quillory"));
        QCOMPARE(told.summary, QStringLiteral("远吧：下载完毕"));
        QCOMPARE(told.body, QStringLiteral("保存3张图片，失败1张\n") + barFolder(QStringLiteral("远")));
        QCOMPARE(told.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("org.quillory.Quillory"));
    }

    void retryTakesUpTheBarsFailedTxt_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("failed"); // "<id> <picture number>" each, in album 甲 of bar 旧
        QTest::addColumn<bool>("hostileLine");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("left");
        const QString start3 = QStringLiteral("开始重新下载3张下载失败的图片");
        QTest::newRow("all three saved") << QStringLiteral("旧") << QStringList{u"x1 1"_s, u"x3 3"_s, u"x4 4"_s}
                                         << false
                                         << QStringList{start3, QStringLiteral("重新下载完成：成功3张，仍失败0张")}
                                         << QStringList();
        QTest::newRow("one fails again") << QStringLiteral("旧") << QStringList{u"x1 1"_s, u"x2 2"_s, u"x3 3"_s}
                                         << false
                                         << QStringList{start3, QStringLiteral("重新下载完成：成功2张，仍失败1张")}
                                         << QStringList{u"x2 2"_s};
        QTest::newRow("a line naming a file outside the bar is not taken")
            << QStringLiteral("旧") << QStringList{u"x1 1"_s} << true
            << QStringList{QStringLiteral("开始重新下载1张下载失败的图片"),
                           QStringLiteral("重新下载完成：成功1张，仍失败0张")}
            << QStringList();
        QTest::newRow("another bar in the box")
            << QStringLiteral("新") << QStringList{u"x1 1"_s} << false
            << QStringList{QStringLiteral("没有下载失败的图片")} << QStringList{u"x1 1"_s};
    }

    void retryTakesUpTheBarsFailedTxt()
    {
        QFETCH(QString, box);
        QFETCH(QStringList, failed);
        QFETCH(bool, hostileLine);
        QFETCH(QStringList, log);
        QFETCH(QStringList, left);
        useForum(
            R"({"bars":[{"name":"旧","albums":[{"id":"71","title":"甲","pictures":[{"id":"x2","status":404}]}]}]})");
        const QString bar = barFolder(QStringLiteral("旧"));
        QVERIFY(QDir().mkpath(bar + QStringLiteral("/甲")));
        const auto removeBar = qScopeGuard([&] { QDir(bar).removeRecursively(); });
        const auto lineOf = [&](const QString &failure) -> QString {
            const QStringList parts = failure.split(u' ');
            return pictureAddress(m_server.hostAndPort(), parts.at(0)) + u'\t' + bar + QStringLiteral("/甲/") +
                   parts.at(1) + QStringLiteral(".jpg\n");
        };
        // As a window closed yesterday left it.
        QString text;
        for (const QString &failure : std::as_const(failed))
            text += lineOf(failure);
        if (hostileLine)
            text += pictureAddress(m_server.hostAndPort(), QStringLiteral("x9")) + u'\t' +
                    m_folder.filePath(QStringLiteral("x9.jpg")) + u'\n';
        {
            QFile file(FailureFile::pathIn(bar));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text.toUtf8());
        }
        Form1 &form = freshForm();
        form.Text1->setText(box);
        form.Command2_Click();
        QCOMPARE(lines(form.List1), log);
        QVERIFY(!QFileInfo::exists(m_folder.filePath(QStringLiteral("x9.jpg"))));
        if (box != u"旧")
            return;
        for (const QString &failure : std::as_const(failed)) {
            const QStringList parts = failure.split(u' ');
            const QString path = bar + QStringLiteral("/甲/") + parts.at(1) + QStringLiteral(".jpg");
            QCOMPARE(TestSupport::holdsPicture(m_server, path, parts.at(0)), !left.contains(failure));
        }
        // What still fails stays for the next day, as quillory-cli would leave it.
        QString leftText;
        for (const QString &failure : std::as_const(left))
            leftText += lineOf(failure);
        QCOMPARE(readAll(FailureFile::pathIn(bar)), left.isEmpty() ? QStringLiteral("<missing>") : leftText);
        // A second press retries what failed in the first, from the window's own lists.
        form.Command2_Click();
        QCOMPARE(lines(form.List1).mid(log.size(), 1),
                 QStringList{left.isEmpty() ? QStringLiteral("没有下载失败的图片")
                                            : QStringLiteral("开始重新下载1张下载失败的图片")});
    }

    void closeEndsThroughTheExitPath()
    {
        Form1 &form = freshForm();
        int exits = 0;
        form.setExitHandler([&] { ++exits; });
        form.close();
        QCOMPARE(exits, 1);
    }
};

QUILLORY_TEST_MAIN(TestWindow)
#include "tst_window.moc"
