#pragma once

#include "app/activitylog.h"
#include "app/desktopnews.h"
#include "app/windowchoices.h"

#include "job/jobwindow.h"
#include "job/records/barrecords.h"
#include "job/records/failurelists.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QLineEdit;
class QListWidget;
class QMessageBox;
class QPushButton;
class QWebEngineView;
class Engine;
class EnginePages;

// The program's only window: the name box, Start, Retry, the activity log and the browser in
// which the job renders album pages. Its jobs run on the engine it is given, which outlives it.
class Form1 final : public QWidget, public JobWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    explicit Form1(Engine &engine, QWidget *parent = nullptr);
    ~Form1() override;

    QLineEdit *Text1;
    QPushButton *Command1;
    QPushButton *Command2;
    QListWidget *List1;
    QWebEngineView *WebBrowser1;

    void Text1_Click();
    void Command1_Click();
    void Command2_Click();

    // The name box's text as it is now.
    QString barName() const;
    void AppendLog(const QString &line) override;
    void ShowLastLogLine() override;
    FailureLists &failures() override;
    BarRecords *records() override;
    JobObserver *observer() override;

    // True while a Start or a Retry runs.
    bool jobRunning() const { return m_jobRunning; }

    // Every Start from now on reads the settings file afresh, with `commandLine` over it, and
    // says the pace it chose. Without it a job takes the choices of its engine.
    void readChoicesAtEachStart(const WindowChoices &commandLine) { m_choices = commandLine; }

    // Test seams: what answers the missing-name message at once, and how the program ends on close.
    void setNameMissingHandler(std::function<void()> handler) { m_nameMissingHandler = std::move(handler); }
    void setExitHandler(std::function<void()> handler) { m_exitHandler = std::move(handler); }
    // Test seam: when the desktop hears of a job.
    void setDesktopNewsTimings(const DesktopNewsTimings &timings) { m_news.setTimings(timings); }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    // Tells the user that no name was given; the message, open, or null when it was answered.
    QMessageBox *showNameMissing();
    void Form_Unload();
    void CleanAll();
    bool promptUntouched() const;
    void replacePrompt(const QString &edited);
    // The choices of the settings file and the command line, each complaint said once.
    JobChoices takeChoices();
    void takeFailureFile();

    Engine &m_engine;
    std::unique_ptr<ActivityLog> m_log;
    std::unique_ptr<EnginePages> m_browsers;
    PageList m_pages;
    FailureLists m_failures;
    // The same per-bar record and failed.txt as quillory-cli keeps, written as pictures land
    // and albums end, so that quillory-cli can later finish or retry a bar the window began
    // without fetching what the window saved; let go of after each command. The window reads
    // back only the failures a closed window left, for Retry: it neither skips pictures nor
    // passes over albums.
    BarRecords m_records;
    // Hears of the job first and hands on to the records.
    DesktopNews m_news;
    std::optional<WindowChoices> m_choices;
    QStringList m_complained; // what the settings file got wrong, said once each
    // The user typed the prompt's very text: it is theirs, no longer the prompt.
    bool m_promptTyped = false;
    QString m_shownText; // the box's text before the edit being told of
    bool m_jobRunning = false;
    std::function<void()> m_nameMissingHandler;
    std::function<void()> m_exitHandler;
};
