// The font prompt and the save-picture dialog kind through scripted prompts:
// what comes back, what is recorded, and answers that do not fit.

#include "platform/services/Prompts.h"
#include "platform/services/ScriptedPrompts.h"

#include <QFont>
#include <gtest/gtest.h>

TEST(FontPrompt, ScriptedAnswersAndTheSavePictureKind)
{
    auto Owned = std::make_unique<TScriptedPrompts>();
    TScriptedPrompts *P = Owned.get();
    std::unique_ptr<TPrompts> Before = SetPrompts(std::move(Owned));

    TFontDialog Dialog;
    Dialog.Font() = QFont(QStringLiteral("Sans"), 9);
    P->AnswerFont(QStringLiteral("WenQuanYi Micro Hei, 24, bold, italic"));
    ASSERT_TRUE(Dialog.Execute());
    EXPECT_EQ(Dialog.Font().family(), QStringLiteral("WenQuanYi Micro Hei"));
    EXPECT_EQ(Dialog.Font().pointSize(), 24);
    EXPECT_TRUE(Dialog.Font().bold());
    EXPECT_TRUE(Dialog.Font().italic());
    EXPECT_EQ(P->Records().last().Kind, TPromptKind::Font);
    EXPECT_EQ(PromptKindName(TPromptKind::Font), QStringLiteral("FontDialog"));

    // Cancel keeps the font; an answer without a size fails the script.
    P->AnswerButton(QStringLiteral("Cancel"));
    EXPECT_FALSE(Dialog.Execute());
    EXPECT_EQ(Dialog.Font().pointSize(), 24);
    P->AnswerFont(QStringLiteral("Sans"));
    EXPECT_THROW(Dialog.Execute(), EScriptFailure);
    P->Reset();
    ClearScriptFailure();

    // The save-picture dialog is a save dialog: the default extension is added and
    // an existing file is asked about.
    EXPECT_TRUE(IsSaveKind(TFileDialogKind::SavePicture));
    TSavePictureDialog Save;
    Save.Options |= OpenOpt(ofOverwritePrompt);
    P->AnswerFile(QStringLiteral("/nonexistent-folder/shot"));
    ASSERT_TRUE(Save.Execute());
    EXPECT_EQ(Save.FileName, QStringLiteral("/nonexistent-folder/shot.jpg"));

    SetPrompts(std::move(Before));
}
