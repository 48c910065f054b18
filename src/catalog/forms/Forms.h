#pragma once
// The program's forms besides the main window: the start dialog (TForm2), page
// settings (TForm3), company information (TForm4), web effects (TForm5), the
// picture viewer (TPictureView) with its batch dialog (TForm6), book
// information (TForm7) and search (TForm8), each from its own header.

#include "BatchTextDialog.h"
#include "BookInfoDialog.h"
#include "CatalogDialog.h"
#include "CompanyDialog.h"
#include "PageSettingsDialog.h"
#include "PictureViewer.h"
#include "SearchDialog.h"
#include "StartDialog.h"
#include "WebEffectsDialog.h"

#include <QString>
