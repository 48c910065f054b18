#pragma once
// The main window.

#include <QMainWindow>

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget *Parent = nullptr);
    ~TForm1() override;
};
