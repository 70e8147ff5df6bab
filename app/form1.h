#pragma once

#include "app/activitylog.h"

#include "job/barrecords.h"
#include "job/failurelists.h"
#include "job/jobwindow.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLineEdit;
class QListWidget;
class QPushButton;
class QWebEngineView;
class EnginePages;

// The program's only window: the name box, Start, Retry, the activity log and the browser in
// which the job renders album pages.
class Form1 final : public QWidget, public JobWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    QLineEdit *Text1;
    QPushButton *Command1;
    QPushButton *Command2;
    QListWidget *List1;
    QWebEngineView *WebBrowser1;

    void Text1_Click();
    void Command1_Click();
    void Command2_Click();

    QString barName() const override;
    void showNameMissing() override;
    void AppendLog(const QString &line) override;
    void ShowLastLogLine() override;
    PageSource &pages() override;
    FailureLists &failures() override;
    BarRecords *records() override;

    bool jobRunning() const { return m_jobRunning; }

    // Test seams: what answers the missing-name message, and how the program ends on close.
    void setNameMissingHandler(std::function<void()> handler) { m_nameMissingHandler = std::move(handler); }
    void setExitHandler(std::function<void()> handler) { m_exitHandler = std::move(handler); }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void Form_Unload();
    void CleanAll();

    std::unique_ptr<ActivityLog> m_log;
    std::unique_ptr<EnginePages> m_browsers;
    PageList m_pages;
    FailureLists m_failures;
    // The same per-bar record and failed.txt as quillory-cli keeps, written as pictures land
    // and fail, so that quillory-cli can later finish or retry a bar the window began without
    // fetching what the window saved; let go of after each command. The window itself reads
    // nothing back: it neither skips pictures nor passes over albums.
    BarRecords m_records{BarRecords::FailureFileWrites::AlbumByAlbum};
    bool m_jobRunning = false;
    std::function<void()> m_nameMissingHandler;
    std::function<void()> m_exitHandler;
};
