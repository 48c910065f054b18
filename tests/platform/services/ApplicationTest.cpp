// The error handler, the messages, the cursor and the busy lock.

#include "platform/services/Application.h"
#include "platform/services/Clipboard.h"
#include "platform/services/Messages.h"
#include "platform/services/QtPrompts.h"
#include "platform/services/ScriptedPrompts.h"
#include "ModalAnswers.h"

#include <QCoreApplication>
#include <QAction>
#include <QDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

class ErrorHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto P = std::make_unique<TScriptedPrompts>();
        Script = P.get();
        FOld = SetPrompts(std::move(P));
        ClearScriptFailure();
        QCoreApplication::setApplicationName(QStringLiteral("Quillbook 2008"));
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Quillbook 2008"));
    }
    void TearDown() override
    {
        SetPrompts(std::move(FOld));
        ClearScriptFailure();
        RestoreCursor();
        SetProgressBox(nullptr);
    }
    TScriptedPrompts *Script = nullptr;

private:
    std::unique_ptr<TPrompts> FOld;
};

class Receiver : public QObject, public TMessageTarget {
public:
    QList<unsigned> Seen;
    qintptr WndProc(unsigned Msg, qintptr WParam, qintptr LParam) override
    {
        Seen << Msg;
        if (Msg == WM_USER + 1)
            throw EFOpenError(QStringLiteral("无法打开文件 /x/a.qbt"));
        if (Msg == WM_USER + 2)
            Abort();
        return WParam + LParam;
    }
};

void RunLoopBriefly()
{
    QEventLoop Loop;
    QTimer::singleShot(50, &Loop, &QEventLoop::quit);
    Loop.exec();
}

} // namespace

TEST_F(ErrorHandlerTest, AnExceptionInASlotShowsTheErrorBoxAndTheLoopGoesOn)
{
    QGroupBox Progress(QStringLiteral("操作进度："));
    Progress.show();
    SetProgressBox(&Progress);
    Script->AnswerButton(QStringLiteral("OK"));

    int Later = 0;
    QPushButton Button;
    QObject::connect(&Button, &QPushButton::clicked, &Button, Guarded([] {
        ShowWaitCursor();
        throw EConvertError(QStringLiteral("'abc' is not a valid integer value"));
    }));
    QTimer::singleShot(0, &Button, &QPushButton::click);
    QTimer::singleShot(10, [&Later] { ++Later; });
    RunLoopBriefly();

    EXPECT_EQ(Later, 1);
    ASSERT_EQ(Script->Records().size(), 1);
    const TPromptRecord &R = Script->Records()[0];
    EXPECT_EQ(R.Text, QStringLiteral("'abc' is not a valid integer value"));
    EXPECT_EQ(R.Caption, QStringLiteral("Quillbook 2008"));
    EXPECT_EQ(R.Buttons, QStringList{"OK"});
    EXPECT_FALSE(WaitCursorShown());
    EXPECT_FALSE(Progress.isVisible());
}

TEST_F(ErrorHandlerTest, AbortIsSilentAndAnUnscriptedErrorBoxIsNotedNotThrown)
{
    Guarded([] { Abort(); })();
    EXPECT_TRUE(Script->Records().isEmpty());

    // Nobody expected the error: the handler must not throw, the failure waits for the driver.
    Guarded([] { throw std::runtime_error("boom"); })();
    EXPECT_TRUE(PendingScriptFailure().contains(QStringLiteral("boom")));
}

