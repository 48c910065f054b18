#include "CatalogUi.h"

#include <QCoreApplication>
#include <QDialog>

namespace CatalogUi {

namespace {
TScript *GScript = nullptr;
} // namespace

void SetScript(TScript *Script)
{
    GScript = Script;
}

TScript *Script()
{
    return GScript;
}

int ShowModal(QDialog *Dialog)
{
    if (GScript && GScript->ShowModal)
        return GScript->ShowModal(Dialog);
    return Dialog->exec();
}

void Terminate()
{
    if (GScript && GScript->Terminate) {
        GScript->Terminate();
        return;
    }
    QCoreApplication::exit(0);
}

} // namespace CatalogUi
