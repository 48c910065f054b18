#pragma once
// A shown grid in an active window, driven through real key and mouse events.
#include "grid/CellGrid.h"
#include "grid/CellGridEditors.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

class GridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Form = std::make_unique<QWidget>();
        Form->resize(600, 400);
        Grid = new TCellGrid(Form.get());
        Grid->setObjectName(QStringLiteral("CellGrid1"));
        Grid->setGeometry(0, 0, 600, 400);
        Grid->SetColCount(5);
        Grid->SetRowCount(6);
        Grid->SetOptions(Grid->Options() | goEditing);
        Form->show();
        Form->activateWindow();
        QApplication::setActiveWindow(Form.get());
        Grid->setFocus();
        QApplication::processEvents();
    }
    void TearDown() override { Form.reset(); }

    // The widget that has the keyboard now (the grid or its open editor).
    static QWidget *Focused()
    {
        QWidget *W = QApplication::focusWidget();
        return W ? W : QApplication::activeWindow();
    }
    void Key(Qt::Key K, Qt::KeyboardModifiers M = Qt::NoModifier) { QTest::keyClick(Focused(), K, M); }
    void Type(const QString &Text)
    {
        for (QChar C : Text)
            QTest::keyClick(Focused(), C.toLatin1());
    }
    void TypeChar(QChar C)
    {
        QKeyEvent Press(QEvent::KeyPress, 0, Qt::NoModifier, QString(C));
        QApplication::sendEvent(Focused(), &Press);
    }
    QPoint CellPoint(int ACol, int ARow, int DX = 5, int DY = 5) const
    {
        const TRect R = Grid->GetCellRect(ACol, ARow);
        return QPoint(R.Left + DX, R.Top + DY);
    }
    void Click(int ACol, int ARow, Qt::MouseButton B = Qt::LeftButton, Qt::KeyboardModifiers M = Qt::NoModifier)
    {
        QTest::mouseClick(Grid->viewport(), B, M, CellPoint(ACol, ARow));
    }
    void Goto(int ACol, int ARow)
    {
        Grid->SetCol(ACol);
        Grid->SetRow(ARow);
    }
    TCellInplaceEdit *Editor() const { return Grid->CellEditor(); }
    bool EditorOpen() const { return Editor() && Editor()->isVisible(); }
    void Kind(TEditorType K)
    {
        Grid->OnGetEditorType = [K](TObject *, int, int, TEditorType &E) { E = K; };
    }

    std::unique_ptr<QWidget> Form;
    TCellGrid *Grid = nullptr;
};
