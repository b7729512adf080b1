// The application object: an exception that escapes an event handler is
// shown in an error box and the program goes on.
#pragma once

#include <QApplication>

namespace varnetta::app {

class TVarnettaApplication : public QApplication
{
    Q_OBJECT
public:
    TVarnettaApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The error report of the program: an error box with the text.
    static void ShowException(const QString& text);
};

} // namespace varnetta::app
