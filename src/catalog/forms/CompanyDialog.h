#pragma once
// TForm4, the company information dialog: the three company files side by side
// in one grid (column 1 cols1.dat, column 2 cols2.dat, column 3 cols3.dat).

#include "CatalogDialog.h"
#include "grid/CellGrid.h"

#include <functional>

class QPushButton;

class TForm4 : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget *Parent);

    TCellGrid *CellGrid1 = nullptr;
    QPushButton *Button1 = nullptr;   // 保存
    QPushButton *Button2 = nullptr;   // 取消
    QPushButton *Button3 = nullptr;   // 仅保存自定义信息

    void FormShow();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void CellGrid1GetEditorType(TObject *Sender, int ACol, int ARow, TEditorType &AEditor);
    void CellGrid1EllipsClick(TObject *Sender, int ACol, int ARow, QString &S);

protected:
    void showEvent(QShowEvent *Event) override;

private:
    QStringList ColumnCells(int ACol) const;
};
