#pragma once
// TForm3, the page settings dialog: the page header in a two-column grid, the
// output language and style, and the defaults of new pages (defaultset.txt).

#include "CatalogDialog.h"
#include "grid/CellGrid.h"
#include "platform/core/Classes.h"

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class TPageDocument;

class TForm3 : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget *Parent);
    ~TForm3() override;

    // ---- components
    TCellGrid *CellGrid1 = nullptr;
    QLabel *Label1 = nullptr;      // "Catalog 语言："
    QComboBox *ComboBox1 = nullptr;
    QLabel *Label2 = nullptr;      // "Catalog 风格："
    QComboBox *ComboBox2 = nullptr;
    QLabel *Label3 = nullptr;      // the style's description
    QCheckBox *CheckBox1 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr;

    // The description of the selected style, as loaded.
    TStringList *StyleDescription() const { return FStyleDescription.get(); }
    // The page text OK writes into; the main window's when not set.
    TPageDocument *PageText = nullptr;

    // ---- handlers
    void FormCreate();
    void FormShow();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void ComboBox1Select();
    void ComboBox2Select();
    void CheckBox1Click();
    void CellGrid1GetEditorType(TObject *Sender, int ACol, int ARow, TEditorType &AEditor);
    void CellGrid1GridHint(TObject *Sender, int ARow, int ACol, QString &HintStr);
    void CellGrid1EllipsClick(TObject *Sender, int ACol, int ARow, QString &S);

    // The one reader of the company files (see CompanyFiles::ReadDatLine).
    static QString ReadDatLine(const QString &FileName, int Line);

    // Fills the grid and the combo boxes from a page's header.
    void LoadFromPage(const TPageDocument &Page);
    bool EnglishSelected() const;

protected:
    void showEvent(QShowEvent *Event) override;

private:
    std::unique_ptr<TStringList> FStyleDescription;
    bool FDefaultsUnticked = false;   // the user unticked 保存为默认设置 since the dialog showed
    void LoadStyleDescription(bool Quiet);
    void TakeCompanyRows(bool English);
    TPageDocument *TargetPage() const;
};
