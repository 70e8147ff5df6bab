#include "app/form1.h"
#include "tests/widgetsupport.h"
#include "web/engine/pageview.h"

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

class TestWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Form1> m_form;
    QTemporaryDir m_folder;

    Form1 &freshForm()
    {
        m_form = std::make_unique<Form1>();
        m_form->setExitHandler([] {});
        m_form->show();
        if (!QTest::qWaitForWindowExposed(m_form.get()))
            qWarning("window not exposed");
        return *m_form;
    }

private slots:
    void initTestCase()
    {
        Settings::setTimings(TestSupport::shortTimings());
        setPagePace(TestSupport::shortPace());
        Settings::setProgramFolder(m_folder.path());
        // Nothing listens on port 1: every fetch fails at once.
        Hosts::setHosts(QStringLiteral("127.0.0.1:1"), QStringLiteral("127.0.0.1:1"));
    }

    void cleanup() { m_form.reset(); }

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
        Hosts::setHosts(host, host);
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
        Hosts::setHosts(QStringLiteral("127.0.0.1:1"), QStringLiteral("127.0.0.1:1"));
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
        Hosts::setHosts(host, host);
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
        Hosts::setHosts(QStringLiteral("127.0.0.1:1"), QStringLiteral("127.0.0.1:1"));
        QVERIFY(wasRunning);
        QVERIFY(!form.jobRunning());
        // The first job's list page never answers.
        QCOMPARE(
            lines(form.List1),
            QStringList({QStringLiteral("开始获取相册地址！"), QStringLiteral("已有下载任务在进行，本次开始已忽略"),
                         QStringLiteral("获取相册列表失败：http://%1/photo/g?kw=风景&pn=1（超时）").arg(host)}));
        QCOMPARE(shownAfterRefusal, 1);
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
