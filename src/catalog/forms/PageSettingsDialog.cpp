#include "PageSettingsDialog.h"

#include "CompanyDialog.h"
#include "DialogGrids.h"
#include "MainWindow.h"
#include "catalog/document/CompanyFiles.h"
#include "catalog/document/PageDocument.h"
#include "catalog/document/PageSettings.h"
#include "grid/CellGridEditors.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace PageSettings;

namespace {

const QString FolderCaption = QStringLiteral("请选择一个文件夹：");
const QString EnglishWarning =
    QStringLiteral("注意，使用英文输出方式时，使用了西欧编码，图片文件名当中不能含有中文，否则会不能正常显示。");

// A page value as the grid shows it: the single blank that keeps an empty
// value's line in the page text reads as empty again.
QString ShownValue(const QString &Stored)
{
    return Stored == QStringLiteral(" ") ? QString() : Stored;
}

} // namespace

TForm3::TForm3(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("Form3"), QStringLiteral("页面设置"))
    , FStyleDescription(std::make_unique<TStringList>())
{
    CellGrid1 = new TCellGrid(this);
    CellGrid1->setObjectName(QStringLiteral("CellGrid1"));
    // The dialog opens with every row in sight (see the end of the layout).
    CellGrid1->setMinimumSize(420, GridRowCount * 22 + 6);

    Label1 = new QLabel(QStringLiteral("Catalog 语言："), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->addItems({Chinese, English});
    ComboBox1->setCurrentIndex(0);
    Label2 = new QLabel(QStringLiteral("Catalog 风格："), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    ComboBox2 = new QComboBox(this);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setWordWrap(true);
    CheckBox1 = new QCheckBox(QStringLiteral("保存为默认设置"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("取消"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("修改联系人信息"), this);
    Button3->setObjectName(QStringLiteral("Button3"));

    auto *Choices = new QGridLayout;
    Choices->addWidget(Label1, 0, 0);
    Choices->addWidget(ComboBox1, 0, 1);
    Choices->addWidget(Label2, 1, 0);
    Choices->addWidget(ComboBox2, 1, 1);
    Choices->setColumnStretch(1, 1);
    auto *Buttons = new QHBoxLayout;
    Buttons->addWidget(Button3);
    Buttons->addStretch(1);
    Buttons->addWidget(Button1);
    Buttons->addWidget(Button2);
    auto *Main = new QVBoxLayout(this);
    Main->addWidget(CellGrid1, 1);
    Main->addLayout(Choices);
    Main->addWidget(Label3);
    Main->addWidget(CheckBox1);
    Main->addLayout(Buttons);
    // Where the screen has no room for every row (a small screen, a large
    // scale) the grid keeps its header and four rows and scrolls, and the
    // choices and buttons below it stay on the screen.
    const QSize EveryRow = sizeHint();
    CellGrid1->setMinimumHeight(5 * 22 + 6);
    resize(EveryRow);

    SetDialogButtons(Button1, Button2);
    PassDialogKeys(CellGrid1);
    SetTabOrder({CellGrid1, ComboBox1, ComboBox2, CheckBox1, Button3, Button1, Button2});

    connect(Button1, &QPushButton::clicked, this, [this] { Guard([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guard([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { Guard([this] { Button3Click(); }); });
    connect(ComboBox1, &QComboBox::activated, this, [this] { Guard([this] { ComboBox1Select(); }); });
    connect(ComboBox2, &QComboBox::activated, this, [this] { Guard([this] { ComboBox2Select(); }); });
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { Guard([this] { CheckBox1Click(); }); });
    CellGrid1->OnGetEditorType = [this](TObject *Sender, int ACol, int ARow, TEditorType &AEditor) {
        CellGrid1GetEditorType(Sender, ACol, ARow, AEditor);
    };
    CellGrid1->OnGridHint = [this](TObject *Sender, int ARow, int ACol, QString &HintStr) {
        CellGrid1GridHint(Sender, ARow, ACol, HintStr);
    };
    CellGrid1->OnEllipsClick = [this](TObject *Sender, int ACol, int ARow, QString &S) {
        CellGrid1EllipsClick(Sender, ACol, ARow, S);
    };

    FormCreate();
}

TForm3::~TForm3() = default;

QString TForm3::ReadDatLine(const QString &FileName, int Line)
{
    return CompanyFiles::ReadDatLine(FileName, Line);
}

bool TForm3::EnglishSelected() const
{
    return ComboBox1->currentIndex() == 1;
}

TPageDocument *TForm3::TargetPage() const
{
    if (PageText)
        return PageText;
    if (auto *Main = qobject_cast<TForm1 *>(parentWidget()))
        return &Main->Page();
    return nullptr;
}

// ------------------------------------------------------------------ creation

void TForm3::FormCreate()
{
    CellGrid1->SetColCount(2);
    CellGrid1->SetRowCount(GridRowCount);
    CellGrid1->SetFixedCols(1);
    CellGrid1->SetFixedRows(1);
    CellGrid1->SetColWidths(0, 102);
    CellGrid1->SetColWidths(1, 291);
    CellGrid1->SetOptions(CellGrid1->Options() | goEditing);
    for (int R = 0; R < GridRowCount; ++R) {
        CellGrid1->SetCells(0, R, QString());
        CellGrid1->SetCells(1, R, QString());
    }
    CellGrid1->SetCells(0, 0, QStringLiteral("类型"));
    CellGrid1->SetCells(1, 0, QStringLiteral("值"));
    const QMap<int, QString> Defaults = DefaultRowValues(StoredDateToStr(Date()), EnglishSelected());
    for (const TSettingRow &R : Rows()) {
        CellGrid1->SetCells(0, R.Row, R.Label);
        CellGrid1->SetCells(1, R.Row, Defaults.value(R.Row));
    }
    // Row 14 is the grid's only combo-list cell: its editor holds the output types.
    CellGrid1->InplaceCombo()->clear();
    CellGrid1->InplaceCombo()->addItems(OutputTypes());
    CellGrid1->MergeCellBlock(1, rowRemark, 1, 2);
    DialogGrids::FitLabelColumn(CellGrid1);
}

void TForm3::TakeCompanyRows(bool English)
{
    const QString Company = CompanyFiles::LanguageFile(English);
    CellGrid1->SetCells(1, rowOutputFolder, ReadDatLine(Company, CompanyFiles::lnOutputFolder));
    CellGrid1->SetCells(1, rowOrderMail, ReadDatLine(Company, CompanyFiles::lnMail));
}

void TForm3::LoadFromPage(const TPageDocument &Page)
{
    for (const TSettingRow &R : Rows())
        CellGrid1->SetCells(1, R.Row, ShownValue(Page.Values(R.Key)));
    ComboBox2->setEditText(ShownValue(Page.Values(StyleKey)));
    // English exactly when the output writes English, so that confirming the
    // dialog never switches a page's language by itself.
    ComboBox1->setCurrentIndex(Page.Values(LanguageKey).trimmed() == English ? 1 : 0);
}

// ------------------------------------------------------------------ showing

void TForm3::showEvent(QShowEvent *Event)
{
    TCatalogDialog::showEvent(Event);
    Guard([this] { FormShow(); });
}

void TForm3::FormShow()
{
    FDefaultsUnticked = false;
    // The styles are the sub-folders of the program's html folder. The page's
    // own style stays selected when it is one of them, else the first is taken.
    const QString Current = ComboBox2->currentText();
    const QStringList Styles = QDir(ProgramFolder() + QStringLiteral("html"))
                                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    ComboBox2->clear();
    ComboBox2->addItems(Styles);
    const int Index = int(Styles.indexOf(Current));
    if (Index >= 0)
        ComboBox2->setCurrentIndex(Index);
    else if (!Styles.isEmpty())
        ComboBox2->setCurrentIndex(0);
    else
        ComboBox2->setEditText(Current);
    // A style without a description shows none; choosing it says why.
    LoadStyleDescription(true);
}

void TForm3::LoadStyleDescription(bool Quiet)
{
    Label3->clear();
    FStyleDescription->Clear();
    const QString Style = ComboBox2->currentText();
    const QString FileName = ProgramFolder() + QStringLiteral("html/") + Style + QStringLiteral("/简介.txt");
    if (Quiet && (Style.isEmpty() || !FileExists(FileName)))
        return;
    FStyleDescription->LoadFromFile(FileName);
    QString Text;
    for (int I = 0; I < FStyleDescription->Count(); ++I)
        Text += FStyleDescription->Strings(I);
    Label3->setText(Text);
}

void TForm3::ComboBox2Select()
{
    LoadStyleDescription(false);
}

void TForm3::ComboBox1Select()
{
    const bool English = EnglishSelected();
    TakeCompanyRows(English);
    CellGrid1->SetCells(1, rowCurrency, CurrencyForLanguage(CellGrid1->Cells(1, rowCurrency), English));
    if (English)
        MessageBox(this, EnglishWarning, windowTitle(), MB_OK | MB_ICONWARNING);
}

void TForm3::CheckBox1Click()
{
    // The defaults file goes only when the dialog is confirmed: unticking and
    // then cancelling keeps it.
    FDefaultsUnticked = !CheckBox1->isChecked();
}

// ------------------------------------------------------------------ grid events

void TForm3::CellGrid1GetEditorType(TObject *, int ACol, int ARow, TEditorType &AEditor)
{
    if (ACol != 1)
        return;
    switch (ARow) {
    case rowPictureWidth:
    case rowPictureHeight: AEditor = edNumeric; break;
    case rowOutputFolder: AEditor = edEditBtn; break;
    case rowOutputType: AEditor = edComboList; break;
    default: AEditor = edNormal; break;
    }
}

void TForm3::CellGrid1GridHint(TObject *, int ARow, int, QString &HintStr)
{
    const QString Hint = RowHint(ARow);
    if (!Hint.isEmpty())
        HintStr = Hint;
}

void TForm3::CellGrid1EllipsClick(TObject *, int ACol, int ARow, QString &S)
{
    if (ACol != 1 || ARow != rowOutputFolder)
        return;
    // A cancelled browser leaves the folder as it was.
    const QString Folder = DialogGrids::BrowseForFolder(this, FolderCaption);
    if (!Folder.isEmpty())
        S = Folder;
}

// ------------------------------------------------------------------ buttons

void TForm3::Button1Click()
{
    auto Value = [this](int Row) { return CellGrid1->Cells(1, Row); };
    // A blank is as empty as nothing for the two required values.
    if (Value(rowCatalogId).trimmed().isEmpty()) {
        MessageBox(this, QStringLiteral("Catalog编号不能为空。"), windowTitle(), MB_OK | MB_ICONWARNING);
        return;
    }
    if (Value(rowOrderMail).trimmed().isEmpty()) {
        MessageBox(this, QStringLiteral("订单接收email不能为空。"), windowTitle(), MB_OK | MB_ICONWARNING);
        return;
    }
    for (int Row : {rowPictureWidth, rowPictureHeight})
        if (Value(Row).isEmpty())
            CellGrid1->SetCells(1, Row, QStringLiteral("0"));

    QMap<QString, QString> Values;
    for (const TSettingRow &R : Rows())
        Values.insert(R.Key, Value(R.Row));
    Values.insert(StyleKey, ComboBox2->currentText());
    Values.insert(LanguageKey, EnglishSelected() ? English : Chinese);

    if (CheckBox1->isChecked())
        SaveDefaultsFile(Values);
    else if (FDefaultsUnticked && !DeleteDefaultsFile())
        throw EFCreateError(QStringLiteral("无法删除文件“%1”。").arg(DefaultsFileName()));
    FDefaultsUnticked = false;

    if (TPageDocument *Page = TargetPage()) {
        for (const TSettingRow &R : Rows()) {
            if (R.Row == rowPicturePercent)
                Page->SetValues(StyleKey, TForm1::NonEmptyOrSpace(Values.value(StyleKey)));
            Page->SetValues(R.Key, TForm1::NonEmptyOrSpace(Values.value(R.Key)));
        }
        Page->SetValues(LanguageKey, Values.value(LanguageKey));
    }
    SetModalResult(1);
}

void TForm3::Button2Click()
{
    SetModalResult(2);
}

void TForm3::Button3Click()
{
    if (auto *Main = qobject_cast<TForm1 *>(parentWidget())) {
        Main->Button2Click();
        return;
    }
    TForm4 Company(this);
    ShowModal(&Company);
}
