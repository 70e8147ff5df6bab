#pragma once

class BrowserAdapter;
class QString;
struct FailureLists;

// Everything a command may ask of the window it runs in.
class JobWindow
{
public:
    virtual ~JobWindow() = default;

    // The name box's text as it is now; the job reads it afresh at each step that needs it.
    virtual QString barName() const = 0;
    // Tells the user that no name was given; returns when the user has closed the message.
    virtual void showNameMissing() = 0;
    virtual void AppendLog(const QString &line) = 0;
    virtual void ShowLastLogLine() = 0;
    virtual BrowserAdapter &browser() = 0;
    virtual FailureLists &failures() = 0;
};
