#pragma once
// Start-up and shut-down of the program, shared by main() and the test driver.

#include <QStringList>
#include <memory>

class QApplication;
class TForm1;

// Must run before the application object exists: the browser needs its sandbox
// switched off when the program runs as root.
void PrepareProcessEnvironment();
// The application's title and settings, and Qt's translations.
void SetupApplication(QApplication &App);

// The program's forms for one run. Creating it takes the command line (Args[0] is the
// program) and creates the forms; destroying it frees them and removes this run's
// scratch folder.
class TQuillbookSession {
public:
    explicit TQuillbookSession(const QStringList &Args);
    ~TQuillbookSession();
    TQuillbookSession(const TQuillbookSession &) = delete;
    TQuillbookSession &operator=(const TQuillbookSession &) = delete;

    TForm1 *Form1() const { return FForm1.get(); }
    // Shows the main window.
    void Show();

private:
    std::unique_ptr<TForm1> FForm1;
};

// The whole program: returns its exit code.
int RunQuillbook(int argc, char **argv);

// The title the application object carries.
extern const char *const QuillbookTitle;
