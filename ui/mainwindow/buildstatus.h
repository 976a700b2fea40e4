#pragma once

#include <QPointer>
#include <QStatusBar>
#include <QString>

// The status bar says what a background build is doing while it runs; at the
// end of the scope the text goes again, unless a result replaced it already.
class BuildStatus {
public:
    BuildStatus(QStatusBar* bar, QString text) : bar_(bar), text_(std::move(text))
    {
        if (bar_)
            bar_->showMessage(text_);
    }
    BuildStatus(const BuildStatus&) = delete;
    BuildStatus& operator=(const BuildStatus&) = delete;
    ~BuildStatus()
    {
        if (bar_ && bar_->currentMessage() == text_)
            bar_->clearMessage();
    }

private:
    QPointer<QStatusBar> bar_;
    QString text_;
};