TEST_F(ErrorHandlerTest, PostedMessagesArriveInOrderAndTheirErrorsReachTheHandler)
{
    auto R = std::make_unique<Receiver>();
    EXPECT_EQ(SendMessage(R.get(), WM_USER + 16, 100, 5), 105);
    Script->AnswerButton(QStringLiteral("OK"));
    EXPECT_EQ(SendMessage(R.get(), WM_USER + 1, 100, 5), 0);
    EXPECT_EQ(Script->Records().size(), 1);
    Script->ClearRecords();
    R->Seen.clear();
    EXPECT_EQ(SendMessage(R.get(), WM_USER + 16, 100, 5), 105);
    EXPECT_TRUE(PostMessage(R.get(), WM_USER + 8));
    EXPECT_TRUE(PostMessage(R.get(), WM_USER + 1));
    EXPECT_TRUE(PostMessage(R.get(), WM_USER + 2));
    EXPECT_EQ(R->Seen, QList<unsigned>{WM_USER + 16});   // posted ones wait for the loop
    Script->AnswerButton(QStringLiteral("OK"));
    RunLoopBriefly();
    EXPECT_EQ(R->Seen, (QList<unsigned>{WM_USER + 16, WM_USER + 8, WM_USER + 1, WM_USER + 2}));
    ASSERT_EQ(Script->Records().size(), 1);
    EXPECT_EQ(Script->Records()[0].Text, QStringLiteral("无法打开文件 /x/a.qbt"));

    // A message still queued when its window goes away is dropped.
    PostMessage(R.get(), WM_USER + 8);
    R.reset();
    RunLoopBriefly();
    EXPECT_FALSE(PostMessage(nullptr, WM_USER + 8));
}

