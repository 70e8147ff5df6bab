#include "app/form1.h"
#include "app/picturehome.h"
#include "web/engine/pageview.h"

#include "job/engine.h"
#include "job/restnotice.h"
#include "job/retrycommand.h"
#include "job/settingsfile.h"
#include "job/startcommand.h"

#include "web/engine/enginepages.h"
#include "web/engine/webenginebrowser.h"
#include "web/network/hostholds.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QWebEngineView>

#include <cstdio>
#include <optional>

namespace {

const QString prompt = QStringLiteral("请输入吧名");

template<typename Control> Control *place(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *control = new Control(parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(left, top, width, height);
    return control;
}

// What an edit of `before` into `after` put in; with the edit's place unknown, the longest
// common start and end are taken for what stayed.
QString inserted(const QString &before, const QString &after)
{
    qsizetype start = 0;
    while (start < before.size() && start < after.size() && before.at(start) == after.at(start))
        ++start;
    qsizetype end = 0;
    while (end < before.size() - start && end < after.size() - start &&
           before.at(before.size() - 1 - end) == after.at(after.size() - 1 - end))
        ++end;
    return after.mid(start, after.size() - start - end);
}

} // namespace

Form1::Form1(Engine &engine, QWidget *parent)
    : QWidget(parent)
    , m_engine(engine)
    , m_pages(JobChoices::mostPages, [this](int index) -> BrowserAdapter & { return m_browsers->page(index); })
    , m_records(engine.hosts())
    , m_news([this] { return isActiveWindow(); }, nullptr)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quillory"));
    QIcon icon;
    for (int size : {32, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/quillory-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    setLocale(QLocale(QLocale::Chinese, QLocale::China));
    resize(472, 299);
    createControls();
    m_log = std::make_unique<ActivityLog>(List1);
    m_browsers = std::make_unique<EnginePages>(m_engine.timings(), m_engine.health(), WebBrowser1);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

Form1::~Form1() = default;

void Form1::createControls()
{
    Text1 = place<QLineEdit>(this, "Text1", 8, 16, 105, 25);
    Text1->setText(prompt);
    Text1->installEventFilter(this);
    m_shownText = prompt;
    // The edits no event below announces (the context menu's paste, a middle click's paste,
    // deleting) replace the prompt once they are made.
    connect(Text1, &QLineEdit::textEdited, this, &Form1::replacePrompt);
    connect(Text1, &QLineEdit::textChanged, this, [this] { m_shownText = Text1->text(); });
    Command1 = place<QPushButton>(this, "Command1", 120, 16, 81, 25);
    Command1->setText(QStringLiteral("开始下载"));
    List1 = place<QListWidget>(this, "List1", 8, 48, 457, 244);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    Command2 = place<QPushButton>(this, "Command2", 208, 16, 145, 25);
    Command2->setText(QStringLiteral("重新下载保存失败的文件"));
    WebBrowser1 = place<QWebEngineView>(this, "WebBrowser1", 88, 72, pageViewSize.width(), pageViewSize.height());
    // The log lies in front of the browser it wholly covers, so that every line can be read; the
    // page behind it renders and scrolls all the same.
    WebBrowser1->stackUnder(List1);
    for (QPushButton *button : {Command1, Command2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, List1);
    setTabOrder(List1, Command2);
    setTabOrder(Command2, WebBrowser1);
    Text1->setFocus();
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // A mouse click clears the prompt; moving in with the keyboard leaves it, but whatever is
    // typed, pasted or composed into it then takes its place.
    if (watched == Text1) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            Text1_Click();
        else if (promptUntouched() && event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if ((!key->text().isEmpty() && key->text().at(0).isPrint()) || key->matches(QKeySequence::Paste))
                Text1->clear();
        } else if (promptUntouched() && event->type() == QEvent::InputMethod) {
            const auto *input = static_cast<QInputMethodEvent *>(event);
            if (!input->commitString().isEmpty() || !input->preeditString().isEmpty())
                Text1->clear();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool Form1::promptUntouched() const
{
    return Text1->text() == prompt && !m_promptTyped;
}

void Form1::replacePrompt(const QString &edited)
{
    // Runs before the box tells of the changed text, so m_shownText is still the text before.
    if (m_shownText == prompt && !m_promptTyped) {
        Text1->setText(inserted(prompt, edited));
        return;
    }
    m_promptTyped = edited == prompt;
}

void Form1::Text1_Click()
{
    if (Text1->text() == prompt)
        Text1->clear();
}

void Form1::Command1_Click()
{
    // One command at a time: a second job would share the scratch file and the browser.
    if (m_jobRunning) {
        AppendLog(QStringLiteral("已有下载任务在进行，本次开始已忽略"));
        ShowLastLogLine();
        return;
    }
    // Read once: whatever the box says later is not this job's business.
    const QString name = barName();
    m_jobRunning = true;
    const auto over = qScopeGuard([this] { m_jobRunning = false; });
    // The handler's one wait, until the job has ended, the message is closed or the program ends.
    QEventLoop wait;
    if (name.isEmpty()) {
        // A bar without a name has no album list to fetch.
        if (QMessageBox *box = showNameMissing()) {
            connect(box, &QDialog::finished, &wait, &QEventLoop::quit);
            wait.exec();
        }
        return;
    }
    JobRequest request = JobRequest::now(m_engine, name, m_pages);
    if (m_choices) {
        // What the settings file got wrong comes first, as the job would say it.
        request.choices = takeChoices();
        if (const QString pace = WindowChoices::paceLine(request.choices); !pace.isEmpty())
            AppendLog(pace);
    }
    // Decided afresh by every job: the program folder may have become writable meanwhile.
    const PictureHome home(m_engine.folders());
    if (!home.picturesMovedTo().isEmpty())
        AppendLog(QStringLiteral("图片保存到：") + home.picturesMovedTo());
    request.pictureFolder = home.folders().pictureFolder();
    request.scratchFolder = home.folders().scratchFolder();
    m_news.jobStarting(name, BarRecords::barFolder(request.pictureFolder, name));
    {
        StartCommand job(*this, request);
        connect(&job, &StartCommand::finished, &wait, &QEventLoop::quit);
        job.start();
        if (!job.isFinished())
            wait.exec();
        // A job the program's end cut short goes here, with its pages and pictures under way.
    }
    m_records.release();
}

JobChoices Form1::takeChoices()
{
    const JobChoicesFile settings = m_choices->forNextJob();
    // A value the file keeps getting wrong is said once, not at every job.
    for (const QString &complaint : settings.complaints()) {
        if (!m_complained.contains(complaint)) {
            m_complained.append(complaint);
            AppendLog(complaint);
        }
    }
    return settings.choices;
}

void Form1::Command2_Click()
{
    // One command at a time: a retry beside a job would race it for the same pictures and records.
    if (m_jobRunning) {
        AppendLog(QStringLiteral("已有下载任务在进行，本次重新下载已忽略"));
        ShowLastLogLine();
        return;
    }
    // With nothing failed in this window, the failures a closed one left in the bar's
    // failed.txt, so that a bar can be retried another day.
    if (m_failures.isEmpty())
        takeFailureFile();
    const qsizetype waiting = m_failures.size();
    if (waiting == 0) {
        m_records.release();
        AppendLog(QStringLiteral("没有下载失败的图片"));
        ShowLastLogLine();
        return;
    }
    AppendLog(QStringLiteral("开始重新下载%1张下载失败的图片").arg(waiting));
    ShowLastLogLine();
    m_jobRunning = true;
    const auto over = qScopeGuard([this] { m_jobRunning = false; });
    // A press is a job of its own: it asks a host given up earlier again.
    HostHolds &holds = m_engine.network().holds();
    holds.forgetGivenUp();
    std::optional<JobSummary> counts;
    {
        const HoldNotice holdNotice(*this, holds);
        RetryCommand retry(m_engine, m_failures, nullptr, &m_records);
        // The handler's one wait, until the retry has ended or the program ends.
        QEventLoop wait;
        connect(&retry, &RetryCommand::finished, &wait, &QEventLoop::quit);
        retry.start();
        if (!retry.isFinished())
            wait.exec();
        if (retry.isFinished())
            counts = retry.counts();
    }
    m_records.release();
    if (!counts)
        return;
    AppendLog(QStringLiteral("重新下载完成：成功%1张，仍失败%2张").arg(counts->saved).arg(counts->failed));
    ShowLastLogLine();
}

void Form1::takeFailureFile()
{
    const QString name = barName();
    if (name.isEmpty())
        return;
    const QString barFolder = BarRecords::barFolder(PictureHome(m_engine.folders()).folders().pictureFolder(), name);
    // Taken as quillory-cli takes them: only lines naming a picture of this bar, not saved since.
    m_records.carryOver(barFolder, m_failures);
}

QString Form1::barName() const
{
    return Text1->text();
}

QMessageBox *Form1::showNameMissing()
{
    if (m_nameMissingHandler) {
        m_nameMissingHandler();
        return nullptr;
    }
    auto *box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Quillory"), QStringLiteral("请输入贴吧名称"),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

void Form1::AppendLog(const QString &line)
{
    m_log->AppendLog(line);
}

void Form1::ShowLastLogLine()
{
    m_log->ShowLastLogLine();
}

FailureLists &Form1::failures()
{
    return m_failures;
}

BarRecords *Form1::records()
{
    return &m_records;
}

JobObserver *Form1::observer()
{
    return &m_news;
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void Form1::Form_Unload()
{
    CleanAll();
}

void Form1::CleanAll()
{
    // What the job has recorded so far stays for the next run; a job still running records
    // nothing more from here on.
    m_records.letGo();
    std::fflush(stdout);
    std::fflush(stderr);
    if (m_exitHandler) {
        m_exitHandler();
        return;
    }
    // Every event loop returns, the handler's wait among them: the job it waits for is deleted,
    // which stops its pages and pictures, and main() returns.
    QCoreApplication::exit(0);
}
