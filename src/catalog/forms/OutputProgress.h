#pragma once
// The main window's progress box while an output runs: the box with its bar,
// and the cancel button that stops the output. An output started inside
// another one (a page of a book output) finds the box shown already and
// leaves it, and its cancel button, to the outer one.

#include "platform/services/Application.h"

#include <optional>

class TForm1;

// The progress box's cancel button is offered while this lives; a press sets
// the window's FOutputCancelled, cleared here at the start.
class TCancelOffered {
public:
    explicit TCancelOffered(TForm1 *Form);
    ~TCancelOffered();
    TCancelOffered(const TCancelOffered &) = delete;
    TCancelOffered &operator=(const TCancelOffered &) = delete;

private:
    TForm1 *FForm;
    bool FWasShown;
};

// The progress box, its bar from 0 and its cancel button, shown while this
// lives unless it was shown already; the window takes no input meanwhile but
// keeps painting.
class TOutputProgress {
public:
    explicit TOutputProgress(TForm1 *Form);
    ~TOutputProgress();
    TOutputProgress(const TOutputProgress &) = delete;
    TOutputProgress &operator=(const TOutputProgress &) = delete;

private:
    TForm1 *FForm;
    bool FWasShown;
    TBusyLock FLock;
    std::optional<TCancelOffered> FCancel;
};