TEST(WaitCursor, NestsAndIsUndoneByRestoreCursor)
{
    {
        TWaitCursor A;
        {
            TWaitCursor B;
            EXPECT_TRUE(WaitCursorShown());
        }
        EXPECT_TRUE(WaitCursorShown());
        RestoreCursor();
        EXPECT_FALSE(WaitCursorShown());
    }
    // A's end after RestoreCursor must not pop a cursor somebody set later.
    TWaitCursor C;
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    RestoreCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(BusyLock, DropsInputForTheLockedWindowOnly)
{
    QWidget Window;
    auto *Edit = new QLineEdit(&Window);
    // A control inside the window that stays usable (a progress box's cancel button).
    auto *Usable = new QLineEdit(&Window);
    KeepUsableWhileBusy(Usable);
    QLineEdit Other;
    Window.show();
    Other.show();
    {
        TBusyLock Lock(&Window);
        TBusyLock Nested(&Window);
        EXPECT_TRUE(IsBusy(Edit));
        EXPECT_FALSE(IsBusy(Usable));
        QKeyEvent Key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(Edit, &Key);
        QCoreApplication::sendEvent(&Other, &Key);
        QCoreApplication::sendEvent(Usable, &Key);
        ProcessMessages();
        EXPECT_EQ(Edit->text(), QString());
        EXPECT_EQ(Other.text(), QStringLiteral("a"));
        EXPECT_EQ(Usable->text(), QStringLiteral("a"));
    }
    EXPECT_FALSE(IsBusy(Edit));
    QKeyEvent Key(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    QCoreApplication::sendEvent(Edit, &Key);
    EXPECT_EQ(Edit->text(), QStringLiteral("b"));
}

TEST(BusyLock, BoxesShownWhileLockedTakeKeysAndClicksTheWindowStaysLocked)
{
    // The boxes are the program's own, on screen.
    std::unique_ptr<TPrompts> Before = SetPrompts(std::make_unique<TQtPrompts>());
    QWidget Window;
    auto *Edit = new QLineEdit(&Window);
    auto *Cancel = new QPushButton(QStringLiteral("取消"), &Window);
    KeepUsableWhileBusy(Cancel);
    int Cancels = 0, Shortcuts = 0;
    QObject::connect(Cancel, &QPushButton::clicked, [&] { ++Cancels; });
    auto *Command = new QAction(&Window);
    Command->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    Command->setShortcutContext(Qt::ApplicationShortcut);
    Window.addAction(Command);
    QObject::connect(Command, &QAction::triggered, [&] { ++Shortcuts; });
    // A dialog of the window that was up before the work began could start it again.
    QDialog Earlier(&Window);
    auto *EarlierEdit = new QLineEdit(&Earlier);
    auto *EarlierSave = new QPushButton(QStringLiteral("保存"), &Earlier);
    EarlierSave->move(0, 40);
    int Saves = 0;
    QObject::connect(EarlierSave, &QPushButton::clicked, [&] { ++Saves; });
    // Another window of it, minimised before the work began.
    QDialog Minimised(&Window);
    auto *MinimisedSave = new QPushButton(QStringLiteral("保存"), &Minimised);
    QObject::connect(MinimisedSave, &QPushButton::clicked, [&] { ++Saves; });
    Window.show();
    Earlier.show();
    Minimised.show();
    Minimised.showMinimized();
    // The shortcut goes to the active window's commands.
    Window.activateWindow();
    QApplication::processEvents();
    QTest::keyClick(&Window, Qt::Key_K, Qt::ControlModifier);
    ASSERT_EQ(Shortcuts, 1);

    TestSupport::TModalAnswers Person;
    {
        TBusyLock Lock(&Window);
        QTest::keyClicks(Edit, QStringLiteral("a"));
        QTest::keyClicks(EarlierEdit, QStringLiteral("a"));
        QTest::keyClick(&Window, Qt::Key_K, Qt::ControlModifier);
        EXPECT_FALSE(Window.close());
        EXPECT_FALSE(Earlier.close());
        QTest::mouseClick(Cancel, Qt::LeftButton);
        EXPECT_EQ(Edit->text(), QString());
        EXPECT_EQ(EarlierEdit->text(), QString());
        EXPECT_EQ(Shortcuts, 1);
        EXPECT_TRUE(Window.isVisible());
        EXPECT_EQ(Cancels, 1);

        // Minimised and restored (the window system shows it again), hidden
        // and shown again: what was up before the work stays locked.
        Earlier.showMinimized();
        Earlier.showNormal();
        Minimised.showNormal();
        Earlier.hide();
        Earlier.show();
        QApplication::processEvents();
        QTest::mouseClick(EarlierSave, Qt::LeftButton);
        QTest::mouseClick(MinimisedSave, Qt::LeftButton);
        QTest::keyClicks(EarlierEdit, QStringLiteral("a"));
        QTest::keyClick(EarlierSave, Qt::Key_Space);
        EXPECT_EQ(Saves, 0);
        EXPECT_EQ(EarlierEdit->text(), QString());
        EXPECT_TRUE(IsBusy(EarlierSave));
        EXPECT_TRUE(IsBusy(MinimisedSave));
        // A window the work shows takes clicks, minimised and restored too.
        QDialog During(&Window);
        auto *DuringOk = new QPushButton(QStringLiteral("确定"), &During);
        int Oks = 0;
        QObject::connect(DuringOk, &QPushButton::clicked, [&] { ++Oks; });
        During.show();
        QTest::mouseClick(DuringOk, Qt::LeftButton);
        During.showMinimized();
        During.showNormal();
        QTest::mouseClick(DuringOk, Qt::LeftButton);
        EXPECT_EQ(Oks, 2);
        During.hide();

        // What the work asks while it holds the window is answered: Return
        // and Escape, a click, typing into a dialog of the window.
        Person.Then(TestSupport::TModalAnswers::Key(Qt::Key_Return))
            .Then(TestSupport::TModalAnswers::Key(Qt::Key_Escape))
            .Then(TestSupport::TModalAnswers::Click(QStringLiteral("否(&N)")))
            .Then([](QWidget *Dialog) {
                auto *Field = Dialog->findChild<QLineEdit *>();
                ASSERT_NE(Field, nullptr);
                QTest::keyClicks(Field, QStringLiteral("12"));
                QTest::keyClick(Field, Qt::Key_Return);
            });
        EXPECT_EQ(MessageBox(&Window, QStringLiteral("无法打开“输出/P001/”。"), QStringLiteral("错误"),
                             MB_OK | MB_ICONERROR),
                  IDOK);
        EXPECT_EQ(MessageBox(&Window, QStringLiteral("继续吗？"), QStringLiteral("确认"), MB_OKCANCEL), IDCANCEL);
        EXPECT_EQ(MessageBox(&Window, QStringLiteral("保存吗？"), QStringLiteral("确认"), MB_YESNO), IDNO);
        QInputDialog Ask(&Window);
        Ask.setLabelText(QStringLiteral("数量"));
        EXPECT_EQ(Ask.exec(), QDialog::Accepted);
        EXPECT_EQ(Ask.textValue(), QStringLiteral("12"));
        EXPECT_TRUE(Person.Stuck.isEmpty()) << Person.Stuck.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(Person.Pending(), 0);

        // The window is as locked as before the boxes.
        QTest::keyClicks(Edit, QStringLiteral("b"));
        EXPECT_EQ(Edit->text(), QString());
        EXPECT_TRUE(IsBusy(Edit));
    }
    QTest::keyClicks(Edit, QStringLiteral("c"));
    QTest::keyClicks(EarlierEdit, QStringLiteral("c"));
    EXPECT_EQ(Edit->text(), QStringLiteral("c"));
    EXPECT_EQ(EarlierEdit->text(), QStringLiteral("c"));
    QTest::mouseClick(EarlierSave, Qt::LeftButton);
    QTest::mouseClick(MinimisedSave, Qt::LeftButton);
    EXPECT_EQ(Saves, 2);
    Window.activateWindow();
    QApplication::processEvents();
    QTest::keyClick(&Window, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(Shortcuts, 2);
    EXPECT_TRUE(Person.Unexpected.isEmpty()) << Person.Unexpected.join(QLatin1Char('|')).toStdString();
    SetPrompts(std::move(Before));
}

TEST(Clipboard, TextHtmlAndDroppedFiles)
{
    SetClipboardHtml(QStringLiteral("<b>粗体</b>"), QStringLiteral("粗体"));
    EXPECT_TRUE(ClipboardHasHtml());
    EXPECT_TRUE(ClipboardHtml().contains(QStringLiteral("<b>粗体</b>")));
    EXPECT_EQ(ClipboardText(), QStringLiteral("粗体"));
    SetClipboardText(QStringLiteral("纯文本"));
    EXPECT_FALSE(ClipboardHasHtml());

    std::unique_ptr<QMimeData> Data(MakeFileMimeData({QStringLiteral("/tmp/图 片.jpg"), QStringLiteral("/tmp/b.qbt")}));
    EXPECT_EQ(DroppedFiles(Data.get()), (QStringList{QStringLiteral("/tmp/图 片.jpg"), QStringLiteral("/tmp/b.qbt")}));
    // Remote addresses are not files.
    Data->setUrls({QUrl(QStringLiteral("http://example.invalid/a.jpg"))});
    EXPECT_FALSE(HasDroppedFiles(Data.get()));
}

TEST(ModalHooks, AnswerInPlaceOfTheDialogAndTheEndOfTheRun)
{
    QDialog Dialog;
    Dialog.setObjectName(QStringLiteral("Form9"));
    QStringList Shown;
    int Ended = 0;
    TModalHooks Hooks;
    Hooks.ShowModal = [&Shown](QDialog *D) {
        Shown << D->objectName();
        return 7;
    };
    Hooks.Terminate = [&Ended] { ++Ended; };
    TModalHooks Before = SetModalHooks(Hooks);
    EXPECT_EQ(ShowModal(&Dialog), 7);
    Terminate();
    EXPECT_EQ(Shown, QStringList{QStringLiteral("Form9")});
    EXPECT_EQ(Ended, 1);

    // A hook that takes itself out while it answers.
    TModalHooks Once;
    Once.ShowModal = [](QDialog *) {
        SetModalHooks(TModalHooks{});
        return 3;
    };
    SetModalHooks(Once);
    EXPECT_EQ(ShowModal(&Dialog), 3);
    const TModalHooks Left = SetModalHooks(std::move(Before));
    EXPECT_FALSE(Left.ShowModal);
}
