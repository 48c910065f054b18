#include "OutputProgress.h"

#include "MainWindow.h"

#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>

TCancelOffered::TCancelOffered(TForm1 *Form) : FForm(Form), FWasShown(!Form->ProgressCancel->isHidden())
{
    FForm->FOutputCancelled = false;
    FForm->ProgressCancel->setEnabled(true);
    FForm->ProgressCancel->show();
}

TCancelOffered::~TCancelOffered()
{
    if (!FWasShown)
        FForm->ProgressCancel->hide();
}

TOutputProgress::TOutputProgress(TForm1 *Form) : FForm(Form), FWasShown(!Form->GroupBox3->isHidden()), FLock(Form)
{
    FForm->FOutputCancelled = false;
    if (FWasShown)
        return;
    FForm->ProgressBar1->setRange(0, 100);
    FForm->ProgressBar1->setValue(0);
    FForm->GroupBox3->show();
    // A page of a book output is not stopped on its own: the book's run
    // decides what is left of the site.
    FCancel.emplace(Form);
}

TOutputProgress::~TOutputProgress()
{
    FCancel.reset();
    if (!FWasShown)
        FForm->GroupBox3->hide();
}
