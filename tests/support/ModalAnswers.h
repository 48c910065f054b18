#pragma once
// Answers the real boxes and dialogs a run shows, as a person does: a key or a
// click in the modal window that is up. A window that does not take the input
// is noted and closed, and so is one nobody expected, so that a test fails
// where the program would hang.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QtTest/QTest>
#include <deque>
#include <functional>
#include <gtest/gtest.h>

namespace TestSupport {

class TModalAnswers : public QObject {
public:
    // What is done in one modal window; it is expected to close it.
    using TAnswer = std::function<void(QWidget *Modal)>;

    TModalAnswers()
    {
        connect(&FPoll, &QTimer::timeout, this, [this] { Poll(); });
        FPoll.start(5);
    }

    // The next modal window that comes up gets Answer.
    TModalAnswers &Then(TAnswer Answer)
    {
        FAnswers.push_back(std::move(Answer));
        return *this;
    }

    // A key pressed where the window's keyboard focus is.
    static TAnswer Key(Qt::Key K)
    {
        return [K](QWidget *Modal) {
            QWidget *Target = QApplication::focusWidget();
            if (!Target || Target->window() != Modal)
                Target = Modal;
            QTest::keyClick(Target, K);
        };
    }

    // A click on the window's button that shows Text.
    static TAnswer Click(const QString &Text)
    {
        return [Text](QWidget *Modal) {
            for (QAbstractButton *B : Modal->findChildren<QAbstractButton *>())
                if (B->isVisible() && B->text() == Text) {
                    QTest::mouseClick(B, Qt::LeftButton);
                    return;
                }
            ADD_FAILURE() << "no button " << Text.toStdString();
        };
    }

    int Pending() const { return int(FAnswers.size()); }

    QStringList Texts;        // the texts (a box's) or titles of the windows answered, in order
    QStringList Stuck;        // windows that stayed up after their answer
    QStringList Unexpected;   // windows that came up with no answer left

private:
    static QString Describe(QWidget *W)
    {
        if (auto *Box = qobject_cast<QMessageBox *>(W))
            return Box->text();
        return W->windowTitle();
    }
    static void Close(QWidget *W)
    {
        // Hidden, not closed: a window that takes no input refuses its close
        // event too (a dialog's buttons close it through one). A hidden
        // dialog's own loop ends.
        W->hide();
    }
    void Poll()
    {
        QWidget *Modal = QApplication::activeModalWidget();
        if (!Modal || !Modal->isVisible())
            return;
        const QString Text = Describe(Modal);
        if (FAnswers.empty()) {
            Unexpected << Text;
            Close(Modal);
            return;
        }
        TAnswer Answer = std::move(FAnswers.front());
        FAnswers.pop_front();
        Texts << Text;
        const QPointer<QWidget> Guard(Modal);
        Answer(Modal);
        if (Guard && Guard->isVisible()) {
            Stuck << Text;
            Close(Guard);
        }
    }

    QTimer FPoll;
    std::deque<TAnswer> FAnswers;
};

} // namespace TestSupport
