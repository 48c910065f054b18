// The application object's error handler, which needs a process of its own: an
// exception thrown by an event handler (not wrapped by Guarded) reaches
// TApplication::notify, the error box is shown, and the event loop goes on.
// It also holds the application-wide hint settings.
// Exit code 0 when everything held; the failures are listed on standard error.

#include "platform/services/Application.h"
#include "platform/services/ScriptedPrompts.h"

#include <QGroupBox>
#include <QStyle>
#include <QTimer>
#include <cstdio>

namespace {

class Thrower : public QWidget {
protected:
    bool event(QEvent *E) override
    {
        if (E->type() == QEvent::User)
            throw EInOutError(QStringLiteral("磁盘已满"));
        if (E->type() == QEvent::Type(QEvent::User + 1))
            Abort();
        return QWidget::event(E);
    }
};

int Failures = 0;

void Check(bool Ok, const char *What)
{
    if (!Ok) {
        std::fprintf(stderr, "failed: %s\n", What);
        ++Failures;
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication App(argc, argv);
    App.SetTitle(QStringLiteral("Quillbook 2008"));
    auto Owned = std::make_unique<TScriptedPrompts>();
    TScriptedPrompts *Script = Owned.get();
    SetPrompts(std::move(Owned));
    Script->AnswerButton(QStringLiteral("OK"));
    Script->AnswerButton(QStringLiteral("OK"));

    Thrower W;
    W.show();
    QGroupBox Progress(QStringLiteral("操作进度："));
    Progress.show();
    SetProgressBox(&Progress);
    ShowWaitCursor();

    int Later = 0;
    QCoreApplication::postEvent(&W, new QEvent(QEvent::Type(QEvent::User + 1)));
    QCoreApplication::postEvent(&W, new QEvent(QEvent::User));
    // A plain lambda on a timer: the exception passes through Qt's signal code to notify.
    QTimer::singleShot(10, &W, [] { throw std::runtime_error("timer handler failed"); });
    QTimer::singleShot(100, &App, [&] {
        Later = 1;
        QCoreApplication::quit();
    });
    App.exec();

    Check(Later == 1, "the event loop went on after the errors");
    Check(Script->Records().size() == 2, "one error box per error, none for EAbort");
    if (Script->Records().size() == 2) {
        const TPromptRecord &R = Script->Records()[0];
        Check(R.Text == QStringLiteral("磁盘已满"), "the box shows the exception's message");
        Check(R.Caption == QStringLiteral("Quillbook 2008"), "the box is captioned with the application title");
        Check(R.Kind == TPromptKind::MessageBox && R.Buttons == QStringList{QStringLiteral("OK")}, "the box has OK only");
        Check(Script->Records()[1].Text == QStringLiteral("timer handler failed"), "a standard exception shows its text");
    }
    Check(!WaitCursorShown(), "the cursor was restored");
    Check(!Progress.isVisible(), "the progress box was hidden");
    Check(!Script->Failed() && PendingScriptFailure().isEmpty(), "no unscripted prompt");

    // The hint pause is the application's, not the platform's.
    App.SetHintPause(3000);
    Check(App.HintPause() == 3000, "the hint pause is set");
    App.SetHintPause(2500);
    Check(App.HintPause() == 2500 && W.style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay) == 2500,
          "the widgets see the hint pause");
    SetPrompts(nullptr);
    return Failures == 0 ? 0 : 1;
}
